#pragma once
// The lists and overviews of the plain look, shared with the icon look: they
// take the names' decoration as a parameter, `names.user(nickname)` before a
// nickname and `names.room(name)` before a room name, each returning a part
// for `put`. The plain look decorates nothing; the icon look puts buttons
// there. They read the manager's and the rooms' lists at the time of
// rendering.
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "chat/manager.hpp"
#include "chat/permission.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "render/fragment.hpp"
#include "render/message.hpp"

namespace vorta::fragment {

// The plain look's names: bare.
struct bare_names {
    static piece user(const std::string&) { return {}; }
    static piece room(const std::string&) { return {}; }
};

// Nicknames joined by ", ": the same bytes as appending ", " after each name
// and cutting the last two characters.
template <typename Sink, typename Users, typename Names>
void join_nicknames(Sink& write, const Users& users, const Names& names) {
    piece separator;
    for (const user* u : users) {
        put(write, separator, names.user(nickname(u)), nickname(u));
        separator = ", ";
    }
}

// Appends the entry of one more member to the members' part of a room
// overview, so that the part a room keeps grows with its arrivals exactly as
// join_nicknames would write it.
template <typename Names>
void append_member(std::string& out, const user& u, bool first, const Names& names) {
    append sink{out};
    put(sink, first ? piece() : piece(", "), names.user(u.get_nickname()), u.get_nickname());
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
    if (!r.get_rank_label().empty())
        put(write, " mit Mindestrang ", r.get_rank_label());
    else if (!r.get_clan().empty())
        put(write, " f&uuml;r Clan ", r.get_clan());
}

// action_users: every logged-in user in a visible room; nothing at all with
// nobody logged in. A "<br>" in front of each entry gives the same bytes as
// ending each entry in "<br>" (or "0 User" and four blanks when nobody is
// listed) and cutting the last four characters.
template <typename Names>
void users_overview(std::string& result, const Names& names) {
    const std::vector<user*> users = Manager.get_users();
    if (users.empty()) {
        result.clear();
        return;
    }
    build(result, [&users, &names](auto& write) {
        write(R"(<div class="actionUsers">Chat&uuml;bersicht:)");
        bool listed = false;
        for (const user* u : users) {
            const room* r = u->get_room();
            if (r == nullptr || r->hidden()) continue;
            listed = true;
            put(write, "<br>- ", names.user(u->get_nickname()), u->get_nickname(), " [Raum: ",
                names.room(r->get_name()), r->get_name(), "; Rang: ", u->get_rank().label,
                "; Status: ", u->get_status());
            if (!u->get_clan().empty()) put(write, "; Clan: ", u->get_clan());
            write("]");
        }
        if (!listed) write("<br>0 User");
        write("</div>");
    });
}

// action_block_list: the blocked users online of the first user, who asks.
template <typename Names>
void block_list(std::string& result, const message& m, const Names& names) {
    static constexpr piece nobody =
        R"(<div class="actionBlockList">Momentan ist kein User im Chat geblockt.</div>)";
    const std::vector<user*> blocked = m.first_user != nullptr
        ? Manager.get_blocked_users(m.first_user->get_blocked())
        : std::vector<user*>();
    if (blocked.empty()) {
        result.assign(nobody);
        return;
    }
    build(result, [&blocked, &names](auto& write) {
        write(R"(<div class="actionBlockList">Momentan im Chat geblockte User:<br>)");
        join_nicknames(write, blocked, names);
        write("</div>");
    });
}

// room_info: the room the message carries, with its name, member count,
// settings, subject, owner, admins and members. With `head_only`, it ends
// before the members' part the room keeps, which the caller sends after it,
// followed by "</div>".
template <typename Names>
void room_overview(std::string& result, const message& m, const mode_standard& look, const Names& names,
                   bool head_only = false) {
    if (m.room == nullptr) {
        result.clear();
        return;
    }
    const room& r = *m.room;
    // The members' part is the room's own while members only arrive.
    const room::overview_part* members = r.overview_members(look);
    build(result, [&r, &names, members, head_only](auto& write) {
        put(write, R"(<div class="roomInfo">Raum&uuml;bersicht:<br>)", r.get_name(), " [",
            decimal(static_cast<long>(r.get_members().size())), " User");
        write_room_settings(write, r, true);
        write("]");
        if (!r.get_subject().empty()) put(write, "<br>Thema: ", r.get_subject());
        if (!r.get_owner_nickname().empty())
            put(write, "<br>Owner: ", names.user(r.get_owner_nickname()), r.get_owner_nickname());
        if (!r.get_admins().empty()) {
            write("<br>Admins: ");
            join_nicknames(write, r.get_admins(), names);
        }
        if (!r.get_members().empty()) {
            write("<br>User: ");
            if (head_only) return;
            if (members != nullptr)
                write(members->html.view());
            else
                join_nicknames(write, r.get_members(), names);
        }
        write("</div>");
    });
}

// rooms_info: every room that is not hidden, in the manager's order. A
// "<br>" in front of each entry gives the same bytes as ending the heading
// and each entry in "<br>" and cutting the last four characters.
template <typename Names>
void chat_overview(std::string& result, const Names& names) {
    std::list<std::shared_ptr<room>>::const_iterator first;
    std::list<std::shared_ptr<room>>::const_iterator last;
    Manager.get_rooms(first, last);
    build(result, [first, last, &names](auto& write) {
        write(R"(<div class="roomList">Chat&uuml;bersicht:)");
        for (auto it = first; it != last; ++it) {
            const room& r = **it;
            if (r.hidden()) continue;
            put(write, "<br>- ", names.room(r.get_name()), r.get_name(), " [",
                decimal(static_cast<long>(r.get_members().size())), " User");
            write_room_settings(write, r, false);
            if (!r.get_subject().empty()) put(write, "; Thema: ", r.get_subject());
            write("]");
        }
        write("</div>");
    });
}

}  // namespace vorta::fragment
