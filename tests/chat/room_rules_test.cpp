// The rules by which members are thrown out and held lines released, driven
// on sessions over socket pairs: votes by form of government, kicks by rank
// and room rights, moderation ids, and the bans, locks and kills that the
// caller's rank allows. What a receiver gets is compared with the rendering,
// in his own look, of the message he should have got.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "support/chat_world.hpp"

namespace {

using test_support::arrive;
using test_support::del;
using test_support::lines_t;
using test_support::peer;
using vorta::message;
using t = vorta::mode_standard;

// A room of anna's making with the form given and members bert, clara and
// max (immune, may kick everybody); otto waits in the Lobby.
struct cast {
    explicit cast(const std::string& form) {
        anna = arrive("anna", "Garten");
        anna->send("TXT \".nr Wahl " + form + "\"");
        anna->lines();
        place = Manager.get_room("Wahl");
        bert = arrive("bert", "Wahl");
        clara = arrive("clara", "Wahl");
        max = arrive("max", "Wahl", "boss");
        otto = arrive("otto", "Lobby");
        for (peer* p : everybody()) p->lines();
    }
    std::vector<peer*> everybody() const {
        std::vector<peer*> present;
        for (peer* p : {anna.get(), bert.get(), clara.get(), max.get(), otto.get()})
            if (p != nullptr) present.push_back(p);
        return present;
    }
    peer* by_name(const std::string& nickname) const {
        for (peer* p : everybody())
            if (p->session()->get_nickname() == nickname) return p;
        return nullptr;
    }
    // Compares what everybody received; the sessions thrown out are gone by then.
    void expect(std::map<peer*, lines_t>& expected) const {
        for (peer* p : everybody()) EXPECT_EQ(p->lines(), expected[p]) << p->session()->get_nickname();
    }
    // What the members of `there` see when `nickname` is thrown out by `notice`.
    void thrown_out(std::map<peer*, lines_t>& expected, vorta::room* there, const message& notice,
                    const std::string& nickname) const {
        for (peer* p : everybody())
            if (p->session()->get_room() == there)
                expected[p] = {p->shown(notice), p->session()->get_nickname() == nickname ? "EXT" : del(nickname)};
    }
    std::unique_ptr<peer> anna, bert, clara, max, otto;
    vorta::room* place = nullptr;
};

class room_rules : public ::testing::Test {
protected:
    void SetUp() override { test_support::chat_world(); }
};

// Three visitors and the boss weigh 20: danger begins above a third, 6, and
// a user's danger is his tally against his own room.
TEST_F(room_rules, danger_begins_above_a_third_of_the_weight) {
    cast people("dm");
    ASSERT_EQ(people.place->get_weight(), 20);
    EXPECT_FALSE(people.place->danger(6));
    EXPECT_TRUE(people.place->danger(7));
    people.place->mark("bert", people.max->session());
    EXPECT_EQ(people.bert->session()->get_votes(), 8);
    EXPECT_TRUE(people.bert->session()->danger());
    EXPECT_FALSE(people.clara->session()->danger());
}

// Two members weigh 12 with the boss; a vote needs at least three members.
TEST_F(room_rules, a_permanent_room_of_two_votes_nobody_out) {
    auto max = arrive("max", "Garten", "boss");
    auto bert = arrive("bert", "Garten");
    vorta::room* garten = Manager.get_room("Garten");
    ASSERT_EQ(garten->get_weight(), 12);
    bert->lines();
    max->lines();
    const std::string voted = max->shown(message(t::action_mark, bert->session()));
    garten->mark("bert", max->session());
    EXPECT_EQ(max->lines(), lines_t{voted});
    EXPECT_EQ(bert->session()->get_votes(), 8);
    EXPECT_TRUE(bert->lines().empty());
    // With a third member the next mark decides.
    auto clara = arrive("clara", "Garten");
    const std::string seen = clara->shown(message(t::msg_is_kicked_decision, bert->session()));
    garten->mark("bert", clara->session());
    EXPECT_EQ(clara->lines(), (lines_t{seen, del("bert")}));
    EXPECT_TRUE(bert->closed());
}

TEST_F(room_rules, each_form_of_government_decides_marks_its_own_way) {
    enum outcome { voted = t::action_mark, no_right = t::action_mark_failed_noright, no_user, thrown_out };
    const struct {
        const char *form, *marker, *target;
        outcome result;
    } rows[] = {
        {"dm", "bert", "clara", voted},        {"dm", "bert", "max", no_right},
        {"dm", "bert", "otto", no_user},       {"dm", "bert", "zorro", no_user},
        {"dc", "bert", "clara", no_right},     {"dc", "anna", "clara", thrown_out},
        {"dc", "anna", "max", no_right},       {"an", "bert", "clara", thrown_out},
        {"an", "bert", "max", no_right},       {"anarchy", "clara", "anna", thrown_out},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.form) + " " + r.marker + " marks " + r.target);
        cast people(r.form);
        peer* marker = people.by_name(r.marker);
        peer* target = people.by_name(r.target);
        std::map<peer*, lines_t> expected;
        if (r.result == no_user)
            expected[marker] = {marker->shown(message(t::action_mark_failed_nouser, std::string(r.target)))};
        else if (r.result == thrown_out)
            people.thrown_out(expected, people.place,
                              message(t::msg_is_kicked_admin, marker->session(), std::string(r.target)), r.target);
        else
            expected[marker] = {marker->shown(message(t::types(r.result), target->session()))};
        people.place->mark(r.target, marker->session());
        people.expect(expected);
        EXPECT_EQ(Manager.get_user(r.target) == nullptr, r.result == thrown_out || target == nullptr);
    }
}

