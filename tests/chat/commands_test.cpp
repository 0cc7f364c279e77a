// The chat's commands as dialogues of sessions on socket pairs, the rules by
// which members are thrown out and held lines released, and the text filters.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "security/replacement.hpp"
#include "security/security.hpp"
#include "support/chat_world.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace test_support;
using t = vorta::mode_standard;

std::string list(const std::string& head, const std::vector<std::string>& words) {
    std::string line = head;
    for (const std::string& word : words) line += " \"" + word + "\"";
    return line;
}
// A room's name alone, for the notices of a room that a step makes or ends.
vorta::room* named(const std::string& name) {
    static std::vector<std::unique_ptr<vorta::room>> rooms;
    rooms.push_back(std::make_unique<vorta::room>(name, nullptr, "", vorta::room::form::democracy));
    return rooms.back().get();
}
std::string nick(peer* p) { return p->session()->get_nickname(); }

// `p` moves to `to`: his list and notice, the arrival for `there`, `notice`
// (if any) for `left`.
seen_t moved(peer* p, vorta::room* to, const std::vector<peer*>& there, const std::vector<peer*>& left,
             std::optional<vorta::message> notice) {
    std::vector<std::string> names{to->get_name()};
    for (peer* q : there) names.push_back(nick(q));
    names.push_back(nick(p));
    seen_t seen = each(there, {list("ADD", {nick(p)}), msg(t::room_hello, p)});
    seen.push_back({p, {list("NRM", names), msg(t::room_change, to)}});
    for (peer* q : left) {
        seen.push_back({q, {del(nick(p))}});
        if (notice) seen.back().second.push_back(*notice);
    }
    return seen;
}

class commands : public ::testing::Test {
protected:
    vorta::room* const lobby = (chat_world(), Manager.get_room("Lobby"));
};

// anna, carl and dora are bosses: they raise and receive alarms.
TEST_F(commands, rooms_are_changed_made_and_opened_by_invitations_and_alarms) {
    auto anna = arrive("anna", "Lobby", "boss"), bert = arrive("bert", "Lobby"), carl = arrive("carl", "Lobby", "boss"),
         dora = arrive("dora", "Lobby", "boss");
    peer *a = anna.get(), *b = bert.get(), *c = carl.get(), *d = dora.get();
    vorta::room *garten = Manager.get_room("Garten"), *klub = named("Klub");
    drain({a, b, c, d});
    play({a, b, c, d},
         {ask(a, ".go", msg(t::room_go_syntax)),
          ask(a, ".go lOBBY", msg(t::room_go_failed_inroom, a)),
          ask(a, ".g Nirgendwo", msg(t::room_go_failed_noroom, "Nirgendwo")),
          ask(a, ".gob", msg(t::room_goback_syntax)),
          {a, ".g garten", moved(a, garten, {}, {b, c, d}, msg(t::room_go, a, garten))},
          {a, ".goback", moved(a, lobby, {b, c, d}, {}, std::nullopt)},
          ask(a, ".gob", msg(t::room_goback_syntax)),  // the room left is not remembered
          ask(a, ".nr", msg(t::room_new_syntax)),
          ask(a, ".nr LOBBY", msg(t::room_new_failed_doesexist, lobby)),
          {a, ".newroom Klub", moved(a, klub, {}, {b, c, d}, msg(t::room_new, a, klub))},
          ask(a, ".l", msg(t::room_lock, a)),
          ask(b, ".g Klub", msg(t::room_go_failed_locked, klub)),
          // An invitation lets its receiver pass the lock.
          ask(a, ".i", msg(t::action_invite_syntax)),
          ask(a, ".i Anna", msg(t::action_invite_syntax)),
          ask(a, ".i zorro", msg(t::action_invite_failed_nouser, "zorro")),
          ask(b, ".goi", msg(t::action_invite_ok_syntax)),
          {a, ".invite bert", {{a, {msg(t::action_invite, b)}}, {b, {msg(t::action_got_invited, a)}}}},
          {b, ".goinvited", moved(b, klub, {a}, {c, d}, msg(t::action_invite_ok, b))},
          ask(b, ".goi", msg(t::action_invite_ok_syntax)),
          ask(a, ".i bert", msg(t::action_invite_failed_inroom, b)),
          // So does an alarm, which reaches its raiser too.
          {a, ".alarm", {{a, {msg(t::msg_got_alarm, a), msg(t::action_alarm)}}, {c, {msg(t::msg_got_alarm, a)}},
                         {d, {msg(t::msg_got_alarm, a)}}}},
          ask(a, ".alarm", msg(t::action_alarm_failed_isset)),
          ask(b, ".alarm", msg(t::action_alarm_failed_noright)),
          {c, ".goalarm", moved(c, klub, {a, b}, {d}, msg(t::action_alarm_ok, c))},
          ask(c, ".goa", msg(t::action_alarm_ok_syntax)),
          ask(a, ".goa", msg(t::room_go_failed_inroom, a)),
          // The last one out takes the room along, without a word.
          {a, ".g Lobby", moved(a, lobby, {d}, {b, c}, msg(t::room_go, a, lobby))},
          {b, ".g Lobby", moved(b, lobby, {d, a}, {c}, msg(t::room_go, b, lobby))},
          {c, ".gob", moved(c, lobby, {d, a, b}, {}, std::nullopt)},
          ask(d, ".goa", msg(t::room_go_failed_noroom, "Klub"))});
}

