#include "render/mode_icon.hpp"

#include <optional>
#include <string>

#include "chat/user.hpp"
#include "config/configuration.hpp"
#include "program.hpp"
#include "render/chat_lines.hpp"
#include "render/fragment.hpp"
#include "render/lists.hpp"
#include "render/message.hpp"
#include "util/c_util.hpp"

// The icon look: its buttons, then the renderers it overrides, in the order
// of their type values. Every other type renders as in the plain look.

namespace vorta {

using namespace fragment;

namespace {

// What tells the kinds of button apart: the configuration of the image, its
// alternative text and the identifier that the page's script receives.
struct button_kind {
    configuration::keys image, width, height, html;
    piece alt;
    piece id;
};

constexpr button_kind info_kind{configuration::info_out, configuration::info_width,
                                configuration::info_height, configuration::info_html,
                                "Informationen anzeigen", "info"};
constexpr button_kind go_kind{configuration::go_out, configuration::go_width, configuration::go_height,
                              configuration::go_html, "Raum wechseln", "go"};
constexpr button_kind ban_kind{configuration::ban_out, configuration::ban_width, configuration::ban_height,
                               configuration::ban_html, "15 Minuten bannen", "ban"};
constexpr button_kind marked_kind{configuration::mark_out, configuration::mark_width,
                                  configuration::mark_height, configuration::mark_html, "Markiert", "mark"};
constexpr button_kind unmarked_kind{configuration::unmark_out, configuration::unmark_width,
                                    configuration::unmark_height, configuration::unmark_html,
                                    "Nicht markiert", "unmark"};

// One kind of button with its configuration, read once per fragment.
class button {
public:
    explicit button(const button_kind& kind)
        : kind_(kind), image_(Config.get(kind.image)), width_(Config.get(kind.width)),
          height_(Config.get(kind.height)), html_(Config.get(kind.html)) {}

    // The button whose click sends `command` followed by `escaped`, an
    // argument already escaped for the script string.
    template <typename Sink>
    void operator()(Sink& write, piece command, piece escaped) const {
        put(write, R"(<img src="http://)", image_, R"(" alt=")", kind_.alt, R"(" width=")", width_,
            R"(" height=")", height_, R"(" onmousedown="on_icon_click(this, ')", kind_.id, "', '", command,
            escaped, R"(');" onmouseover="on_icon_over(this, ')", kind_.id,
            R"(');" onmouseout="on_icon_out(this, ')", kind_.id, R"(');" )", html_, "> ");
    }

private:
    const button_kind& kind_;
    const std::string image_;
    const std::string width_;
    const std::string height_;
    const std::string html_;
};

// The recipient's (second user's) mark on the first user: the image shows
// the mark, a click toggles it.
class mark_button {
public:
    explicit mark_button(const message& m)
        : marked_(m.first_user != nullptr && m.second_user != nullptr && m.second_user->marked(m.first_user)),
          button_(marked_ ? marked_kind : unmarked_kind) {}

    template <typename Sink>
    void operator()(Sink& write, piece escaped_nickname) const {
        button_(write, marked_ ? ".um " : ".m ", escaped_nickname);
    }

private:
    const bool marked_;
    const button button_;
};

// The ban button, for a recipient (second user) whose rank may ban; nothing
// for anybody else.
class ban_offer {
public:
    explicit ban_offer(const message& m) {
        if (m.second_user != nullptr && m.second_user->get_permission(user::max_ban) != 0) button_.emplace(ban_kind);
    }

    template <typename Sink>
    void operator()(Sink& write, piece escaped_nickname) const {
        if (button_) (*button_)(write, ".ban ", escaped_nickname);
    }

private:
    std::optional<button> button_;
};

// Information buttons before names: on a user, or on a room.
class info_buttons {
public:
    auto user(const std::string& name) const {
        return [this, &name](auto& write) { info_(write, ".u ", c_escape(name)); };
    }
    auto room_info(const std::string& name) const {
        return [this, &name](auto& write) { info_(write, ".r ", c_escape(name)); };
    }

protected:
    const button info_{info_kind};
};

// And before a room name, information on the room and a move there.
class name_buttons : public info_buttons {
public:
    auto room(const std::string& name) const {
        return [this, &name](auto& write) {
            const std::string escaped = c_escape(name);
            info_(write, ".r ", escaped);
            go_(write, ".g ", escaped);
        };
    }

private:
    const button go_{go_kind};
};

// In front of a chat line: information on the speaker and the recipient's
// mark on him.
class speaker_buttons {
public:
    explicit speaker_buttons(const message& m) : escaped_(c_escape(nickname(m.first_user))), mark_(m) {}

