#include "chat/room.hpp"

#include <boost/regex.hpp>

#include <ctime>

#include "chat/database.hpp"
#include "chat/manager.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "render/fragment_cache.hpp"
#include "security/security.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

// Types whose fragment names its recipient, so each member gets his own copy.
bool addressed_to_member(mode_standard::types type) {
    switch (type) {
        case mode_standard::action_say:
        case mode_standard::action_say_blind:
        case mode_standard::action_me:
        case mode_standard::action_enter:
        case mode_standard::room_hello:
            return true;
        default:
            return false;
    }
}

std::string quoted(const std::string& value) { return " \"" + c_escape(value) + "\""; }

}  // namespace

room::room(std::string room_name, user* room_owner, std::string room_subject, form room_form)
    : name(std::move(room_name)),
      government(room_form),
      permanent(room_owner == nullptr),
      mode(Manager.get_mode("plain")),
      subject(std::move(room_subject)),
      owner(room_owner) {
    id = Database.new_room(name);
    logged = Security.room_log(this, "");
    std::time_t now = std::time(nullptr);
    created = now == static_cast<std::time_t>(-1) ? 0 : static_cast<long>(now);
    if (owner != nullptr) join(owner, enter::go, "");
}

room::~room() { Database.close_room(id); }

bool room::parse_line(const std::string& line, std::string& room_name, std::string& room_subject) {
    static const boost::regex syntax(R"(^([\w\d]+)((\s+)(.*))?\s*)");
    boost::smatch match;
    if (!boost::regex_search(line, match, syntax)) return false;
    room_name = match[1];
    room_subject = match[4];
    return true;
}

bool room::is_admin(const user* u) const {
    for (const user* admin : admins)
        if (admin == u) return true;
    return false;
}

std::string room::member_line(const char* verb, const std::string& nickname) {
    return verb + quoted(nickname);
}

room* room::join(user* u, enter how, std::string given_password) {
    u->set_status("-");
    bool admitted = false;
    if (u == owner) {
        owner_nickname = u->get_nickname();
        owner_id = u->get_id();
        u->set_status("Owner");
        admitted = true;
    } else if (owner_id == u->get_id()) {
        admins.remove(u);
        owner = u;
        owner_nickname = u->get_nickname();
        u->set_status("Owner");
        admitted = true;
    } else if (is_admin(u)) {
        u->set_status("Admin");
        admitted = true;
    }
    if (!admitted) {
        if (u->get_rank().level < rank_level) {
            u->send_html(message(mode_standard::room_go_failed_rank, rank_label));
            return nullptr;
        }
        if (!clan.empty() && !nocase_equal(clan, u->get_clan())) {
            u->send_html(message(mode_standard::room_go_failed_clan, clan));
            return nullptr;
        }
        if ((!locked || u->welcome(name)) && password.empty()) {
            admitted = true;
        } else if (!password.empty() && given_password == password) {
            admitted = true;
        } else if (locked && password.empty()) {
            u->send_html(message(mode_standard::room_go_failed_locked, this));
            return nullptr;
        } else if (!given_password.empty()) {
            u->send_html(message(mode_standard::room_go_failed_password, this));
            return nullptr;
        } else {
            u->send_java(member_line("RPW", name));
            u->send_html(message(mode_standard::room_pw_please, this));
            return nullptr;
        }
    }

    send_java(member_line("ADD", u->get_nickname()));
    send_html_direct(message(how == enter::go ? mode_standard::room_hello : mode_standard::action_enter, u),
                     nullptr, pace::soon);
    members.push_back(u);
    weight += u->get_rank().vote_weight;
    Database.join_room(id, u->get_id());

    // Newcomers arrive at the end of the list, so a crowd logging in extends
    // the lines instead of writing them anew for each of them.
    if (member_list.empty()) {
        member_list.append("NRM" + quoted(name));
        for (const user* member : members) member_list.append(quoted(member->get_nickname()));
    } else {
        member_list.append(quoted(u->get_nickname()));
    }
    for (overview_part& part : overview_parts) add_overview_member(part, *u);
    u->send_java(member_list);
    if (how == enter::go) {
        u->send_html(message(mode_standard::room_change, this));
        return this;
    }
    const mode_standard* look = u->get_mode();
    if (overview_members(*look) == nullptr) {
        overview_parts.push_back(overview_part{look, {}, {}});
        for (const user* member : members) add_overview_member(overview_parts.back(), *member);
    }
    u->send_room_info(*this);
    return this;
}

void room::add_overview_member(overview_part& part, const user& u) {
    std::string entry;
    part.look->append_overview_member(entry, u, part.html.empty());
    part.html.append(entry);
    std::string escaped;
    append_c_escaped(escaped, entry);
    part.escaped.append(escaped);
}

const room::overview_part* room::overview_members(const mode_standard& look) const {
    for (const overview_part& part : overview_parts)
        if (part.look == &look) return &part;
    return nullptr;
}

void room::forget_member_lists() {
    member_list.clear();
    overview_parts.clear();
}