// anna and bert are in the Lobby, carl in a hidden room of his own.
TEST_F(commands, information_whispers_blocks_looks_every_message_and_leaving) {
    auto anna = arrive("anna", "Lobby"), bert = arrive("bert", "Lobby"), carl = arrive("carl", "Garten");
    peer *a = anna.get(), *b = bert.get(), *c = carl.get();
    c->send(txt(".nr Versteck"));
    drain({a, b, c});
    vorta::room* versteck = Manager.get_room("Versteck");
    const std::string tricky = "psst  &lt;i&gt;leise&lt;/i&gt;";
    play({a, b, c},
         {ask(c, ".h", msg(t::room_hide, c)),
          ask(a, ".rs", msg(t::rooms_info)),
          ask(a, ".r", msg(t::room_info, lobby)),
          ask(a, ".room GARTEN", msg(t::room_info, Manager.get_room("Garten"))),
          ask(a, ".r Nirgendwo", msg(t::room_info_failed_noroom, "Nirgendwo")),
          ask(a, ".r versteck", msg(t::room_info_failed_noright, versteck)),
          ask(c, ".r", msg(t::room_info, versteck)),
          ask(a, ".us", msg(t::action_users)),
          ask(a, ".u", msg(t::action_user_this, a)),
          ask(a, ".user carl", msg(t::action_user, c, a)),
          ask(a, ".u zorro", msg(t::action_user_failed_nouser, "zorro")),
          ask(a, ".help", msg(t::action_help)),
          ask(a, ".ver", msg(t::action_version, "2.2.0 D")),
          // Whispers cross rooms and reach oneself too.
          ask(a, ".w carl", msg(t::action_whisper_syntax)),
          ask(a, ".w zorro hallo", msg(t::action_whisper_failed_nouser, "zorro")),
          {a, ".w CARL psst  <i>leise</i>",
           {{a, {msg(t::action_whisper, c, a, tricky)}}, {c, {msg(t::action_got_whisper, a, c, tricky)}}}},
          {a, ".whisper anna selbst",
           {{a, {msg(t::action_whisper, a, a, "selbst"), msg(t::action_got_whisper, a, a, "selbst")}}}},
          // A blocked user's lines and whispers stop; notices about him do not.
          ask(a, ".b", msg(t::action_block_list, a)),
          ask(a, ".b zorro", msg(t::action_block_failed_nouser, "zorro")),
          ask(a, ".block bert", msg(t::action_block, b)),
          ask(a, ".b bert", msg(t::action_block_failed_isset, b)),
          ask(a, ".b anna", msg(t::action_block_list, a)),
          ask(b, "hallo anna", msg(t::action_say, b, "hallo anna")),
          ask(b, ".me winkt", msg(t::action_me, b, "winkt")),
          ask(b, ".w anna psst", msg(t::action_whisper, a, b, "psst")),
          ask(b, ".l", msg(t::room_lock_failed_noright)),
          ask(a, ".ub", msg(t::action_unblock_syntax)),
          ask(a, ".ub zorro", msg(t::action_unblock_failed_nouser, "zorro")),
          ask(a, ".unblock bert", msg(t::action_unblock, b)),
          ask(a, ".ub bert", msg(t::action_unblock_failed_isset, b)),
          {b, "wieder da", each({a, b}, {msg(t::action_say, b, "wieder da")})},
          // Only a full stop in the very first place and the exact name make
          // a command; a blank line does nothing.
          {a, ".VER", each({a, b}, {msg(t::action_say, a, ".VER")})},
          {a, " .ver", each({a, b}, {msg(t::action_say, a, " .ver")})},
          {a, "   ", {}},
          ask(a, ".me", msg(t::action_me_syntax)),
          // Looks, style sheets and morphing.
          ask(a, ".nm", msg(t::msg_mode_box, a)),
          ask(a, ".nm schick", msg(t::msg_mode_syntax)),
          ask(a, ".newmode PHOTO", msg(t::msg_mode_changed, "Photo")),
          ask(a, ".nm plain", msg(t::msg_mode_changed, "Plain")),
          ask(a, ".ns", msg(t::msg_skin_box)),
          ask(a, ".newskin herbst", msg(t::action_new_skin_syntax)),
          // Without a stream the applet loads the style sheet.
          ask(a, ".css http://http://static.test/neu.css", "SKN \"static.test/neu.css\""),
          {a, ".css http://kurz.c", {}},
          ask(a, ".morph", msg(t::action_morph_syntax)),
          ask(a, ".morph ANNA", msg(t::action_morph_syntax)),
          ask(a, ".morph bert", msg(t::action_morph_failed_online, "bert")),
          // The nickname is looked up as typed and shown escaped.
          ask(a, ".morph <b>x", msg(t::action_morph_failed_not_registered, "&lt;b&gt;x"))});
    // Every message once, the kill page, the skin change and the two internal
    // lines excepted, with anna's room.
    lines_t showcase;
    for (int type = 0; type < t::types_end; ++type)
        if (type != t::intern_nop && type != t::intern_css && type != t::action_is_killed &&
            type != t::msg_skin_changed)
            showcase.push_back(a->shown(msg(t::types(type), a, a, lobby, "XXXXX")));
    ASSERT_EQ(showcase.size(), 188u);
    a->send(txt(".allmsg"));
    EXPECT_EQ(a->lines(), showcase);
    // Leaving: the applet is told to log out, the room sees the farewell.
    play({a, b, c}, {{b, ".exit", {{b, {"LGO"}}, {a, {msg(t::action_quit, b), del("bert")}}}}});
    EXPECT_TRUE(b->closed());
}

