// The chat commands: a text that begins with a full stop names a command of
// the table below; anything else, and any unknown word, is said in the room.
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "render/message.hpp"
#include "util/c_util.hpp"

namespace vorta {

// Names are compared exactly, in table order.
const user::command_entry user::command_table[] = {
    {".me", nullptr, &user::on_cmd_me},
    {".history", ".hs", &user::on_cmd_history},
    {nullptr, nullptr, nullptr},
};

void user::run_command(const std::string& text) {
    const command_words words = get_params(text, 3);
    const std::string& command = words[0].first;
    if (command.empty()) return;
    if (text[0] == '.') {
        for (const command_entry* entry = command_table; entry->name != nullptr; ++entry) {
            if (command == entry->name || (entry->alias != nullptr && command == entry->alias)) {
                (this->*entry->handler)(words);
                return;
            }
        }
    }
    say(mode_standard::action_say, text);
}

// The room decides whether the writer must leave (flood or censored word).
void user::say(mode_standard::types type, std::string text) {
    if (spammer(text)) return;
    quit = room->send_html(message(type, this, std::move(text)), nullptr);
}

void user::on_cmd_me(const command_words& words) {
    if (words[0].second.empty()) {
        send_html(message(mode_standard::action_me_syntax));
        return;
    }
    say(mode_standard::action_me, words[0].second);
}

void user::on_cmd_history(const command_words& /*words*/) { room->send_history(this); }

// The writer's own repetition and link filters arrive with the filter rules;
// until then no text trips them.
bool user::spammer(std::string& /*text*/) { return quit; }

bool user::censor(const std::string& /*text*/) { return quit; }

}  // namespace vorta
