#include "render/mode_photo.hpp"

#include <string>

#include "chat/user.hpp"
#include "config/configuration.hpp"
#include "program.hpp"
#include "render/chat_lines.hpp"
#include "render/fragment.hpp"
#include "render/message.hpp"

// The photo look: its photo, then the renderers it overrides, in the order of
// their type values. Every other type renders as in the plain look.

namespace vorta {

using namespace fragment;

namespace {

// A photo with the configured size and markup, read once per fragment. The
// markup follows a blank even when it is empty.
class photo_button {
public:
    template <typename Sink>
    void operator()(Sink& write, const std::string& photo, const std::string& name) const {
        put(write, R"(<img src="http://)", photo, R"(" alt=")", name, R"(" width=")", width_, R"(" height=")",
            height_, R"(" class="photoUser" )", html_, "> ");
    }

private:
    const std::string width_ = Config.get(configuration::photo_width);
    const std::string height_ = Config.get(configuration::photo_height);
    const std::string html_ = Config.get(configuration::photo_html);
};

// PHOTO: the first user's photo.
class first_users_photo {
public:
    explicit first_users_photo(const message& m) : u_(m.first_user) {}

    template <typename Sink>
    void operator()(Sink& write) const {
        button_(write, u_ != nullptr ? u_->get_photo() : no_text(), nickname(u_));
    }

private:
    const user* u_;
    const photo_button button_;
};

}  // namespace

mode_photo::mode_photo() : mode_standard("Photo") {}

std::string mode_photo::get_photo_button(const std::string& photo, const std::string& owner) const {
    const photo_button button;
    std::string result;
    build(result, [&](auto& write) { button(write, photo, owner); });
    return result;
}

// ---- Renderers, in the order of their type values. The chat lines after
// the photo are the plain look's.

void mode_photo::get_action_say(std::string& result, const message& m) const {
    const first_users_photo photo(m);
    const std::string text = anchors(m);
    build(result, [&](auto& write) {
        photo(write);
        say_line(write, m, text);
    });
}

// The photo comes before the id.
void mode_photo::get_action_say_moderated(std::string& result, const message& m) const {
    const first_users_photo photo(m);
    const std::string text = anchors(m);
    build(result, [&](auto& write) {
        photo(write);
        message_id(write, m);
        say_moderated_line(write, m, text);
    });
}

// The first user is the whisperer.
void mode_photo::get_action_got_whisper(std::string& result, const message& m) const {
    const first_users_photo photo(m);
    const std::string text = anchors(m);
    build(result, [&](auto& write) {
        photo(write);
        got_whisper_line(write, m, text);
    });
}

// The room is the one the inviter is in now.
void mode_photo::get_action_got_invited(std::string& result, const message& m) const {
    const first_users_photo photo(m);
    build(result, [&](auto& write) {
        put(write, R"(<div class="actionGotInvited">)", photo, "Du hast von ", nickname(m.first_user),
            " eine Einladung erhalten, in den Raum ", room_of(m.first_user), " zu wechseln.</div>");
    });
}

void mode_photo::get_action_me(std::string& result, const message& m) const {
    const first_users_photo photo(m);
    const std::string text = anchors(m);
    build(result, [&](auto& write) {
        photo(write);
        me_line(write, m, text);
    });
}

// Unlike the held said line, the photo comes after the id.
void mode_photo::get_action_me_moderated(std::string& result, const message& m) const {
    const first_users_photo photo(m);
    const std::string text = anchors(m);
    build(result, [&](auto& write) {
        message_id(write, m);
        photo(write);
        me_moderated_line(write, m, text);
    });
}

void mode_photo::get_action_enter(std::string& result, const message& m) const {
    const first_users_photo photo(m);
    build(result, [&](auto& write) {
        put(write, R"(<div class="actionEnter">)", photo, nickname(m.first_user), " betritt den Chat.</div>");
    });
}

void mode_photo::get_action_quit(std::string& result, const message& m) const {
    const first_users_photo photo(m);
    build(result, [&](auto& write) {
        put(write, R"(<div class="actionQuit">)", photo, nickname(m.first_user), " verl&auml;sst den Chat.</div>");
    });
}

void mode_photo::get_room_hello(std::string& result, const message& m) const {
    const first_users_photo photo(m);
    build(result, [&](auto& write) {
        put(write, R"(<div class="roomHello">)", photo, nickname(m.first_user), " betritt den Raum.</div>");
    });
}

}  // namespace vorta