TEST_F(room_rules, kicks_follow_rank_and_room_rights) {
    enum outcome { kicked, no_right, no_user };
    const struct {
        const char *kicker, *target;
        outcome result;
    } rows[] = {
        {"bert", "anna", no_right},   // an admin cannot kick the owner
        {"anna", "bert", kicked},     // the owner kicks an admin
        {"bert", "clara", kicked},    // an admin kicks a member
        {"clara", "bert", no_right},  // a member kicks nobody
        {"anna", "max", no_right},    // immune against the owner
        {"anna", "otto", no_user},    // room rights end at the door
        {"anna", "zorro", no_user},
        {"max", "anna", kicked},      // may kick all of his level and below
        {"max", "otto", kicked},      // in any room
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.kicker) + " kicks " + r.target);
        cast people("dm");
        people.anna->send("TXT \".ma bert\"");
        for (peer* p : people.everybody()) p->lines();
        peer* kicker = people.by_name(r.kicker);
        peer* target = people.by_name(r.target);
        std::map<peer*, lines_t> expected;
        if (r.result == no_right) {
            expected[kicker] = {kicker->shown(message(t::action_kick_failed_noright, target->session()))};
        } else if (r.result == no_user) {
            expected[kicker] = {kicker->shown(message(t::action_kick_failed_nouser, std::string(r.target)))};
        } else {
            vorta::room* there = target->session()->get_room();
            people.thrown_out(expected, there,
                              message(t::msg_is_kicked_admin, kicker->session(), std::string(r.target)), r.target);
            expected[target].pop_back();  // no "EXT" for a kick: the connection just ends
            expected[kicker] = {kicker->shown(message(t::action_kick, target->session()))};
            if (kicker->session()->get_room() == there) expected[kicker].push_back(del(r.target));
        }
        kicker->session()->get_room()->kick(r.target, kicker->session());
        people.expect(expected);
        EXPECT_EQ(target != nullptr && target->closed(), r.result == kicked);
    }
}

// Moderation ids count from 1 again after a pause while older lines wait; a
// line whose speaker left the chat is gone, even after moderation ended.
TEST_F(room_rules, held_lines_are_released_by_id_and_forgotten_with_their_speaker) {
    cast people("dm");
    peer &anna = *people.anna, &bert = *people.bert;
    people.max.reset();
    anna.send("TXT \".mod\"");
    for (peer* p : people.everybody()) p->lines();
    auto shown = [](peer& viewer, t::types type, peer& speaker, const char* text, int id = 0) {
        message m(type, speaker.session(), viewer.session(), text);
        m.number = id;
        return viewer.shown(m);
    };
    bert.send("TXT \"eins\"");
    EXPECT_EQ(bert.lines(), lines_t{shown(bert, t::action_say_moderated, bert, "eins", 1)});
    EXPECT_EQ(anna.lines(), lines_t{shown(anna, t::action_say_moderated, bert, "eins", 1)});
    EXPECT_TRUE(people.clara->lines().empty());

    anna.send("TXT \".umod\"");
    anna.send("TXT \".mod\"");
    people.clara->send("TXT \"zwei\"");
    for (peer* p : people.everybody()) p->lines();
    for (const char* text : {"eins", "zwei"}) {
        peer& speaker = text[0] == 'e' ? bert : *people.clara;
        anna.send("TXT \".ok 1\"");
        for (peer* p : {&anna, &bert, people.clara.get()})
            EXPECT_EQ(p->lines(), lines_t{shown(*p, t::action_say, speaker, text)});
    }
    anna.send("TXT \".ok 1\"");
    EXPECT_EQ(anna.lines(), lines_t{anna.shown(message(t::action_moderate_failed_no_msg, 1))});

    people.clara->send("TXT \"drei\"");
    people.clara->send("TXT \".ok 2\"");
    EXPECT_EQ(people.clara->lines(), (lines_t{shown(*people.clara, t::action_say_moderated, *people.clara, "drei", 2),
                                              people.clara->shown(message(t::action_moderate_failed_no_right))}));
    anna.send("TXT \".umod\"");
    people.clara.reset();
    for (peer* p : {&anna, &bert}) p->lines();
    anna.send("TXT \".ok 2\"");
    EXPECT_EQ(anna.lines(), lines_t{anna.shown(message(t::action_moderate_failed_no_msg, 2))});
    EXPECT_TRUE(bert.lines().empty());
}

