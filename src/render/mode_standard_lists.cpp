#include <list>
#include <memory>
#include <string>
#include <vector>

#include "chat/manager.hpp"
#include "chat/permission.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "config/configuration.hpp"
#include "program.hpp"
#include "render/fragment.hpp"
#include "render/message.hpp"
#include "render/mode_standard.hpp"
#include "util/c_util.hpp"

// The lists and boxes of the plain look: they read the manager's and the
// rooms' lists at the time of rendering.

namespace vorta {

using namespace fragment;

namespace {

// Nicknames joined by ", ": the same bytes as appending ", " after each name
// and cutting the last two characters.
template <typename Sink, typename Users>
void join_nicknames(Sink& write, const Users& users) {
    piece separator;
    for (const user* u : users) {
        write(separator);
        write(nickname(u));
        separator = ", ";
    }
}

// The settings part of a room's entry in the room and chat overviews: form,
// flags, access and restriction. The chat overview leaves out "versteckt",
// since it lists no hidden room.
template <typename Sink>
void write_room_settings(Sink& write, const room& r, bool with_hidden) {
    switch (r.get_form()) {
        case room::form::democracy: write("; Demokratie"); break;
        case room::form::dictatorship: write("; Diktatur"); break;
        case room::form::anarchy: write("; Anarchie"); break;
    }
    if (with_hidden && r.hidden()) write("; versteckt");
    if (r.is_moderated()) write("; moderiert");
    if (!r.has_light()) write("; abgedunkelt");
    if (!r.censors()) write("; unzensiert");
    const bool restricted = !r.get_rank_label().empty() || !r.get_clan().empty();
    if (!r.get_password().empty())
        write("; passwort-gesch&uuml;tzt");
    else if (r.is_locked())
        write("; abgesperrt");
    else if (restricted)
        write("; ");
    if (!r.get_rank_label().empty()) {
        write(" mit Mindestrang ");
        write(r.get_rank_label());
    } else if (!r.get_clan().empty()) {
        write(" f&uuml;r Clan ");
        write(r.get_clan());
    }
}

// Steps 1 to 7 of the user overview of `u`; `with_skin` adds the skin (the
// user looking at himself), `with_connection` the connection details.
class user_overview {
public:
    user_overview(const user& looked_at, bool skin, bool connection)
        : u(looked_at), with_skin(skin), with_connection(connection) {
        if (with_connection) {
            // The client sends its address, user agent and referer: escaped here.
            address = html_escape(u.get_ip().external);
            user_agent = html_escape(u.get_user_agent());
            referer = html_escape(u.get_referer());
        }
    }

