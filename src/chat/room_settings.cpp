// What the owner and the admins steer in a room, and how members get rid of
// each other: marks (votes ruled by the form of government) and kicks.
#include <algorithm>

#include "chat/database.hpp"
#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

// Longest subject (cut at a word) and password (cut hard), in characters.
constexpr int subject_max = 80;
constexpr int password_max = 15;

// The answers of each switch, indexed by the wanted value: [false], [true].
using switch_pair = std::array<room::switch_answers, 2>;

const switch_pair lock_answers{{
    {mode_standard::room_open_failed_noright, mode_standard::room_open_failed_isset, mode_standard::room_open},
    {mode_standard::room_lock_failed_noright, mode_standard::room_lock_failed_isset, mode_standard::room_lock},
}};
const switch_pair hide_answers{{
    {mode_standard::room_show_failed_noright, mode_standard::room_show_failed_isset, mode_standard::room_show},
    {mode_standard::room_hide_failed_noright, mode_standard::room_hide_failed_isset, mode_standard::room_hide},
}};
const switch_pair moderate_answers{{
    {mode_standard::room_unmoderate_failed_noright, mode_standard::room_unmoderate_failed_isset,
     mode_standard::room_unmoderate},
    {mode_standard::room_moderate_failed_noright, mode_standard::room_moderate_failed_isset,
     mode_standard::room_moderate},
}};
const switch_pair light_answers{{
    {mode_standard::room_lightoff_failed_noright, mode_standard::room_lightoff_failed_isset,
     mode_standard::room_lightoff},
    {mode_standard::room_lighton_failed_noright, mode_standard::room_lighton_failed_isset,
     mode_standard::room_lighton},
}};
const switch_pair censorship_answers{{
    {mode_standard::room_censorshipoff_failed_noright, mode_standard::room_censorshipoff_failed_isset,
     mode_standard::room_censorshipoff},
    {mode_standard::room_censorshipon_failed_noright, mode_standard::room_censorshipon_failed_isset,
     mode_standard::room_censorshipon},
}};

}  // namespace

bool room::steers(const user* u) const { return u == owner || is_admin(u); }

// The announcement is rendered while the room still has the old setting.
bool room::flip(bool& flag, bool wanted, const switch_answers& answers, user* u) {
    if (!steers(u)) {
        u->send_html(message(answers.no_right));
        return false;
    }
    if (flag == wanted) {
        u->send_html(message(answers.already_set));
        return false;
    }
    send_html_direct(message(answers.done, u), nullptr);
    flag = wanted;
    return true;
}

void room::set_lock(bool wanted, user* u) { flip(locked, wanted, lock_answers[wanted], u); }

void room::set_hide(bool wanted, user* u) {
    if (!flip(is_hidden, wanted, hide_answers[wanted], u)) return;
    if (wanted) {
        Database.hide_room(id);
    } else {
        Database.show_room(id);
    }
}

// Lines held so far stay queued; a new moderation counts its ids from 1.
void room::set_moderate(bool wanted, user* u) {
    if (flip(moderated, wanted, moderate_answers[wanted], u) && !wanted) moderation_id = 0;
}

void room::set_light(bool wanted, user* u) { flip(light, wanted, light_answers[wanted], u); }

void room::set_censorship(bool wanted, user* u) { flip(censorship, wanted, censorship_answers[wanted], u); }

void room::set_subject(const std::string& text, user* u) {
    if (!steers(u)) {
        u->send_html(message(mode_standard::action_set_subject_failed_noright));
        return;
    }
    if (text.empty()) {
        if (subject.empty()) {
            u->send_html(message(mode_standard::action_set_subject_empty_failed_isset));
            return;
        }
        subject.clear();
        send_html_direct(message(mode_standard::action_set_subject_empty, u), nullptr);
        return;
    }
    subject = shorten(text, subject_max, true);
    if (subject.size() < text.size()) subject += " ...";
    send_html_direct(message(mode_standard::action_set_subject, u, subject), nullptr);
}

// The password arrives HTML-escaped like every command argument, but the room
// password line brings it as typed: it is kept as typed, and only the answer
// shows it escaped.
void room::set_password(std::string new_password, user* u) {
    if (u != owner) {
        u->send_html(message(mode_standard::room_set_password_failed_noright));
        return;
    }
    if (new_password.empty()) {
        if (password.empty()) {
            u->send_html(message(mode_standard::room_set_password_empty_failed_isset));
            return;
        }
        password.clear();
        u->send_html(message(mode_standard::room_set_password_empty));
        return;
    }
    std::string shown = shorten(std::move(new_password), password_max, false);
    password = html_unescape(shown);
    u->send_html(message(mode_standard::room_set_password, std::move(shown)));
}

void room::set_rank(std::string label, user* u) {
    if (u != owner) {
        u->send_html(message(mode_standard::room_set_rank_failed_noright));
        return;
    }
    if (label.empty()) {
        if (rank_level == 0) {
            u->send_html(message(mode_standard::room_set_rank_empty_failed_isset));
            return;
        }
        rank_label.clear();
        rank_level = 0;
        send_html_direct(message(mode_standard::room_set_rank_empty, u), nullptr);
        return;
    }
    const permission* wanted = Manager.get_permission_by_label(label);
    if (wanted == nullptr) {
        u->send_html(message(mode_standard::room_set_rank_failed_unknown, std::move(label)));
        return;
    }
    if (u->get_rank().level < wanted->level) {
        u->send_html(message(mode_standard::room_set_rank_failed_noright));
        return;
    }
    clan.clear();
    rank_label = wanted->label;
    rank_level = wanted->level;
    send_html_direct(message(mode_standard::room_set_rank, u, rank_label), nullptr);
}