// Each switch of a room: its commands to switch on and off, and the message
// types of its answers (done, refused, already set; on, then off) from `on`.
struct toggle {
    const char *set, *set_alias, *reset, *reset_alias;
    t::types on;
};
const toggle toggles[] = {{".lock", ".l", ".open", ".o", t::room_lock},
                          {".hide", ".h", ".show", ".s", t::room_hide},
                          {".moderate", ".mod", ".unmoderate", ".umod", t::room_moderate},
                          {".lightoff", ".loff", ".lighton", ".lon", t::room_lightoff},
                          {".censoroff", ".coff", ".censoron", ".con", t::room_censorshipoff}};

// anna owns the Salon with bert in it; carl and dora stay in the Lobby.
TEST_F(commands, owner_and_admins_steer_the_room_the_dark_the_history_and_marks) {
    auto anna = arrive("anna", "Lobby"), bert = arrive("bert", "Lobby"), carl = arrive("carl", "Lobby"),
         dora = arrive("dora", "Lobby");
    peer *a = anna.get(), *b = bert.get(), *c = carl.get(), *d = dora.get();
    a->send(txt(".nr Salon"));
    b->send(txt(".g Salon"));
    drain({a, b, c, d});
    vorta::room* salon = Manager.get_room("Salon");
    const auto both = [a, b](peer* p, const std::string& line, const vorta::message& m) {
        return step{p, line, each({a, b}, {m})};
    };
    std::vector<step> script;
    for (const toggle& s : toggles) {
        const auto answer = [&s](int k) { return t::types(s.on + k); };
        script.insert(script.end(), {ask(b, s.set, msg(answer(1))), ask(a, s.reset_alias, msg(answer(5))),
                                     both(a, s.set_alias, msg(s.on, a)), ask(a, s.set, msg(answer(2))),
                                     ask(b, s.reset, msg(answer(4))), both(a, s.reset, msg(answer(3), a))});
    }
    const std::string words = "wort wort wort wort wort wort wort wort wort wort wort wort wort wort wort wort";
    const std::string eighty(80, 'x');
    script.insert(script.end(),
                  {ask(b, ".ss Neues Thema", msg(t::action_set_subject_failed_noright)),
                   ask(a, ".ss", msg(t::action_set_subject_empty_failed_isset)),
                   both(a, ".ss " + words + " ende", msg(t::action_set_subject, a, words + " ...")),
                   both(a, ".setsubject " + eighty, msg(t::action_set_subject, a, eighty)),
                   both(a, ".ss <b>fett</b> & so", msg(t::action_set_subject, a, "&lt;b&gt;fett&lt;/b&gt; &amp; so")),
                   both(a, ".ss", msg(t::action_set_subject_empty, a)),
                   ask(b, ".sr Visitor", msg(t::room_set_rank_failed_noright)),
                   ask(a, ".sr", msg(t::room_set_rank_empty_failed_isset)),
                   ask(a, ".sr Kaiser", msg(t::room_set_rank_failed_unknown, "Kaiser")),
                   ask(a, ".sr chef", msg(t::room_set_rank_failed_noright)),  // above anna's own level
                   both(a, ".setrank visitor", msg(t::room_set_rank, a, "Visitor")),
                   both(a, ".sr", msg(t::room_set_rank_empty, a)),
                   ask(b, ".sc Rot", msg(t::room_set_clan_failed_noright)),
                   ask(a, ".sc", msg(t::room_set_clan_empty_failed_isset)),
                   ask(a, ".setclan Rot", msg(t::room_set_clan_failed_unknown, "Rot")),
                   ask(b, ".ma anna", msg(t::action_make_admin_failed_noright, "anna")),
                   ask(a, ".ma", msg(t::action_make_admin_syntax)),
                   ask(a, ".ma ANNA", msg(t::action_make_admin_syntax)),
                   ask(a, ".ma carl", msg(t::action_make_admin_failed_nouser, "carl")),
                   both(a, ".makeadmin bert", msg(t::action_make_admin, a, b)),
                   ask(a, ".ma bert", msg(t::action_make_admin_failed_isset, b)),
                   ask(b, ".ma anna", msg(t::action_make_admin_failed_owner, a)),
                   both(b, ".lock", msg(t::room_lock, b)),
                   ask(c, ".go Salon", msg(t::room_go_failed_locked, salon)),
                   both(b, ".ss Admins d&uuml;rfen das", msg(t::action_set_subject, b, "Admins d&amp;uuml;rfen das")),
                   ask(b, ".uma anna", msg(t::action_unmake_admin_failed_noright)),
                   ask(a, ".uma", msg(t::action_unmake_admin_syntax)),
                   ask(a, ".uma zorro", msg(t::action_unmake_admin_failed_nouser, "zorro")),
                   ask(a, ".uma carl", msg(t::action_unmake_admin_failed_isset, c)),
                   both(a, ".unmakeadmin bert", msg(t::action_unmake_admin, a, b)),
                   ask(b, ".o", msg(t::room_open_failed_noright)),
                   both(a, ".o", msg(t::room_open, a)),
                   // The password goes to the owner alone, cut to 15 characters, and is
                   // kept as typed: the room password line brings it unescaped.
                   ask(b, ".sp geheim", msg(t::room_set_password_failed_noright)),
                   ask(a, ".sp", msg(t::room_set_password_empty_failed_isset)),
                   ask(a, ".sp tmp", msg(t::room_set_password, "tmp")),
                   ask(a, ".sp", msg(t::room_set_password_empty)),
                   ask(a, ".setpassword geheim&sicher12345", msg(t::room_set_password, "geheim&amp;sicher12")),
                   {c, ".go Salon", {{c, {"RPW \"Salon\"", msg(t::room_pw_please, salon)}}}}});
    play({a, b, c}, script);
    c->send("RPW \"Salon\" \"geheim&amp;sicher12\"");
    EXPECT_EQ(c->lines(), (lines_t{"COL \"000000\"", c->shown(msg(t::room_go_failed_password, salon))}));
    c->send("RPW \"Salon\" \"geheim&sicher12\"");
    EXPECT_EQ(c->lines(), (lines_t{"COL \"000000\"", list("NRM", {"Salon", "anna", "bert", "carl"}),
                                   c->shown(msg(t::room_change, salon))}));
    for (peer* p : {a, b}) EXPECT_EQ(p->lines(), (lines_t{list("ADD", {"carl"}), p->shown(msg(t::room_hello, c, p))}));
    d->lines();
    const std::vector<peer*> members{a, b, c};
    play({a, b, c, d},
         {ask(a, ".sp", msg(t::room_set_password_empty)),
          // In the dark a line shows no speaker, and the history keeps none.
          {a, ".loff", each(members, {msg(t::room_lightoff, a)})},
          {c, "dunkel", each(members, {msg(t::action_say_blind, c, "dunkel")})},
          {c, ".me schleicht", each(members, {msg(t::action_say_blind, c, "schleicht")})},
          ask(b, ".history", msg(t::msg_history_failed_empty)),
          {a, ".lon", each(members, {msg(t::room_lighton, a)})},
          {c, "hell", each(members, {msg(t::action_say, c, "hell")})},
          ask(b, ".hs", msg(t::msg_history, "carl: hell")),
          {d, ".g Salon", moved(d, salon, members, {}, std::nullopt)},
          // A mark taken back counts no more.
          ask(b, ".m", msg(t::action_mark_syntax)),
          ask(b, ".mark dora", msg(t::action_mark, d)),
          ask(b, ".um", msg(t::action_unmark_syntax)),
          ask(b, ".um zorro", msg(t::action_unmark_failed_nouser, "zorro")),
          ask(b, ".unmark dora", msg(t::action_unmark, d)),
          ask(b, ".um dora", msg(t::action_unmark_failed_isset, d))});
}

