// Commands that steer a room or remove people: the room's switches and
// settings, admins, held lines, marks and kicks, which the room decides, and
// bans, nickname locks and kills, which the caller's rank allows.
#include <algorithm>
#include <climits>

#include "chat/database.hpp"
#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "chat/user_ex.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

// Ban length without (or below 1) minute given; a kill bans this long too.
constexpr int default_ban_minutes = 15;
constexpr int default_lock_hours = 1;

}  // namespace

void user::on_cmd_lock(const command_words& /*words*/) { room->set_lock(true, this); }
void user::on_cmd_open(const command_words& /*words*/) { room->set_lock(false, this); }
void user::on_cmd_hide(const command_words& /*words*/) { room->set_hide(true, this); }
void user::on_cmd_show(const command_words& /*words*/) { room->set_hide(false, this); }
void user::on_cmd_moderate(const command_words& /*words*/) { room->set_moderate(true, this); }
void user::on_cmd_unmoderate(const command_words& /*words*/) { room->set_moderate(false, this); }
void user::on_cmd_lightoff(const command_words& /*words*/) { room->set_light(false, this); }
void user::on_cmd_lighton(const command_words& /*words*/) { room->set_light(true, this); }
void user::on_cmd_censoroff(const command_words& /*words*/) { room->set_censorship(false, this); }
void user::on_cmd_censoron(const command_words& /*words*/) { room->set_censorship(true, this); }

void user::on_cmd_password(const command_words& words) { room->set_password(words[1].first, this); }
void user::on_cmd_rank(const command_words& words) { room->set_rank(words[1].first, this); }
void user::on_cmd_clan(const command_words& words) { room->set_clan(words[1].first, this); }

void user::on_cmd_setsubject(const command_words& words) {
    if (censor(words[0].second)) return;
    room->set_subject(words[0].second, this);
}

// A number that does not parse releases the line with id 0, which no line has.
void user::on_cmd_ok(const command_words& words) {
    if (words[1].first.empty()) {
        send_html(message(mode_standard::action_ok_syntax));
        return;
    }
    const long held_id = string_to_long(words[1].first, 10);
    room->send_moderate(static_cast<int>(std::clamp<long>(held_id, INT_MIN, INT_MAX)), this);
}

void user::ask_room(const command_words& words, mode_standard::types syntax,
                    void (vorta::room::*operation)(const std::string&, user*)) {
    if (is_own_or_empty(words[1].first)) {
        send_html(message(syntax));
        return;
    }
    (room->*operation)(words[1].first, this);
}

void user::on_cmd_makeadmin(const command_words& words) {
    ask_room(words, mode_standard::action_make_admin_syntax, &vorta::room::make_admin);
}

void user::on_cmd_unmakeadmin(const command_words& words) {
    ask_room(words, mode_standard::action_unmake_admin_syntax, &vorta::room::unmake_admin);
}

void user::on_cmd_mark(const command_words& words) {
    ask_room(words, mode_standard::action_mark_syntax, &vorta::room::mark);
}

void user::on_cmd_kick(const command_words& words) {
    ask_room(words, mode_standard::action_kick_syntax, &vorta::room::kick);
}

void user::on_cmd_unmark(const command_words& words) {
    user* target = named_user(words[1].first, message(mode_standard::action_unmark_syntax),
                              mode_standard::action_unmark_failed_nouser);
    if (target == nullptr) return;
    if (!marked(target)) {
        send_html(message(mode_standard::action_unmark_failed_isset, target));
        return;
    }
    unmark(target);
    send_html(message(mode_standard::action_unmark, target));
}

int user::duration(const std::string& word, int fallback, int cap) {
    long value = string_to_long(word, 10);
    if (value < 1) value = fallback;
    if (value > cap) value = cap;
    return static_cast<int>(value);
}

bool user::may_ban(const std::string& name, const int* target_level, mode_standard::types syntax,
                   mode_standard::types no_user) {
    mode_standard::types refusal;
    if (rank->max_ban == 0) {
        refusal = mode_standard::action_ban_failed_noright;
    } else if (is_own_or_empty(name)) {
        send_html(message(syntax));
        return false;
    } else if (target_level == nullptr) {
        refusal = no_user;
    } else if (rank->level < *target_level) {
        refusal = mode_standard::action_ban_failed_noright;
    } else {
        return true;
    }
    send_html(message(refusal, name));
    return false;
}

// The session goes on: its applet leaves on the "BAN" line.
void user::on_cmd_ban(const command_words& words) {
    const std::string& name = words[1].first;
    user* target = Manager.get_user(name);
    const int* target_level = target != nullptr ? &target->rank->level : nullptr;
    if (!may_ban(name, target_level, mode_standard::action_ban_syntax, mode_standard::action_ban_failed_nouser)) return;
    const int minutes = duration(words[2].first, default_ban_minutes, rank->max_ban);
    Database.ban_ip(target->address, minutes);
    target->send_java("BAN \"" + long_to_string(minutes) + "\"");
    send_html(message(mode_standard::action_ban, target, minutes));
}

// Somebody who logged out lately, by the record he left.
void user::on_cmd_banex(const command_words& words) {
    const std::string& name = words[1].first;
    const user_ex* record = Manager.get_user_ex(name);
    const int record_level = record != nullptr ? record->get_rank() : 0;
    if (!may_ban(name, record != nullptr ? &record_level : nullptr, mode_standard::action_banex_syntax,
                 mode_standard::action_banex_failed_nouser))
        return;
    const int minutes = duration(words[2].first, default_ban_minutes, rank->max_ban);
    Database.ban_ip(record->get_ip(), minutes);
    send_html(message(mode_standard::action_banex, record->get_nickname(), minutes));
}

void user::on_cmd_locknickname(const command_words& words) {
    const std::string& name = words[1].first;
    if (is_own_or_empty(name)) {
        send_html(message(mode_standard::action_lock_nickname_syntax));
        return;
    }
    user* target = Manager.get_user(name);
    mode_standard::types refusal = mode_standard::types_end;
    if (rank->max_lock == 0) {
        refusal = mode_standard::action_lock_nickname_failed_noright;
    } else if (target == nullptr) {
        refusal = mode_standard::action_lock_nickname_failed_nouser;
    } else if (rank->level < target->rank->level) {
        refusal = mode_standard::action_lock_nickname_failed_noright;
    }
    if (refusal != mode_standard::types_end) {
        send_html(message(refusal, name));
        return;
    }
    const int hours = duration(words[2].first, default_lock_hours, rank->max_lock);
    Database.lock_nickname(name, hours * 60);
    send_html(message(mode_standard::action_lock_nickname, target, hours));
}

// No level comparison: the right to kill is enough.
void user::on_cmd_kill(const command_words& words) {
    if (!rank->can_kill) {
        send_html(message(mode_standard::action_kill_failed_noright));
        return;
    }
    user* target = named_user(words[1].first, message(mode_standard::action_kill_syntax),
                              mode_standard::action_kill_failed_nouser);
    if (target == nullptr) return;
    Database.ban_ip(target->address, default_ban_minutes);
    target->send_html(message(mode_standard::action_is_killed));
    send_html(message(mode_standard::action_kill, target));
    target->room->send_html(message(mode_standard::action_quit, target), target);
    Manager.remove(target);
}

}  // namespace vorta
