// Commands that concern the caller alone or one other user: information on
// rooms and users, looks and style sheets, blocks, whispers, morphing,
// leaving, and the showcase of every message.
#include <algorithm>

#include "chat/database.hpp"
#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "security/replacement.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

// Style sheet addresses are kept without it; the look puts it back.
const std::string scheme = "http://";

// Shorter style sheet addresses are taken for typing errors.
constexpr std::size_t min_skin_path = 7;

}  // namespace

void user::on_cmd_rooms(const command_words& /*words*/) { send_html(message(mode_standard::rooms_info)); }
void user::on_cmd_users(const command_words& /*words*/) { send_html(message(mode_standard::action_users)); }
void user::on_cmd_help(const command_words& /*words*/) { send_html(message(mode_standard::action_help)); }
void user::on_cmd_history(const command_words& /*words*/) { room->send_history(this); }

void user::on_cmd_version(const command_words& /*words*/) {
    send_html(message(mode_standard::action_version, std::string(Version)));
}

// A hidden room tells nothing to those outside it.
void user::on_cmd_room(const command_words& words) {
    const std::string& name = words[1].first;
    vorta::room* wanted = name.empty() ? room : Manager.get_room(name);
    if (wanted == nullptr) {
        send_html(message(mode_standard::room_info_failed_noroom, name));
    } else if (wanted != room && wanted->hidden()) {
        send_html(message(mode_standard::room_info_failed_noright, wanted));
    } else {
        send_html(message(mode_standard::room_info, wanted));
    }
}

// What the overview shows depends on the viewer's rank.
void user::on_cmd_user(const command_words& words) {
    user* target = named_user(words[1].first, message(mode_standard::action_user_this, this),
                              mode_standard::action_user_failed_nouser);
    if (target != nullptr) send_html(message(mode_standard::action_user, target, this));
}

// The answer comes in the new look already.
void user::on_cmd_newmode(const command_words& words) {
    const std::string& name = words[1].first;
    if (name.empty()) {
        send_html(message(mode_standard::msg_mode_box, this));
        return;
    }
    const mode_standard* wanted = Manager.get_mode(name);
    if (wanted == nullptr) {
        send_html(message(mode_standard::msg_mode_syntax));
        return;
    }
    mode = wanted;
    send_html(message(mode_standard::msg_mode_changed, mode->name));
}

// A skin of the store by name; unlike `.css` it is saved in the profile.
void user::on_cmd_newskin(const command_words& words) {
    const std::string& name = words[1].first;
    if (name.empty()) {
        send_html(message(mode_standard::msg_skin_box, this));
        return;
    }
    const auto skins = Database.get_skins();
    const auto found = nocase_equal(name, skin) ? skins.end() : skins.find(lower_case(name));
    if (found == skins.end()) {
        send_html(message(mode_standard::action_new_skin_syntax));
        return;
    }
    skin = found->first;
    skin_path = found->second;
    if (skin_path.starts_with(scheme)) skin_path.erase(0, scheme.size());
    if (skin_path.size() >= min_skin_path) announce_skin(skin_path, mode_standard::msg_skin_changed);
}

// Any style sheet address, for this session only.
void user::on_cmd_css(const command_words& words) {
    std::string_view path = words[1].first;
    while (path.starts_with(scheme)) path.remove_prefix(scheme.size());
    if (path.size() < min_skin_path) return;
    skin.assign(1, '-');
    announce_skin(std::string(path));
}

void user::on_cmd_block(const command_words& words) {
    user* target = named_user(words[1].first, message(mode_standard::action_block_list, this),
                              mode_standard::action_block_failed_nouser);
    if (target == nullptr) return;
    if (std::find(blocked.begin(), blocked.end(), target->id) != blocked.end()) {
        send_html(message(mode_standard::action_block_failed_isset, target));
        return;
    }
    blocked.push_back(target->id);
    send_html(message(mode_standard::action_block, target));
    if (registered() && target->registered()) Database.block_user(id, target->id);
}

void user::on_cmd_unblock(const command_words& words) {
    user* target = named_user(words[1].first, message(mode_standard::action_unblock_syntax),
                              mode_standard::action_unblock_failed_nouser);
    if (target == nullptr) return;
    const auto entry = std::find(blocked.begin(), blocked.end(), target->id);
    if (entry == blocked.end()) {
        send_html(message(mode_standard::action_unblock_failed_isset, target));
        return;
    }
    blocked.erase(entry);
    send_html(message(mode_standard::action_unblock, target));
    if (registered() && target->registered()) Database.unblock_user(id, target->id);
}

// Across rooms, and to oneself too.
void user::on_cmd_whisper(const command_words& words) {
    const std::string& name = words[1].first;
    std::string text = words[1].second;
    if (name.empty() || text.empty()) {
        send_html(message(mode_standard::action_whisper_syntax));
        return;
    }
    if (spammer(text) || censor(text)) return;
    Replace.replace(text);
    user* target = Manager.get_user(name);
    if (target == nullptr) {
        send_html(message(mode_standard::action_whisper_failed_nouser, name));
        return;
    }
    send_html(message(mode_standard::action_whisper, target, this, text));
    target->send_html(message(mode_standard::action_got_whisper, this, target, std::move(text)));
}

// The nickname is looked up as typed, so it is unescaped; wherever it goes
// into a fragment it is escaped again. The password line completes the change.
void user::on_cmd_morph(const command_words& words) {
    const std::string name = html_unescape(words[1].first);
    if (is_own_or_empty(name)) {
        send_html(message(mode_standard::action_morph_syntax));
        return;
    }
    if (Manager.get_user(name) != nullptr) {
        send_html(message(mode_standard::action_morph_failed_online, html_escape(name)));
        return;
    }
    if (!Database.nickname_exist(name)) {
        send_html(message(mode_standard::action_morph_failed_not_registered, html_escape(name)));
        return;
    }
    // A locked nickname is refused without a word.
    if (Database.locked_nickname(name)) return;
    morph_target = name;
    send_java("MPW \"" + c_escape(name) + "\"");
    send_html(message(mode_standard::action_morph_pw_please, html_escape(name)));
}

// The session ends when the line is done.
void user::on_cmd_exit(const command_words& /*words*/) {
    send_java("LGO");
    room->send_html(message(mode_standard::action_quit, this), this);
    quit = true;
}

// Every message the caller can be shown, for inspecting the look. The kill
// page and the skin change are left out: they would act on the browser.
void user::on_cmd_allmsg(const command_words& /*words*/) {
    for (int type = 0; type < mode_standard::types_end; ++type) {
        switch (type) {
            case mode_standard::intern_nop:
            case mode_standard::intern_css:
            case mode_standard::action_is_killed:
            case mode_standard::msg_skin_changed:
                continue;
            default:
                break;
        }
        message sample(static_cast<mode_standard::types>(type), this, this, "XXXXX");
        // The types that name a room show the caller's.
        sample.room = room;
        send_html(sample);
    }
}

}  // namespace vorta