// A room "Wahl" of anna's making with the form given and members bert, clara
// and max (a boss: immune, may kick everybody); otto waits in the Lobby.
struct cast {
    explicit cast(const std::string& form) {
        by_name["anna"] = arrive("anna", "Garten");
        by_name["anna"]->send(txt(".nr Wahl " + form));
        by_name["anna"]->lines();
        place = Manager.get_room("Wahl");
        for (const char* nickname : {"bert", "clara"}) by_name[nickname] = arrive(nickname, "Wahl");
        by_name["max"] = arrive("max", "Wahl", "boss");
        by_name["otto"] = arrive("otto", "Lobby");
        drain(scene());
    }
    std::vector<peer*> scene() const {
        std::vector<peer*> all;
        for (const auto& [nickname, p] : by_name) all.push_back(p.get());
        return all;
    }
    peer* operator[](const std::string& nickname) const {
        return by_name.count(nickname) ? by_name.at(nickname).get() : nullptr;
    }
    // What those in the room of `target` see when `by` throws him out.
    seen_t thrown_out(peer* by, const std::string& target) const {
        seen_t seen;
        vorta::room* there = (*this)[target]->session()->get_room();
        for (peer* p : scene())
            if (p->session()->get_room() == there)
                seen.push_back({p, {msg(t::msg_is_kicked_admin, by, target),
                                    p == (*this)[target] ? "EXT" : del(target)}});
        return seen;
    }
    std::map<std::string, std::unique_ptr<peer>> by_name;
    vorta::room* place = nullptr;
};

