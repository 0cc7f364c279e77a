// Registered nicknames: the password answers that the store checks off the
// loop, the throttle on wrong passwords and the self-service ".register".
#include <ctime>

#include "chat/database.hpp"
#include "chat/manager.hpp"
#include "chat/profile.hpp"
#include "chat/user.hpp"
#include "config/configuration.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "security/password_throttle.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

// Shortest password that ".register" accepts.
constexpr std::size_t min_password = 8;

password_throttle& throttle() {
    static password_throttle table;
    return table;
}

}  // namespace

void user::ask_store(const std::string& account, std::string typed, std::function<void(bool)> then) {
    if (throttle().waiting(address.external, account, std::time(nullptr))) {
        then(false);
        return;
    }
    verifying = true;
    std::weak_ptr<char> alive = life;
    Database.verify_password(account, std::move(typed), [this, alive, then = std::move(then)](bool match) {
        if (alive.expired() || is_retired) return;
        verifying = false;
        try {
            then(match);
        } catch (const std::exception& error) {
            fail(error);
            return;
        }
        settle();
    });
}

void user::settle() {
    if (quit && !is_retired) Manager.remove(this);
}

void user::wrong_password() {
    write_log("refused " + address.external + ": wrong password for " + nickname);
    if (throttle().failed(address.external, nickname, std::time(nullptr)))
        write_log("refused " + address.external + ": too many wrong passwords for " + nickname);
}

// A password given with the log-in line that does not match is no error
// yet: the visitor is asked for it.
void user::on_login_password(bool match) {
    if (match) {
        throttle().succeeded(address.external, nickname);
        login();
        return;
    }
    wrong_password();
    send_html(message(mode_standard::pw_please));
    send_java("PWD");
}

void user::on_password_answer(bool match) {
    if (match) {
        throttle().succeeded(address.external, nickname);
        send_html(message(mode_standard::pw_ok));
        login();
        return;
    }
    wrong_password();
    ++wrong_passwords;
    if (wrong_passwords <= 2) {
        send_java("PWD");
        send_html(message(mode_standard::pw_wrong));
    } else {
        send_html(message(mode_standard::pw_access_denied));
        send_java("EXT");
        quit = true;
    }
}

void user::on_morph_answer(const std::string& target, bool match) {
    if (room == nullptr) return;
    profile loaded(target);
    if (!match || !Database.load_profile(loaded)) {
        send_html(message(mode_standard::action_morph_failed_password, html_escape(target)));
    } else if (Manager.get_user(target) != nullptr) {
        // Somebody logged in with it while the password was checked.
        send_html(message(mode_standard::action_morph_failed_online, html_escape(target)));
    } else {
        morph_target = target;
        morph(loaded);
    }
    send_java("COL \"" + colour + "\"");
    morph_target.clear();
}

// The password arrives HTML-escaped like every command argument; it is
// stored as typed, and never shown.
void user::on_cmd_register(const command_words& words) {
    const std::string typed = html_unescape(words[1].first);
    const long longest = Config.get_int(configuration::pwd_max);
    std::string refusal;
    if (Config.get_int(configuration::reg_open) == 0) {
        refusal = "die Registrierung ist geschlossen.";
    } else if (registered() || Database.nickname_exist(nickname)) {
        send_html(message(mode_standard::action_register_failed_taken, nickname));
        return;
    } else if (registering) {
        refusal = "eine Registrierung l&auml;uft bereits.";
    } else if (typed.size() < min_password) {
        refusal = "das Passwort muss mindestens " + long_to_string(static_cast<long>(min_password)) + " Zeichen lang sein.";
    } else if (typed.size() > static_cast<std::size_t>(longest)) {
        // A longer one could never be given at log-in: the log-in line is cut.
        refusal = "das Passwort darf h&ouml;chstens " + long_to_string(longest) + " Zeichen lang sein.";
    }
    if (!refusal.empty()) {
        send_html(message(mode_standard::action_register_failed, refusal));
        return;
    }
    registering = true;
    std::weak_ptr<char> alive = life;
    const std::string name = nickname;
    Database.register_nickname(name, typed, "", [this, alive, name](database::registration outcome) {
        if (alive.expired() || is_retired) return;
        registering = false;
        if (outcome == database::registered) {
            send_html(message(mode_standard::action_register, name));
        } else if (outcome == database::taken) {
            send_html(message(mode_standard::action_register_failed_taken, name));
        } else {
            send_html(message(mode_standard::action_register_failed, "der Speicher antwortet nicht."));
        }
    });
}

}  // namespace vorta