    template <typename Sink>
    void operator()(Sink& write) const {
        info_(write, ".u ", escaped_);
        mark_(write, escaped_);
    }

private:
    const std::string escaped_;
    const button info_{info_kind};
    const mark_button mark_;
};

// Before the name in an arrival notice: information on the newcomer, and the
// ban button for a recipient who may ban.
class arrival_buttons {
public:
    explicit arrival_buttons(const message& m) : escaped_(c_escape(nickname(m.first_user))), ban_(m) {}

    template <typename Sink>
    void operator()(Sink& write) const {
        info_(write, ".u ", escaped_);
        ban_(write, escaped_);
    }

private:
    const std::string escaped_;
    const button info_{info_kind};
    const ban_offer ban_;
};

// One button alone, as a string.
std::string alone(const button_kind& kind, piece command, const std::string& argument) {
    const button look(kind);
    const std::string escaped = c_escape(argument);
    std::string result;
    build(result, [&](auto& write) { look(write, command, escaped); });
    return result;
}

}  // namespace

mode_icon::mode_icon() : mode_standard("Standard") {}

unsigned mode_icon::variant(const message& m) const {
    const user* recipient = m.second_user;
    if (recipient == nullptr) return 0;
    const bool marks = m.first_user != nullptr && recipient->marked(m.first_user);
    const bool may_ban = recipient->get_permission(user::max_ban) != 0;
    return mode_standard::variant(m) | (marks ? 2u : 0u) | (may_ban ? 4u : 0u);
}

std::string mode_icon::get_info_button(const std::string& command) const {
    return alone(info_kind, "", command);
}

std::string mode_icon::get_go_button(const std::string& room_name) const {
    return alone(go_kind, ".g ", room_name);
}

std::string mode_icon::get_ban_button(const std::string& banned) const {
    return alone(ban_kind, ".ban ", banned);
}

std::string mode_icon::get_mark_button(const message& m) const {
    const mark_button mark(m);
    const std::string escaped = c_escape(nickname(m.first_user));
    std::string result;
    build(result, [&](auto& write) { mark(write, escaped); });
    return result;
}

// ---- Renderers, in the order of their type values. INFO, GO and MARK are
// the buttons above; the chat lines after the buttons are the plain look's.

void mode_icon::get_action_say(std::string& result, const message& m) const {
    const speaker_buttons buttons(m);
    const std::string text = anchors(m);
    build(result, [&](auto& write) {
        buttons(write);
        say_line(write, m, text);
    });
}

// The buttons stand between the id and the line.
void mode_icon::get_action_say_moderated(std::string& result, const message& m) const {
    const speaker_buttons buttons(m);
    const std::string text = anchors(m);
    build(result, [&](auto& write) {
        message_id(write, m);
        buttons(write);
        say_moderated_line(write, m, text);
    });
}

// The first user is the whisperer.
void mode_icon::get_action_got_whisper(std::string& result, const message& m) const {
    const info_buttons names;
    const std::string text = anchors(m);
    build(result, [&](auto& write) {
        names.user(nickname(m.first_user))(write);
        got_whisper_line(write, m, text);
    });
}

void mode_icon::get_action_users(std::string& result, const message&) const {
    users_overview(result, name_buttons());
}

// The room is the one the inviter is in now.
void mode_icon::get_action_got_invited(std::string& result, const message& m) const {
    const name_buttons names;
    const std::string& inviter = nickname(m.first_user);
    const std::string& target = room_of(m.first_user);
    build(result, [&](auto& write) {
        put(write, R"(<div class="actionGotInvited">Du hast von )", names.user(inviter), inviter,
            " eine Einladung erhalten, in den Raum ", names.room(target), target, " zu wechseln.</div>");
    });
}

void mode_icon::get_action_me(std::string& result, const message& m) const {
    const speaker_buttons buttons(m);
    const std::string text = anchors(m);
    build(result, [&](auto& write) {
        buttons(write);
        me_line(write, m, text);
    });
}

// The buttons stand between the id and the line.
void mode_icon::get_action_me_moderated(std::string& result, const message& m) const {
    const speaker_buttons buttons(m);
    const std::string text = anchors(m);
    build(result, [&](auto& write) {
        message_id(write, m);
        buttons(write);
        me_moderated_line(write, m, text);
    });
}

// The first user appoints the second.
void mode_icon::get_action_make_admin(std::string& result, const message& m) const {
    const info_buttons names;
    const std::string& appointer = nickname(m.first_user);
    const std::string& admin = nickname(m.second_user);
    build(result, [&](auto& write) {
        put(write, R"(<div class="actionMakeAdmin">)", names.user(appointer), appointer, " ernennt ",
            names.user(admin), admin, " zum Admin.</div>");
    });
}

void mode_icon::get_action_block_list(std::string& result, const message& m) const {
    block_list(result, m, info_buttons());
}

// The text is the nickname taken on.
void mode_icon::get_action_morph(std::string& result, const message& m) const {
    const info_buttons names;
    build(result, [&](auto& write) {
        put(write, R"(<div class="actionMorph">)", nickname(m.first_user), " morpht sich zu ", names.user(m.text),
            m.text, ".</div>");
    });
}

// The second user is the recipient.
void mode_icon::get_action_enter(std::string& result, const message& m) const {
    const arrival_buttons buttons(m);
    build(result, [&](auto& write) {
        put(write, R"(<div class="actionEnter">)", buttons, nickname(m.first_user), " betritt den Chat.</div>");
    });
}

// The second user is the recipient.
void mode_icon::get_room_hello(std::string& result, const message& m) const {
    const arrival_buttons buttons(m);
    build(result, [&](auto& write) {
        put(write, R"(<div class="roomHello">)", buttons, nickname(m.first_user), " betritt den Raum.</div>");
    });
}

void mode_icon::get_room_new(std::string& result, const message& m) const {
    const name_buttons names;
    const std::string& owner = nickname(m.first_user);
    const std::string& created = room_of(m.first_user);
    build(result, [&](auto& write) {
        put(write, R"(<div class="roomNew">)", names.user(owner), owner, " erstellt den Raum ", names.room(created),
            created, " und wechselt in diesen.</div>");
    });
}

void mode_icon::get_room_info(std::string& result, const message& m) const {
    room_overview(result, m, *this, info_buttons());
}

void mode_icon::append_overview_member(std::string& out, const user& u, bool first) const {
    append_member(out, u, first, info_buttons());
}

void mode_icon::get_room_info_head(std::string& result, const message& m) const {
    room_overview(result, m, *this, info_buttons(), true);
}

void mode_icon::get_rooms_info(std::string& result, const message&) const {
    chat_overview(result, name_buttons());
}

// Information on the room entered, but no button to move there.
void mode_icon::get_room_change(std::string& result, const message& m) const {
    const info_buttons names;
    const std::string& entered = name_of(m.room);
    build(result, [&](auto& write) {
        put(write, R"(<div class="roomChange">Du befindest dich nun im Raum )", names.room_info(entered), entered,
            ".</div>");
    });
}

// The room is the one the caller is in now.
void mode_icon::get_msg_got_alarm(std::string& result, const message& m) const {
    const name_buttons names;
    const std::string& caller = nickname(m.first_user);
    const std::string& place = room_of(m.first_user);
    build(result, [&](auto& write) {
        put(write, R"(<div class="msgGotAlarm">Alarm! )", names.user(caller), caller,
            " ben&ouml;tigt dringend Hilfe im Raum ", names.room(place), place, ".</div>");
    });
}

}  // namespace vorta
