// The chat commands: a text that begins with a full stop names a command of
// the table below; anything else, and any unknown word, is said in the room.
// The handlers live beside their kin: user_moves.cpp (room changes),
// user_moderation.cpp (room settings, votes, kicks and bans) and
// user_info.cpp (information, looks, blocks, whispers and the rest) and
// user_account.cpp (registration).
#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "security/replacement.hpp"
#include "util/c_util.hpp"

namespace vorta {

// Names are compared exactly, in table order.
const user::command_entry user::command_table[] = {
    {".me", nullptr, &user::on_cmd_me},
    {".lock", ".l", &user::on_cmd_lock},
    {".open", ".o", &user::on_cmd_open},
    {".hide", ".h", &user::on_cmd_hide},
    {".show", ".s", &user::on_cmd_show},
    {".moderate", ".mod", &user::on_cmd_moderate},
    {".unmoderate", ".umod", &user::on_cmd_unmoderate},
    {".lightoff", ".loff", &user::on_cmd_lightoff},
    {".lighton", ".lon", &user::on_cmd_lighton},
    {".censoroff", ".coff", &user::on_cmd_censoroff},
    {".censoron", ".con", &user::on_cmd_censoron},
    {".setpassword", ".sp", &user::on_cmd_password},
    {".setrank", ".sr", &user::on_cmd_rank},
    {".setclan", ".sc", &user::on_cmd_clan},
    {".ok", nullptr, &user::on_cmd_ok},
    {".rooms", ".rs", &user::on_cmd_rooms},
    {".room", ".r", &user::on_cmd_room},
    {".users", ".us", &user::on_cmd_users},
    {".user", ".u", &user::on_cmd_user},
    {".go", ".g", &user::on_cmd_go},
    {".goback", ".gob", &user::on_cmd_goback},
    {".newroom", ".nr", &user::on_cmd_newroom},
    {".makeadmin", ".ma", &user::on_cmd_makeadmin},
    {".unmakeadmin", ".uma", &user::on_cmd_unmakeadmin},
    {".setsubject", ".ss", &user::on_cmd_setsubject},
    {".invite", ".i", &user::on_cmd_invite},
    {".goinvited", ".goi", &user::on_cmd_goinvited},
    {".goalarm", ".goa", &user::on_cmd_goalarm},
    {".whisper", ".w", &user::on_cmd_whisper},
    {".block", ".b", &user::on_cmd_block},
    {".unblock", ".ub", &user::on_cmd_unblock},
    {".mark", ".m", &user::on_cmd_mark},
    {".unmark", ".um", &user::on_cmd_unmark},
    {".kick", ".k", &user::on_cmd_kick},
    {".ban", nullptr, &user::on_cmd_ban},
    {".banex", nullptr, &user::on_cmd_banex},
    {".locknickname", ".ln", &user::on_cmd_locknickname},
    {".alarm", nullptr, &user::on_cmd_alarm},
    {".morph", nullptr, &user::on_cmd_morph},
    {".history", ".hs", &user::on_cmd_history},
    {".newmode", ".nm", &user::on_cmd_newmode},
    {".newskin", ".ns", &user::on_cmd_newskin},
    {".help", nullptr, &user::on_cmd_help},
    {".css", nullptr, &user::on_cmd_css},
    {".kill", nullptr, &user::on_cmd_kill},
    {".ver", nullptr, &user::on_cmd_version},
    {".exit", nullptr, &user::on_cmd_exit},
    {".allmsg", nullptr, &user::on_cmd_allmsg},
    {".register", nullptr, &user::on_cmd_register},
    {nullptr, nullptr, nullptr},
};

// The full stop must be the very first character, although the command word
// is taken from the trimmed text.
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
    Replace.replace(text);
    quit = room->send_html(message(type, this, std::move(text)), nullptr);
}

bool user::is_own_or_empty(const std::string& word) const { return word.empty() || nocase_equal(word, nickname); }

user* user::named_user(const std::string& word, const message& syntax, mode_standard::types no_user) {
    if (is_own_or_empty(word)) {
        send_html(syntax);
        return nullptr;
    }
    user* found = Manager.get_user(word);
    if (found == nullptr) send_html(message(no_user, word));
    return found;
}

void user::on_cmd_me(const command_words& words) {
    if (words[0].second.empty()) {
        send_html(message(mode_standard::action_me_syntax));
        return;
    }
    say(mode_standard::action_me, words[0].second);
}

}  // namespace vorta