using room_rules = commands;

// Two members weigh 12 with the boss; a vote needs at least three members.
TEST_F(room_rules, a_permanent_room_of_two_votes_nobody_out) {
    auto max = arrive("max", "Garten", "boss"), bert = arrive("bert", "Garten");
    drain({max.get(), bert.get()});
    ASSERT_EQ(Manager.get_room("Garten")->get_weight(), 12);
    play({max.get(), bert.get()}, {ask(max.get(), ".m bert", msg(t::action_mark, bert.get()))});
    EXPECT_EQ(bert->session()->get_votes(), 8);
    auto clara = arrive("clara", "Garten");
    drain({max.get(), bert.get()});
    const std::string seen = clara->shown(msg(t::msg_is_kicked_decision, bert.get()));
    clara->send(txt(".m bert"));
    EXPECT_EQ(clara->lines(), (lines_t{seen, del("bert")}));
    EXPECT_TRUE(bert->closed());
}

// A mark, a kick: the answer to the caller, or everybody in the target's
// room sees him thrown out (the kicked without "EXT": the connection ends).
TEST_F(room_rules, marks_follow_the_form_of_government_and_kicks_rank_and_room_rights) {
    enum outcome { marked, mark_refused, no_user, thrown_out, kicked, kick_refused };
    const struct {
        const char *form, *caller, *line, *target;
        outcome result;
    } rows[] = {
        {"dm", "bert", ".m", "clara", marked},         {"dm", "bert", ".m", "max", mark_refused},
        {"dm", "bert", ".m", "otto", no_user},         {"dm", "bert", ".m", "zorro", no_user},
        {"dc", "bert", ".m", "clara", mark_refused},   {"dc", "anna", ".m", "clara", thrown_out},
        {"dc", "anna", ".m", "max", mark_refused},     {"an", "bert", ".m", "clara", thrown_out},
        {"an", "bert", ".m", "max", mark_refused},     {"anarchy", "clara", ".m", "anna", thrown_out},
        {"dm", "bert", ".kick", "anna", kick_refused},  // an admin cannot kick the owner
        {"dm", "anna", ".kick", "bert", kicked},        // the owner kicks an admin
        {"dm", "bert", ".kick", "clara", kicked},       // an admin kicks a member
        {"dm", "clara", ".kick", "bert", kick_refused}, // a member kicks nobody
        {"dm", "anna", ".kick", "max", kick_refused},   // immune against the owner
        {"dm", "anna", ".kick", "otto", no_user},       // room rights end at the door
        {"dm", "anna", ".kick", "zorro", no_user},
        {"dm", "max", ".kick", "anna", kicked},  // may kick all of his level and below
        {"dm", "max", ".kick", "otto", kicked},  // in any room
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.form) + " " + r.caller + " " + r.line + " " + r.target);
        cast people(r.form);
        people["anna"]->send(txt(".ma bert"));
        drain(people.scene());
        peer *caller = people[r.caller], *target = people[r.target];
        const bool mark = r.line[1] == 'm';
        step s{caller, std::string(r.line) + " " + r.target, {}};
        if (r.result == no_user)
            s = ask(caller, s.line, msg(mark ? t::action_mark_failed_nouser : t::action_kick_failed_nouser, r.target));
        else if (r.result == marked || r.result == mark_refused || r.result == kick_refused)
            s = ask(caller, s.line,
                    msg(r.result == marked ? t::action_mark
                                           : mark ? t::action_mark_failed_noright : t::action_kick_failed_noright,
                        target));
        else
            s.seen = people.thrown_out(caller, r.target);
        if (r.result == kicked) {
            for (auto& [p, lines] : s.seen)
                if (p == target) lines.pop_back();
                else if (p == caller) lines.front() = msg(t::action_kick, target);
            if (caller->session()->get_room() != target->session()->get_room())
                s.seen.push_back({caller, {msg(t::action_kick, target)}});
        }
        play(people.scene(), {s});
        EXPECT_EQ(target != nullptr && target->closed(), r.result == kicked || r.result == thrown_out);
    }
}