void room::leave(user* u, change why) {
    members.remove(u);
    forget_member_lists();
    weight -= u->get_rank().vote_weight;
    Database.leave_room(id, u->get_id());
    send_java(member_line("DEL", u->get_nickname()));
    if (!permanent && members.empty()) {
        Manager.remove(this);
        return;
    }
    mode_standard::types announcement;
    switch (why) {
        case change::newroom: announcement = mode_standard::room_new; break;
        case change::go: announcement = mode_standard::room_go; break;
        case change::goback: announcement = mode_standard::room_back; break;
        case change::goinvited: announcement = mode_standard::action_invite_ok; break;
        case change::goalarm: announcement = mode_standard::action_alarm_ok; break;
        default: return;
    }
    send_html_direct(message(announcement, u), nullptr, pace::soon);
}

void room::remove(user* u) {
    if (u != owner) {
        admins.remove(u);
    } else {
        owner = nullptr;
        // An unregistered owner's id dies with his session; a registered owner
        // gets the room back when he returns.
        if (owner_id < 0) {
            owner_nickname.clear();
            owner_id = 0;
        }
    }
    if (last_sender == u) last_sender = nullptr;
    // Held lines stay queued when moderation ends, so they go whatever the
    // setting: a released line must never name a user who is gone.
    held.remove_if([u](const auto& entry) { return entry.second.first_user == u; });
}

void room::forget_members() {
    members.clear();
    forget_member_lists();
    weight = 0;
}

void room::before_morph(user* u) {
    weight -= u->get_rank().vote_weight;
    Database.leave_room(id, u->get_id());
    send_java(member_line("DEL", u->get_nickname()));
}

void room::after_morph(user* u) {
    forget_member_lists();
    if (u == owner) {
        owner_nickname = u->get_nickname();
        owner_id = u->get_id();
    } else if (owner_id == u->get_id()) {
        admins.remove(u);
        owner = u;
        owner_nickname = u->get_nickname();
        u->set_status("Owner");
    }
    send_java(member_line("ADD", u->get_nickname()));
    weight += u->get_rank().vote_weight;
    Database.join_room(id, u->get_id());
}

void room::send_html_direct(message msg, user* except, pace when) {
    const bool addressed = addressed_to_member(msg.type);
    fragment_cache fragments;
    for (user* member : members) {
        if (member == except) continue;
        if (addressed) msg.second_user = member;
        member->send_html(msg, fragments, when);
    }
    if (logged) Security.room_log(this, *fragments.get(*mode, msg).html);
}

bool room::send_html(message msg, user* except) {
    const bool chat_line = msg.type == mode_standard::action_say || msg.type == mode_standard::action_me;
    if (chat_line) {
        user* sender = msg.first_user;
        if (spammer(msg)) {
            send_html_direct(message(mode_standard::msg_spammer, sender), nullptr);
            sender->send_java("EXT");
            return true;
        }
        if (censor(msg)) {
            send_html_direct(message(mode_standard::msg_censored, sender), sender);
            sender->send_html(message(mode_standard::msg_is_censored));
            sender->send_java("EXT");
            return true;
        }
        const bool say = msg.type == mode_standard::action_say;
        if (!moderated) {
            if (!light) {
                msg.type = mode_standard::action_say_blind;
            } else {
                std::move(history.begin() + 1, history.end(), history.begin());
                history.back() = sender->get_nickname() + (say ? ": " : " ") + msg.text;
            }
        } else if (sender != owner && !is_admin(sender)) {
            held.emplace_back(++moderation_id, msg);
            msg.type = say ? mode_standard::action_say_moderated : mode_standard::action_me_moderated;
            msg.number = static_cast<int>(moderation_id);
            msg.second_user = sender;
            sender->send_html(msg);
            if (owner != nullptr && owner->get_room() == this) {
                msg.second_user = owner;
                owner->send_html(msg);
            }
            for (user* admin : admins) {
                if (admin->get_room() != this) continue;
                msg.second_user = admin;
                admin->send_html(msg);
            }
            return false;
        }
    }
    send_html_direct(std::move(msg), except);
    return false;
}

bool room::spammer(const message& msg) {
    if (msg.first_user != last_sender) {
        last_sender = msg.first_user;
        repeat_count = 0;
        return false;
    }
    ++repeat_count;
    return repeat_count > 9 - static_cast<int>(members.size()) && repeat_count > random(3, 2);
}

bool room::censor(const message& msg) {
    return censorship && Security.censor_exit(msg.text, msg.first_user);
}

void room::send_history(user* u) {
    std::string text;
    for (const std::string& line : history)
        if (!line.empty()) text += line + "<br>";
    if (text.empty()) {
        u->send_html(message(mode_standard::msg_history_failed_empty));
        return;
    }
    text.resize(text.size() - 4);
    u->send_html(message(mode_standard::msg_history, text));
}

void room::send_java(const std::string& line) const {
    if (members.empty()) return;
    const auto shared = std::make_shared<const std::string>(line + "\n");
    for (user* member : members) member->send_java(shared, pace::soon);
}

std::string room::shorten(std::string text, int max, bool at_word) const {
    text = html_unescape(std::move(text));
    if (max >= 0 && text.size() > static_cast<std::size_t>(max)) {
        std::string::size_type cut = static_cast<std::size_t>(max);
        if (at_word) {
            auto blank = text.substr(0, cut).rfind(' ');
            if (blank != std::string::npos) cut = blank;
        }
        text.resize(cut);
    }
    return html_escape(std::move(text));
}

bool room::danger(const int& votes) const { return votes > weight / 3; }

}  // namespace vorta
