// The rules by which members are thrown out and held lines released, on
// sessions over socket pairs: votes by form of government, kicks by rank and
// room rights, moderation ids, and the bans, locks and kills that the
// caller's rank allows.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "support/chat_world.hpp"

namespace {

using namespace test_support;
using t = vorta::mode_standard;

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
        auto it = by_name.find(nickname);
        return it == by_name.end() ? nullptr : it->second.get();
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

class room_rules : public ::testing::Test {
protected:
    void SetUp() override { chat_world(); }
};

// Three visitors and the boss weigh 20: danger begins above a third, 6, and
// a user's danger is his tally against his own room.
TEST_F(room_rules, danger_begins_above_a_third_of_the_weight) {
    cast people("dm");
    ASSERT_EQ(people.place->get_weight(), 20);
    EXPECT_FALSE(people.place->danger(6));
    EXPECT_TRUE(people.place->danger(7));
    people.place->mark("bert", people["max"]->session());
    EXPECT_EQ(people["bert"]->session()->get_votes(), 8);
    EXPECT_TRUE(people["bert"]->session()->danger());
    EXPECT_FALSE(people["clara"]->session()->danger());
}

// Two members weigh 12 with the boss; a vote needs at least three members.
TEST_F(room_rules, a_permanent_room_of_two_votes_nobody_out) {
    auto max = arrive("max", "Garten", "boss");
    auto bert = arrive("bert", "Garten");
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

}  // namespace