void room::set_clan(std::string new_clan, user* u) {
    if (u != owner) {
        u->send_html(message(mode_standard::room_set_clan_failed_noright));
        return;
    }
    if (new_clan.empty()) {
        if (clan.empty()) {
            u->send_html(message(mode_standard::room_set_clan_empty_failed_isset));
            return;
        }
        send_html_direct(message(mode_standard::room_set_clan_empty, u, clan), nullptr);
        clan.clear();
        return;
    }
    if (!Manager.clan_exist(new_clan)) {
        u->send_html(message(mode_standard::room_set_clan_failed_unknown, std::move(new_clan)));
        return;
    }
    rank_label.clear();
    rank_level = 0;
    clan = std::move(new_clan);
    send_html_direct(message(mode_standard::room_set_clan, u, clan), nullptr);
}

void room::make_admin(const std::string& nickname, user* u) {
    if (!steers(u)) {
        u->send_html(message(mode_standard::action_make_admin_failed_noright, nickname));
        return;
    }
    user* target = Manager.get_user(nickname);
    if (target == nullptr || target->get_room() != this) {
        u->send_html(message(mode_standard::action_make_admin_failed_nouser, nickname));
        return;
    }
    if (target == owner) {
        u->send_html(message(mode_standard::action_make_admin_failed_owner, target));
        return;
    }
    if (is_admin(target)) {
        u->send_html(message(mode_standard::action_make_admin_failed_isset, target));
        return;
    }
    admins.push_back(target);
    send_html_direct(message(mode_standard::action_make_admin, u, target), nullptr);
    target->set_status("Admin");
}

// The admin may be in another room; his status there is that room's business.
void room::unmake_admin(const std::string& nickname, user* u) {
    if (u != owner) {
        u->send_html(message(mode_standard::action_unmake_admin_failed_noright));
        return;
    }
    user* target = Manager.get_user(nickname);
    if (target == nullptr) {
        u->send_html(message(mode_standard::action_unmake_admin_failed_nouser, nickname));
        return;
    }
    if (!is_admin(target)) {
        u->send_html(message(mode_standard::action_unmake_admin_failed_isset, target));
        return;
    }
    admins.remove(target);
    send_html_direct(message(mode_standard::action_unmake_admin, u, target), nullptr);
    if (target->get_room() == this) target->set_status("-");
}

// The line goes out as it was said, and not into the history.
void room::send_moderate(int held_id, user* u) {
    if (!steers(u)) {
        u->send_html(message(mode_standard::action_moderate_failed_no_right));
        return;
    }
    auto entry = std::find_if(held.begin(), held.end(), [held_id](const auto& line) {
        return held_id >= 0 && line.first == static_cast<unsigned>(held_id);
    });
    if (entry == held.end()) {
        u->send_html(message(mode_standard::action_moderate_failed_no_msg, held_id));
        return;
    }
    message released = std::move(entry->second);
    held.erase(entry);
    send_html_direct(std::move(released), nullptr);
}

void room::throw_out(user* target, const message& notice) {
    send_html_direct(notice, nullptr);
    target->send_java("EXT");
    Manager.remove(target);
}

// A democracy throws a member out once the marks reach half the room's
// weight, except in a permanent room of two; a dictator and, in anarchy,
// everybody decide alone.
void room::mark(const std::string& nickname, user* u) {
    user* target = Manager.get_user(nickname);
    if (target == nullptr || target->get_room() != this) {
        u->send_html(message(mode_standard::action_mark_failed_nouser, nickname));
        return;
    }
    if (target->get_rank().immune) {
        u->send_html(message(mode_standard::action_mark_failed_noright, target));
        return;
    }
    switch (government) {
        case form::dictatorship:
            if (u != owner) {
                u->send_html(message(mode_standard::action_mark_failed_noright, target));
                return;
            }
            throw_out(target, message(mode_standard::msg_is_kicked_admin, u, target->get_nickname()));
            return;
        case form::anarchy:
            throw_out(target, message(mode_standard::msg_is_kicked_admin, u, target->get_nickname()));
            return;
        case form::democracy:
            break;
    }
    const int tally = u->mark(target);
    if (tally < 0) {
        u->send_html(message(mode_standard::action_mark_failed_isset, target));
        return;
    }
    if (tally < weight / 2 || (permanent && members.size() <= 2)) {
        u->send_html(message(mode_standard::action_mark, target));
        return;
    }
    throw_out(target, message(mode_standard::msg_is_kicked_decision, target));
}

// A rank that may kick everybody reaches any room; otherwise only the owner
// and the admins kick, and only here.
void room::kick(const std::string& nickname, user* u) {
    user* target = Manager.get_user(nickname);
    if (target == nullptr) {
        u->send_html(message(mode_standard::action_kick_failed_nouser, nickname));
        return;
    }
    const permission& rank = u->get_rank();
    bool allowed;
    if (rank.can_kick_all) {
        allowed = target->get_rank().level <= rank.level;
    } else {
        if (target->get_room() != u->get_room()) {
            u->send_html(message(mode_standard::action_kick_failed_nouser, nickname));
            return;
        }
        allowed = !target->get_rank().immune && (u == owner || (target != owner && is_admin(u)));
    }
    if (!allowed) {
        u->send_html(message(mode_standard::action_kick_failed_noright, target));
        return;
    }
    target->get_room()->send_html_direct(message(mode_standard::msg_is_kicked_admin, u, target->get_nickname()),
                                         u);
    u->send_html(message(mode_standard::action_kick, target));
    Manager.remove(target);
}

}  // namespace vorta