// Moderation ids count from 1 again after a pause while older lines wait; a
// line whose speaker left the chat is gone, even after moderation ended.
TEST_F(room_rules, held_lines_are_released_by_id_and_forgotten_with_their_speaker) {
    cast people("dm");
    people.by_name.erase("max");
    peer *anna = people["anna"], *bert = people["bert"], *clara = people["clara"];
    anna->send(txt(".mod"));
    drain(people.scene());
    const auto held = [](peer* speaker, const char* text, int id) {
        return msg(t::action_say_moderated, speaker, text, id);
    };
    play(people.scene(), {{bert, "eins", each({bert, anna}, {held(bert, "eins", 1)})}});
    anna->send(txt(".umod"));
    anna->send(txt(".mod"));
    clara->send(txt("zwei"));
    drain(people.scene());
    const auto released = [&](peer* speaker, const char* text) {
        return step{anna, ".ok 1", each({anna, bert, clara}, {msg(t::action_say, speaker, text)})};
    };
    play(people.scene(),
         {released(bert, "eins"), released(clara, "zwei"), ask(anna, ".ok 1", msg(t::action_moderate_failed_no_msg, 1)),
          {clara, "drei", each({clara, anna}, {held(clara, "drei", 2)})},
          ask(clara, ".ok 2", msg(t::action_moderate_failed_no_right))});
    anna->send(txt(".umod"));
    people.by_name.erase("clara");
    drain(people.scene());
    play(people.scene(), {ask(anna, ".ok 2", msg(t::action_moderate_failed_no_msg, 2))});
}