    template <typename Sink>
    void operator()(Sink& write) const {
        write(R"(<div class="actionUser"><img src="http://)");
        write(u.get_photo());
        write(R"(" alt=")");
        write(u.get_nickname());
        write(R"(" width=")");
        write(photo_width);
        write(R"(" height=")");
        write(photo_height);
        write(R"(" class="photoUser")");
        if (!photo_html.empty()) {
            write(" ");
            write(photo_html);
        }
        write("> User&uuml;bersicht:<br>");
        write(u.get_nickname());
        write(" [Raum: ");
        write(room_of(&u));
        write("; Rang: ");
        write(u.get_rank().label);
        write("; Status: ");
        write(u.get_status());
        if (!u.get_clan().empty()) {
            write("; Clan: ");
            write(u.get_clan());
        }
        if (with_skin) {
            write("; Skin: ");
            write(u.get_skin());
        }
        write("]");
        write_banner_and_homepage(write);
        if (with_connection) write_connection(write);
        write("</div>");
    }

private:
    template <typename Sink>
    void write_banner_and_homepage(Sink& write) const {
        const std::string& banner = u.get_banner();
        const std::string& homepage = u.get_homepage();
        if (!banner.empty() && !homepage.empty()) {
            write(R"(<br><a href="http://)");
            write(homepage);
            write(R"(" target="_blank"><img src="http://)");
            write(banner);
            write(R"(" alt=")");
            write(homepage);
            write_banner_size(write);
            write("></a>");
        } else if (!banner.empty()) {
            write(R"(<br><img src="http://)");
            write(banner);
            write(R"(" alt=")");
            write_banner_size(write);
            write(">");
        } else if (!homepage.empty()) {
            write(R"(<br><a href="http://)");
            write(homepage);
            write(R"(" target="_blank">)");
            write(homepage);
            write(" (Homepage)</a>");
        }
    }

    // From the closing quote of the alt attribute to before the closing ">".
    template <typename Sink>
    void write_banner_size(Sink& write) const {
        write(R"(" width=")");
        write(banner_width);
        write(R"(" height=")");
        write(banner_height);
        write(R"(" class="photoUserBanner")");
        if (!banner_html.empty()) {
            write(" ");
            write(banner_html);
        }
    }

    template <typename Sink>
    void write_connection(Sink& write) const {
        write("<br>IP: ");
        write(address);
        write("; User-Agent: ");
        write(user_agent);
        write("<br>Referer: ");
        const std::string& raw = u.get_referer();
        if (raw.starts_with("http://")) {
            write(R"(<a href=")");
            write(referer);
            write(R"(" target="_blank">)");
            write(referer);
            write("</a>");
        } else if (raw.starts_with("file://")) {
            write(referer);
            write(" (local file)");
        } else {
            write("unknown");
        }
    }

    const user& u;
    const bool with_skin;
    const bool with_connection;
    const std::string photo_width = Config.get(configuration::photo_width);
    const std::string photo_height = Config.get(configuration::photo_height);
    const std::string photo_html = Config.get(configuration::photo_html);
    const std::string banner_width = Config.get(configuration::banner_width);
    const std::string banner_height = Config.get(configuration::banner_height);
    const std::string banner_html = Config.get(configuration::banner_html);
    std::string address;
    std::string user_agent;
    std::string referer;
};

}  // namespace

// First user U = the user looked at, second user V = the viewer. The
// connection details show to a viewer whose rank sees addresses and stands
// strictly above U's.
void mode_standard::get_action_user(std::string& result, const message& m) const {
    if (m.first_user == nullptr) {
        result.clear();
        return;
    }
    const permission& looked_at = m.first_user->get_rank();
    const bool sees = m.second_user != nullptr && m.second_user->get_rank().sees_ip &&
                      m.second_user->get_rank().level > looked_at.level;
    build(result, user_overview{*m.first_user, false, sees});
}

// The viewer looking at himself: with his skin, and with the connection
// details when his own rank sees addresses.
void mode_standard::get_action_user_this(std::string& result, const message& m) const {
    if (m.first_user == nullptr) {
        result.clear();
        return;
    }
    build(result, user_overview{*m.first_user, true, m.first_user->get_rank().sees_ip});
}

// Every logged-in user in a visible room; nothing at all with nobody logged
// in. A "<br>" in front of each entry gives the same bytes as ending each entry
// in "<br>" (or "0 User" and four blanks when nobody is listed) and cutting
// the last four characters.
void mode_standard::get_action_users(std::string& result, const message&) const {
    const std::vector<user*> users = Manager.get_users();
    if (users.empty()) {
        result.clear();
        return;
    }
    build(result, [&users](auto& write) {
        write(R"(<div class="actionUsers">Chat&uuml;bersicht:)");
        bool listed = false;
        for (const user* u : users) {
            const room* r = u->get_room();
            if (r == nullptr || r->hidden()) continue;
            listed = true;
            write("<br>- ");
            write(u->get_nickname());
            write(" [Raum: ");
            write(r->get_name());
            write("; Rang: ");
            write(u->get_rank().label);
            write("; Status: ");
            write(u->get_status());
            if (!u->get_clan().empty()) {
                write("; Clan: ");
                write(u->get_clan());
            }
            write("]");
        }
        if (!listed) write("<br>0 User");
        write("</div>");
    });
}

// First user = the asking user.
void mode_standard::get_action_block_list(std::string& result, const message& m) const {
    static constexpr piece nobody =
        R"(<div class="actionBlockList">Momentan ist kein User im Chat geblockt.</div>)";
    const std::vector<user*> blocked = m.first_user != nullptr
        ? Manager.get_blocked_users(m.first_user->get_blocked())
        : std::vector<user*>();
    if (blocked.empty()) {
        result.assign(nobody);
        return;
    }
    build(result, [&blocked](auto& write) {
        write(R"(<div class="actionBlockList">Momentan im Chat geblockte User:<br>)");
        join_nicknames(write, blocked);
        write("</div>");
    });
}

// The room the message carries: name, member count, settings, subject,
// owner, admins and members.
void mode_standard::get_room_info(std::string& result, const message& m) const {
    if (m.room == nullptr) {
        result.clear();
        return;
    }
    const room& r = *m.room;
    build(result, [&r](auto& write) {
        write(R"(<div class="roomInfo">Raum&uuml;bersicht:<br>)");
        write(r.get_name());
        write(" [");
        write(decimal(static_cast<long>(r.get_members().size())));
        write(" User");
        write_room_settings(write, r, true);
        write("]");
        if (!r.get_subject().empty()) {
            write("<br>Thema: ");
            write(r.get_subject());
        }
        if (!r.get_owner_nickname().empty()) {
            write("<br>Owner: ");
            write(r.get_owner_nickname());
        }
        if (!r.get_admins().empty()) {
            write("<br>Admins: ");
            join_nicknames(write, r.get_admins());
        }
        if (!r.get_members().empty()) {
            write("<br>User: ");
            join_nicknames(write, r.get_members());
        }
        write("</div>");
    });
}

// Every room that is not hidden, in the manager's order. A "<br>" in front of
// each entry gives the same bytes as ending the heading and each entry in
// "<br>" and cutting the last four characters.
void mode_standard::get_rooms_info(std::string& result, const message&) const {
    std::list<std::shared_ptr<room>>::const_iterator first;
    std::list<std::shared_ptr<room>>::const_iterator last;
    Manager.get_rooms(first, last);
    build(result, [first, last](auto& write) {
        write(R"(<div class="roomList">Chat&uuml;bersicht:)");
        for (auto it = first; it != last; ++it) {
            const room& r = **it;
            if (r.hidden()) continue;
            write("<br>- ");
            write(r.get_name());
            write(" [");
            write(decimal(static_cast<long>(r.get_members().size())));
            write(" User");
            write_room_settings(write, r, false);
            if (!r.get_subject().empty()) {
                write("; Thema: ");
                write(r.get_subject());
            }
            write("]");
        }
        write("</div>");
    });
}

// First user = the asking user; the option of his current look is selected.
// A look named none of the three writes no option at all.
void mode_standard::get_msg_mode_box(std::string& result, const message& m) const {
    static constexpr piece head =
        R"(<div class="msgModeBox"><form action=""><select onchange="on_mode_change(options[options.selectedIndex].value);">)";
    static constexpr piece tail = "</select></form></div>";
    static constexpr piece standard = R"(<option value="standard">Standard</option>)";
    static constexpr piece standard_selected = R"(<option value="standard" selected="selected">Standard</option>)";
    static constexpr piece plain = R"(<option value="plain">Plain</option>)";
    static constexpr piece plain_selected = R"(<option value="plain" selected="selected">Plain</option>)";
    static constexpr piece photo = R"(<option value="photo">Photo</option>)";
    static constexpr piece photo_selected = R"(<option value="photo" selected="selected">Photo</option>)";

    const mode_standard* look = m.first_user != nullptr ? m.first_user->get_mode() : nullptr;
    const std::string& look_name = look != nullptr ? look->name : no_text();
    if (nocase_equal(look_name, "Standard"))
        compose(result, {head, standard_selected, plain, photo, tail});
    else if (nocase_equal(look_name, "Plain"))
        compose(result, {head, standard, plain_selected, photo, tail});
    else if (nocase_equal(look_name, "Photo"))
        compose(result, {head, standard, plain, photo_selected, tail});
    else
        compose(result, {head, tail});
}

// First user = the asking user; his skin is selected.
void mode_standard::get_msg_skin_box(std::string& result, const message& m) const {
    const std::vector<std::string> skins = Manager.get_skins();
    const std::string& own = m.first_user != nullptr ? m.first_user->get_skin() : no_text();
    build(result, [&skins, &own](auto& write) {
        write(R"(<div class="msgSkinBox"><form action=""><select onchange="on_skin_change(options[options.selectedIndex].value);">)");
        for (const std::string& skin : skins) {
            write(R"(<option value=")");
            write(skin);
            write(nocase_equal(skin, own) ? piece(R"(" selected="selected">)") : piece(R"(">)"));
            write(skin);
            write("</option>");
        }
        write("</select></form></div>");
    });
}

}  // namespace vorta
