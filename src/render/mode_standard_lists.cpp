#include <string>
#include <vector>

#include "chat/manager.hpp"
#include "chat/permission.hpp"
#include "chat/user.hpp"
#include "config/configuration.hpp"
#include "program.hpp"
#include "render/fragment.hpp"
#include "render/lists.hpp"
#include "render/message.hpp"
#include "render/mode_standard.hpp"
#include "util/c_util.hpp"

// The lists and boxes of the plain look: they read the manager's and the
// rooms' lists at the time of rendering. The lists that the icon look
// decorates are in lists.hpp.

namespace vorta {

using namespace fragment;

namespace {

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

void mode_standard::get_action_users(std::string& result, const message&) const {
    users_overview(result, bare_names());
}

void mode_standard::get_action_block_list(std::string& result, const message& m) const {
    block_list(result, m, bare_names());
}

void mode_standard::get_room_info(std::string& result, const message& m) const {
    room_overview(result, m, *this, bare_names());
}

void mode_standard::append_overview_member(std::string& out, const user& u, bool first) const {
    append_member(out, u, first, bare_names());
}

void mode_standard::get_room_info_head(std::string& result, const message& m) const {
    room_overview(result, m, *this, bare_names(), true);
}

void mode_standard::get_rooms_info(std::string& result, const message&) const {
    chat_overview(result, bare_names());
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