// vera is a visitor (level 10, no rights), walt a warden (20: bans up to
// 30 minutes, locks up to 2 hours), boris a boss (60: every right).
TEST_F(room_rules, bans_locks_and_kills_follow_the_callers_rank) {
    arrive("bea", "Lobby", "boss");  // both are remembered for late bans
    arrive("otto", "Lobby");
    auto vera = arrive("vera", "Garten");
    auto walt = arrive("walt", "Garten", "warden");
    auto boris = arrive("boris", "Garten", "boss");
    auto clara = arrive("clara", "Garten");
    std::map<std::string, peer*> by_name{{"vera", vera.get()}, {"walt", walt.get()}, {"boris", boris.get()}};
    auto show = [&](auto... parts) { return vera->shown(message(parts...)); };
    vorta::user* c = clara->session();
    const struct {
        const char *caller, *line;
        std::string answer;
        std::string to_clara;  // the applet line clara gets, if any
    } rows[] = {
        {"vera", ".ban clara", show(t::action_ban_failed_noright, std::string("clara")), ""},
        {"vera", ".ban", show(t::action_ban_failed_noright, std::string()), ""},  // the right comes first
        {"walt", ".ban WALT 5", show(t::action_ban_syntax), ""},
        {"walt", ".ban boris", show(t::action_ban_failed_noright, std::string("boris")), ""},  // higher
        {"walt", ".ban clara", show(t::action_ban, c, 15), "BAN \"15\""},
        {"walt", ".ban clara 45", show(t::action_ban, c, 30), "BAN \"30\""},
        {"walt", ".banex otto 100", show(t::action_banex, std::string("otto"), 30), ""},
        {"walt", ".banex bea", show(t::action_ban_failed_noright, std::string("bea")), ""},
        {"vera", ".ln", show(t::action_lock_nickname_syntax), ""},
        {"vera", ".ln clara", show(t::action_lock_nickname_failed_noright, std::string("clara")), ""},
        {"walt", ".ln boris", show(t::action_lock_nickname_failed_noright, std::string("boris")), ""},
        {"walt", ".ln clara", show(t::action_lock_nickname, c, 1), ""},
        {"walt", ".locknickname clara 5", show(t::action_lock_nickname, c, 2), ""},
        {"vera", ".kill clara", show(t::action_kill_failed_noright), ""},
        {"boris", ".ban walt 45", show(t::action_ban, walt->session(), 45), ""},
    };
    for (peer* p : {vera.get(), walt.get(), boris.get(), clara.get()}) p->lines();
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.caller) + " " + r.line);
        by_name[r.caller]->send("TXT \"" + std::string(r.line) + "\"");
        EXPECT_EQ(by_name[r.caller]->lines(), lines_t{r.answer});
        EXPECT_EQ(clara->lines(), r.to_clara.empty() ? lines_t{} : lines_t{r.to_clara});
    }
    EXPECT_EQ(walt->lines(), lines_t{"BAN \"45\""});

    // A kill ends the session at once; the room sees a farewell.
    const std::string quit = vera->shown(message(t::action_quit, walt->session()));
    const lines_t killed{walt->shown(message(t::action_is_killed))};
    boris->send("TXT \".kill walt\"");
    EXPECT_EQ(boris->lines(), (lines_t{boris->shown(message(t::action_kill, walt->session())),
                                       boris->shown(message(t::action_quit, walt->session())), del("walt")}));
    EXPECT_EQ(walt->lines(), killed);
    EXPECT_TRUE(walt->closed());
    EXPECT_EQ(vera->lines(), (lines_t{quit, del("walt")}));
}

}  // namespace
