// The applet protocol: the handlers of the client's verbs. Most handlers set
// `quit` first and clear it only when the line was acceptable, so that a
// malformed or out-of-order line closes the session.
#include <cctype>
#include <utility>

#include "chat/database.hpp"
#include "chat/manager.hpp"
#include "chat/profile.hpp"
#include "chat/user.hpp"
#include "config/configuration.hpp"
#include "net/tcp_socket.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "security/security.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

const char* const protocol_word = "vcp2";

// The index-th quoted parameter of a client line.
std::string param(const std::string& rest, int index) { return get_param(rest, index, " \"", '"'); }

bool is_colour(const std::string& value) {
    if (value.empty() || value.size() > 6) return false;
    for (char c : value)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

const user::proto_entry user::proto_table[] = {
    {"TXT", &user::on_proto_text},
    {"HTB", &user::on_proto_heartbeat},
    {"COL", &user::on_proto_color},
    {"RPW", &user::on_proto_room_password},
    {"MPW", &user::on_proto_morph_password},
    {"LGN", &user::on_proto_login},
    {"AUT", &user::on_proto_authentication},
    {"NCK", &user::on_proto_nickname},
    {"PWD", &user::on_proto_password},
    {nullptr, nullptr},
};

void user::on_proto_login(std::string rest) {
    quit = true;
    if (param(rest, 0) != protocol_word) {
        send_java("EXT \"vcp2\"");
        return;
    }
    if (!nickname.empty() || challenge == 0) return;
    set_nickname(cut(param(rest, 1), configuration::nick_max));
    if (nickname.empty()) return;
    password = cut(param(rest, 2), configuration::pwd_max);
    wanted_room = cut(param(rest, 3), configuration::room_max);
    address.set_intern(param(rest, 4));
    user_agent = cut(param(rest, 5), configuration::ua_max);
    referer = cut(param(rest, 6), configuration::ref_max);
    referer = referer.substr(0, referer.find('?'));
    if (!Security.site_access(this)) {
        send_java("EXT \"noaccess\"");
        return;
    }
    const char* script = Security.site_script(this) ? "1" : "0";
    comment = cut(param(rest, 7), configuration::comment_max);
    if (param(rest, 8) == "true") banned_mark = true;
    send_java("CNT \"" + std::string(protocol_word) + "\" \"" + c_escape(nickname) + "\" \"" +
              c_escape(random_id) + "\" \"" + long_to_string(challenge) + "\" \"" + script + "\"");
    quit = false;
}

void user::on_proto_authentication(std::string rest) {
    if (!is_authenticated_once(param(rest, 0))) return;
    send_java("TXT \"" + c_escape(Config.get(configuration::file_welcome)) + "\"");
    login_chain();
}

void user::on_proto_nickname(std::string rest) {
    if (registered() || room != nullptr || challenge != 0) {
        quit = true;
        return;
    }
    set_nickname(param(rest, 0));
    if (is_valid_nickname() && is_unique_nickname() && !is_registered_nickname()) login();
}

void user::on_proto_password(std::string rest) {
    if (!registered() || room != nullptr || verifying) {
        quit = true;
        return;
    }
    ask_store(nickname, param(rest, 0), [this](bool match) { on_password_answer(match); });
}

void user::on_proto_text(std::string rest) {
    if (room == nullptr) {
        quit = true;
        return;
    }
    run_command(html_escape(param(rest, 0)));
}

void user::on_proto_heartbeat(std::string /*rest*/) {
    if (sockets[0] != nullptr) sockets[0]->reset_timer();
}

void user::on_proto_color(std::string rest) {
    quit = true;
    if (room == nullptr) return;
    std::string value = param(rest, 0);
    if (!is_colour(value)) return;
    colour = std::string(6 - value.size(), '0') + value;
    quit = false;
}

void user::on_proto_room_password(std::string rest) {
    quit = true;
    if (room == nullptr) return;
    send_java("COL \"" + colour + "\"");
    const std::string name = param(rest, 0);
    vorta::room* target = nullptr;
    if (!name.empty() && !nocase_equal(name, room->get_name()))
        target = Manager.join(name, this, vorta::room::enter::go, param(rest, 1));
    if (target != nullptr) {
        switch_room(target, vorta::room::change::go);
    } else {
        if (name.empty()) return;
        if (nocase_equal(name, room->get_name()))
            send_html(message(mode_standard::room_go_failed_inroom, this));
    }
    quit = false;
}

void user::switch_room(vorta::room* target, vorta::room::change why) {
    vorta::room* old = room;
    previous_room = old->get_name();
    room = target;
    old->leave(this, why);
}

void user::on_proto_morph_password(std::string rest) {
    quit = true;
    if (room == nullptr || verifying) return;
    // The wanted nickname is kept as typed: fragments get it escaped.
    profile target(morph_target);
    if (Manager.get_user(morph_target) != nullptr) {
        send_html(message(mode_standard::action_morph_failed_online, html_escape(morph_target)));
    } else if (Database.locked_nickname(morph_target)) {
        // A locked nickname is refused without a word.
    } else if (morph_target.empty() || !Database.nickname_exist(morph_target)) {
        send_html(message(mode_standard::action_morph_failed_password, html_escape(morph_target)));
    } else {
        const std::string wanted = std::exchange(morph_target, std::string());
        ask_store(wanted, param(rest, 0), [this, wanted](bool match) { on_morph_answer(wanted, match); });
        quit = false;
        return;
    }
    send_java("COL \"" + colour + "\"");
    morph_target.clear();
    quit = false;
}

void user::morph(const profile& target) {
    profile old;
    if (registered()) {
        save_profile(old);
        Database.save_profile(old);
    } else {
        old.set_skin_path(skin_path);
    }
    if (rank->gets_alarm) Manager.remove_alarm_receiver(this);
    room->before_morph(this);
    room->send_html(message(mode_standard::action_morph, this, html_escape(morph_target)), nullptr);
    std::string old_nickname = nickname;
    set_nickname(std::exchange(morph_target, std::move(old_nickname)));
    load_profile(target);
    if (rank->gets_alarm) Manager.add_alarm_receiver(this);
    if (skin_path != old.get_skin_path()) announce_skin(skin_path);
    room->after_morph(this);
    send_html(message(mode_standard::action_morph_ok, this));
    logged = Security.user_log(this, "");
    if (logged) {
        write_user_log("<div class=\"morphing\">Morphing: " + morph_target + " -> " + nickname +
                       " [Extern-IP: " + html_escape(address.external) + "; Intern-IP: " +
                       html_escape(address.internal) + "; User-Agent: " + html_escape(user_agent) +
                       "; Referer: " + html_escape(referer) + "]</div>");
    }
}

}  // namespace vorta