// vera is a visitor (level 10, no rights), walt a warden (20: bans up to
// 30 minutes, locks up to 2 hours), boris a boss (60: every right).
TEST_F(room_rules, bans_locks_and_kills_follow_the_callers_rank) {
    arrive("bea", "Lobby", "boss");  // both are remembered for late bans
    arrive("otto", "Lobby");
    auto vera = arrive("vera", "Garten"), walt = arrive("walt", "Garten", "warden"),
         boris = arrive("boris", "Garten", "boss"), clara = arrive("clara", "Garten");
    peer *v = vera.get(), *w = walt.get(), *b = boris.get(), *c = clara.get();
    const std::vector<peer*> scene{v, w, b, c};
    drain(scene);
    play(scene, {ask(v, ".ban clara", msg(t::action_ban_failed_noright, "clara")),
                 ask(v, ".ban", msg(t::action_ban_failed_noright, "")),  // the right comes first
                 ask(w, ".ban WALT 5", msg(t::action_ban_syntax)),
                 ask(w, ".ban boris", msg(t::action_ban_failed_noright, "boris")),  // higher
                 {w, ".ban clara", {{w, {msg(t::action_ban, c, 15)}}, {c, {"BAN \"15\""}}}},
                 {w, ".ban clara 45", {{w, {msg(t::action_ban, c, 30)}}, {c, {"BAN \"30\""}}}},
                 ask(w, ".banex otto 100", msg(t::action_banex, "otto", 30)),
                 ask(w, ".banex bea", msg(t::action_ban_failed_noright, "bea")),
                 ask(w, ".banex zorro", msg(t::action_banex_failed_nouser, "zorro")),
                 ask(v, ".ln", msg(t::action_lock_nickname_syntax)),
                 ask(v, ".ln clara", msg(t::action_lock_nickname_failed_noright, "clara")),
                 ask(w, ".ln boris", msg(t::action_lock_nickname_failed_noright, "boris")),
                 ask(w, ".ln clara", msg(t::action_lock_nickname, c, 1)),
                 ask(w, ".locknickname clara 5", msg(t::action_lock_nickname, c, 2)),
                 ask(v, ".kill clara", msg(t::action_kill_failed_noright)),
                 {b, ".ban walt 45", {{b, {msg(t::action_ban, w, 45)}}, {w, {"BAN \"45\""}}}},
                 // A kill ends the session at once; the room sees a farewell.
                 {b, ".kill walt", {{b, {msg(t::action_kill, w), msg(t::action_quit, w), del("walt")}},
                                    {w, {msg(t::action_is_killed)}},
                                    {v, {msg(t::action_quit, w), del("walt")}},
                                    {c, {msg(t::action_quit, w), del("walt")}}}}});
    EXPECT_TRUE(w->closed());
}

// The writer's filters: the repetition checks of texts and links with their
// certain bounds, link anchoring, the replacement table and censored words,
// and the order in which said and whispered texts pass them.
class filters_test : public commands {
protected:
    // The program-wide rules and table go back to empty.
    void TearDown() override {
        Security.reload(dir.write("empty.conf", ""));
        Replace.reload(dir.file("empty.conf"));
        configure("");
    }

    // A session alone in a room of its own making, so that the room's flood
    // check stays out of the way for a while.
    static std::unique_ptr<peer> alone(const std::string& nickname, const std::string& room) {
        auto p = arrive(nickname, "Garten");
        p->send(txt(".nr " + room));
        p->lines();
        return p;
    }

    // The number of the line of `texts` that made the spam filter throw the
    // writer out, 0 for none.
    static std::size_t caught(peer& p, const std::vector<std::string>& texts) {
        for (std::size_t k = 0; k < texts.size(); ++k) {
            // Rendered first: a writer thrown out is gone with his session.
            const std::string spammer = p.shown(msg(t::msg_spammer, &p));
            p.send(txt(texts[k]));
            const lines_t lines = p.lines();
            if (std::find(lines.begin(), lines.end(), "EXT") == lines.end()) continue;
            EXPECT_EQ(lines, (lines_t{spammer, "EXT"}));
            EXPECT_TRUE(p.closed());
            return k + 1;
        }
        return 0;
    }

    temp_dir dir;
};

// A fourth equal text passes and a sixth never does; a third equal link
// passes and a sixth never does, however it is written, also when the text
// keeps its addresses.
TEST_F(filters_test, repeated_texts_and_links_throw_the_writer_out_within_their_bounds) {
    const std::vector<std::string> links = {"www.y.de",         "a www.x.de",   "b http://x.de",
                                            "c url:www.x.de",   "d x.de http://www.x.de",
                                            "e url:http://x.de", "f www.x.de"};
    for (int round = 0; round < 12; ++round) {
        const std::string n = std::to_string(round);
        auto p = alone("wdh" + n, "Echo" + n);
        std::size_t k = caught(*p, std::vector<std::string>(6, "hallo"));
        EXPECT_TRUE(k == 5 || k == 6) << k;
        p = alone("lnk" + n, "Link" + n);
        k = caught(*p, links);
        EXPECT_TRUE(k >= 5 && k <= 7) << k;
    }
    configure("all.links = 0\n");
    auto p = alone("roh", "Roh");
    play({p.get()}, {ask(p.get(), "schau www.x.de", msg(t::action_say, p.get(), "schau www.x.de"))});
    EXPECT_GE(caught(*p, {"2 http://x.de", "3 url:x.de", "4 http://www.x.de",
                          "5 http://www.x.de", "6 http://www.x.de"}), 3u);
}

TEST_F(filters_test, texts_are_escaped_anchored_replaced_and_censored_words_throw_out) {
    Replace.reload(dir.write("replace.conf", "gn8 = gute Nacht\nx\\.de = y.de\n"));
    configure("all.search = www.suche.de/?q=\n");
    auto wisp = alone("wisp", "Wisper");
    peer* p = wisp.get();
    const std::string anchored = R"(gute Nacht <a href="http://www.y.de" target="_blank">www.y.de</a> <a )"
                                 R"(href="http://www.suche.de/?q=gute Nacht" target="_blank">gute Nacht (Suche)</a>)";
    play({p}, {ask(p, "gn8 www.x.de srch:gn8", msg(t::action_say, p, anchored)),
               {p, ".w wisp gn8 www.x.de srch:gn8",
                {{p, {msg(t::action_whisper, p, p, anchored), msg(t::action_got_whisper, p, p, anchored)}}}},
               ask(p, "<b> www.x.de\"</b>",
                   msg(t::action_say, p, R"(&lt;b&gt; <a href="http://www.y.de&quot;&lt;/b&gt;" target="_blank">)"
                                         R"(www.y.de&quot;&lt;/b&gt;</a>)"))});
    // Each command that is censored, and whether the room's switch matters.
    Security.reload(dir.write("security.conf", "c doof exit\nc schlecht\n"));
    const std::pair<const char*, bool> paths[] = {
        {"du bist DOOF", true}, {".me ist doof", true}, {".w zeuge doof", false},
        {".nr Doofraum", false}, {".ss doofes Thema", false}};
    for (const auto& [text, room_switch_counts] : paths) {
        for (bool censoring : {true, false}) {
            SCOPED_TRACE(std::string(text) + (censoring ? " censored" : " uncensored"));
            auto writer = alone("zens", "Zensur");
            auto witness = arrive("zeuge", "Zensur");
            if (!censoring) writer->send(txt(".coff"));
            drain({writer.get(), witness.get()});
            const std::string is_censored = writer->shown(msg(t::msg_is_censored));
            const std::string censored = witness->shown(msg(t::msg_censored, writer.get()));
            writer->send(txt(text));
            const lines_t lines = writer->lines();
            if (!censoring && room_switch_counts) {
                EXPECT_TRUE(std::find(lines.begin(), lines.end(), "EXT") == lines.end());
                continue;
            }
            EXPECT_EQ(lines, (lines_t{is_censored, "EXT"}));
            EXPECT_TRUE(writer->closed());
            EXPECT_EQ(witness->lines(), (lines_t{censored, del("zens")}));
        }
    }
}

}  // namespace
