// The rules by which members are thrown out and held lines released, driven
// on sessions over socket pairs: votes by form of government, kicks by rank
// and room rights, moderation ids, and the bans, locks and kills that the
// caller's rank allows. Where the fragment depends on the receiver, what he
// receives is compared with the rendering of the message he should have got,
// in his own look.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "chat/manager.hpp"
#include "chat/profile.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "support/chat_world.hpp"
#include "util/c_util.hpp"

namespace {

using test_support::peer;
using vorta::message;
using vorta::mode_standard;
using lines_t = std::vector<std::string>;

class room_rules : public ::testing::Test {
protected:
    void SetUp() override { test_support::chat_world(); }
};

// A session of the given rank logged in to `room`.
std::unique_ptr<peer> arrive(const std::string& nickname, const std::string& room,
                             const std::string& rank = "visitor") {
    auto p = std::make_unique<peer>();
    if (rank != "visitor") {
        vorta::profile ranked(nickname);
        ranked.set_id(p->session()->get_id());  // a guest still
        ranked.set_rank(rank);
        ranked.set_colour("000000");
        p->load(ranked);
    }
    p->login(nickname, room);
    return p;
}

// The line that brings `m` to `viewer`, who has no browser stream.
std::string shown(const peer& viewer, message m) {
    return "TXT \"" + vorta::c_escape(viewer.session()->get_mode()->get(m)) + "\"";
}

std::string del(const std::string& nickname) { return "DEL \"" + nickname + "\""; }

std::string txt(const std::string& html) { return "TXT \"" + vorta::c_escape(html) + "\""; }

// A room of anna's making with the form given and members bert, clara and
// max (immune, may kick everybody); otto waits in the Lobby.
struct cast {
    explicit cast(const std::string& form, const std::string& name = "Wahl") {
        anna = arrive("anna", "Garten");
        anna->send("TXT \".nr " + name + " " + form + "\"");
        anna->lines();
        place = Manager.get_room(name);
        bert = arrive("bert", name);
        clara = arrive("clara", name);
        max = arrive("max", name, "boss");
        otto = arrive("otto", "Lobby");
        for (peer* p : everybody()) p->lines();
    }
    std::vector<peer*> everybody() const { return {anna.get(), bert.get(), clara.get(), max.get(), otto.get()}; }
    peer* by_name(const std::string& nickname) const {
        for (peer* p : everybody())
            if (p->session()->get_nickname() == nickname) return p;
        return nullptr;
    }
    // Compares what everybody received; the sessions thrown out are gone by then.
    void expect(std::map<peer*, lines_t>& expected) const {
        const char* names[] = {"anna", "bert", "clara", "max", "otto"};
        int i = 0;
        for (peer* p : everybody()) EXPECT_EQ(p->lines(), expected[p]) << names[i++];
    }
    std::unique_ptr<peer> anna, bert, clara, max, otto;
    vorta::room* place = nullptr;
};

TEST_F(room_rules, a_democracy_throws_out_at_half_of_its_weight) {
    auto anna = arrive("anna", "Garten");
    anna->send("TXT \".nr Wahl\"");
    anna->lines();
    auto bert = arrive("bert", "Wahl");
    auto clara = arrive("clara", "Wahl");
    auto dora = arrive("dora", "Wahl");
    vorta::room* wahl = Manager.get_room("Wahl");
    ASSERT_NE(wahl, nullptr);
    ASSERT_EQ(wahl->get_weight(), 16);  // four visitors; the threshold is 8
    for (peer* p : {anna.get(), bert.get(), clara.get(), dora.get()}) p->lines();
    vorta::user* target = dora->session();

    const std::string voted = shown(*bert, message(mode_standard::action_mark, target));
    wahl->mark("dora", bert->session());
    EXPECT_EQ(bert->lines(), lines_t{voted});
    EXPECT_EQ(target->get_votes(), 4);
    EXPECT_TRUE(anna->lines().empty());
    EXPECT_TRUE(dora->lines().empty());

    const std::string again = shown(*bert, message(mode_standard::action_mark_failed_isset, target));
    wahl->mark("DORA", bert->session());
    EXPECT_EQ(bert->lines(), lines_t{again});
    EXPECT_EQ(target->get_votes(), 4);

    // The second marker reaches the threshold: the room decides.
    const message decision(mode_standard::msg_is_kicked_decision, target);
    const lines_t member_sees{shown(*anna, decision), del("dora")};
    const lines_t dora_sees{shown(*dora, decision), "EXT"};
    wahl->mark("dora", clara->session());
    for (peer* p : {anna.get(), bert.get(), clara.get()}) EXPECT_EQ(p->lines(), member_sees);
    EXPECT_EQ(dora->lines(), dora_sees);
    EXPECT_TRUE(dora->closed());
    EXPECT_EQ(Manager.get_user("dora"), nullptr);
}

TEST_F(room_rules, danger_begins_above_a_third_of_the_weight) {
    auto anna = arrive("anna", "Garten");
    auto bert = arrive("bert", "Garten");
    auto clara = arrive("clara", "Garten");
    auto max = arrive("max", "Garten", "boss");
    vorta::room* garten = Manager.get_room("Garten");
    ASSERT_EQ(garten->get_weight(), 20);  // threshold 10
    EXPECT_FALSE(garten->danger(6));
    EXPECT_TRUE(garten->danger(7));
    // A user's danger is his tally measured against his own room.
    garten->mark("bert", max->session());
    EXPECT_EQ(bert->session()->get_votes(), 8);
    EXPECT_TRUE(bert->session()->danger());
    EXPECT_FALSE(anna->session()->danger());
}

TEST_F(room_rules, a_permanent_room_of_two_votes_nobody_out) {
    auto max = arrive("max", "Garten", "boss");
    auto bert = arrive("bert", "Garten");
    vorta::room* garten = Manager.get_room("Garten");
    ASSERT_EQ(garten->get_weight(), 12);  // threshold 6
    bert->lines();
    max->lines();
    const std::string voted = shown(*max, message(mode_standard::action_mark, bert->session()));
    garten->mark("bert", max->session());
    EXPECT_EQ(max->lines(), lines_t{voted});
    EXPECT_EQ(bert->session()->get_votes(), 8);
    EXPECT_TRUE(bert->lines().empty());

    // With a third member the next mark decides.
    auto clara = arrive("clara", "Garten");
    const message decision(mode_standard::msg_is_kicked_decision, bert->session());
    const std::string seen = shown(*clara, decision);
    garten->mark("bert", clara->session());
    EXPECT_EQ(clara->lines(), (lines_t{seen, del("bert")}));
    EXPECT_TRUE(bert->closed());
}

TEST_F(room_rules, each_form_of_government_decides_marks_its_own_way) {
    enum outcome { voted, thrown_out, no_right, no_user };
    struct row {
        const char* form;
        const char* marker;
        const char* target;
        outcome result;
    } rows[] = {
        {"dm", "bert", "clara", voted},     {"dm", "bert", "max", no_right},   {"dm", "bert", "otto", no_user},
        {"dm", "bert", "zorro", no_user},   {"dc", "bert", "clara", no_right}, {"dc", "anna", "clara", thrown_out},
        {"dc", "anna", "max", no_right},    {"an", "bert", "clara", thrown_out}, {"an", "bert", "max", no_right},
        {"anarchy", "clara", "anna", thrown_out},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.form) + " " + r.marker + " marks " + r.target);
        cast people(r.form);
        ASSERT_NE(people.place, nullptr);
        peer* marker = people.by_name(r.marker);
        peer* target = people.by_name(r.target);
        std::map<peer*, lines_t> expected;
        switch (r.result) {
            case voted:
                expected[marker] = {shown(*marker, message(mode_standard::action_mark, target->session()))};
                break;
            case no_right:
                expected[marker] = {shown(*marker, message(mode_standard::action_mark_failed_noright, target->session()))};
                break;
            case no_user:
                expected[marker] = {shown(*marker, message(mode_standard::action_mark_failed_nouser, std::string(r.target)))};
                break;
            case thrown_out: {
                const message notice(mode_standard::msg_is_kicked_admin, marker->session(), std::string(r.target));
                for (peer* p : people.everybody()) {
                    if (p == people.otto.get()) continue;
                    expected[p] = p == target ? lines_t{shown(*p, notice), "EXT"}
                                              : lines_t{shown(*p, notice), del(r.target)};
                }
                break;
            }
        }
        people.place->mark(r.target, marker->session());
        people.expect(expected);
        EXPECT_EQ(Manager.get_user(r.target) == nullptr, r.result == thrown_out || target == nullptr);
    }
}

TEST_F(room_rules, kicks_follow_rank_and_room_rights) {
    enum outcome { kicked, no_right, no_user };
    struct row {
        const char* kicker;
        const char* target;
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
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.kicker) + " kicks " + r.target);
        cast people("dm");
        people.anna->send("TXT \".ma bert\"");
        for (peer* p : people.everybody()) p->lines();
        peer* kicker = people.by_name(r.kicker);
        peer* target = people.by_name(r.target);
        std::map<peer*, lines_t> expected;
        switch (r.result) {
            case no_right:
                expected[kicker] = {shown(*kicker, message(mode_standard::action_kick_failed_noright, target->session()))};
                break;
            case no_user:
                expected[kicker] = {shown(*kicker, message(mode_standard::action_kick_failed_nouser, std::string(r.target)))};
                break;
            case kicked: {
                vorta::room* there = target->session()->get_room();
                const message notice(mode_standard::msg_is_kicked_admin, kicker->session(), std::string(r.target));
                for (peer* p : people.everybody()) {
                    if (p->session()->get_room() != there || p == kicker) continue;
                    expected[p] = p == target ? lines_t{shown(*p, notice)} : lines_t{shown(*p, notice), del(r.target)};
                }
                expected[kicker] = {shown(*kicker, message(mode_standard::action_kick, target->session()))};
                if (kicker->session()->get_room() == there) expected[kicker].push_back(del(r.target));
                break;
            }
        }
        kicker->session()->get_room()->kick(r.target, kicker->session());
        people.expect(expected);
        EXPECT_EQ(target != nullptr && target->closed(), r.result == kicked);
    }
}

// Moderation ids count from 1 again after a pause while older lines wait; a
// line whose speaker left the chat is gone, even after moderation ended.
TEST_F(room_rules, held_lines_are_released_by_id_and_forgotten_with_their_speaker) {
    auto anna = arrive("anna", "Garten");
    anna->send("TXT \".nr Buehne\"");
    anna->lines();
    auto bert = arrive("bert", "Buehne");
    auto clara = arrive("clara", "Buehne");
    vorta::room* buehne = Manager.get_room("Buehne");
    ASSERT_NE(buehne, nullptr);
    anna->send("TXT \".mod\"");
    for (peer* p : {anna.get(), bert.get(), clara.get()}) p->lines();

    auto held = [](peer& viewer, peer& speaker, const char* text, int id) {
        message m(mode_standard::action_say_moderated, speaker.session(), std::string(text));
        m.number = id;
        m.second_user = viewer.session();
        return shown(viewer, m);
    };
    auto said = [](peer& viewer, peer& speaker, const char* text) {
        message m(mode_standard::action_say, speaker.session(), std::string(text));
        m.second_user = viewer.session();
        return shown(viewer, m);
    };

    bert->send("TXT \"eins\"");
    EXPECT_EQ(bert->lines(), lines_t{held(*bert, *bert, "eins", 1)});
    EXPECT_EQ(anna->lines(), lines_t{held(*anna, *bert, "eins", 1)});
    EXPECT_TRUE(clara->lines().empty());

    anna->send("TXT \".umod\"");
    anna->send("TXT \".mod\"");
    clara->send("TXT \"zwei\"");
    for (peer* p : {anna.get(), bert.get(), clara.get()}) p->lines();

    for (const char* text : {"eins", "zwei"}) {
        peer& speaker = text[0] == 'e' ? *bert : *clara;
        anna->send("TXT \".ok 1\"");
        for (peer* p : {anna.get(), bert.get(), clara.get()}) EXPECT_EQ(p->lines(), lines_t{said(*p, speaker, text)});
    }
    anna->send("TXT \".ok 1\"");
    EXPECT_EQ(anna->lines(), lines_t{shown(*anna, message(mode_standard::action_moderate_failed_no_msg, 1))});

    clara->send("TXT \"drei\"");
    clara->send("TXT \".ok 2\"");
    EXPECT_EQ(clara->lines(), (lines_t{held(*clara, *clara, "drei", 2),
                                       shown(*clara, message(mode_standard::action_moderate_failed_no_right))}));
    anna->send("TXT \".umod\"");
    clara.reset();
    for (peer* p : {anna.get(), bert.get()}) p->lines();
    anna->send("TXT \".ok 2\"");
    EXPECT_EQ(anna->lines(), lines_t{shown(*anna, message(mode_standard::action_moderate_failed_no_msg, 2))});
    EXPECT_TRUE(bert->lines().empty());
}

// vera is a visitor (level 10, no rights), walt a warden (20: bans up to
// 30 minutes, locks up to 2 hours), boris a boss (60: every right).
TEST_F(room_rules, bans_locks_and_kills_follow_the_callers_rank) {
    auto bea = arrive("bea", "Lobby", "boss");
    auto otto = arrive("otto", "Lobby");
    bea.reset();  // both are remembered for late bans
    otto.reset();
    auto vera = arrive("vera", "Garten");
    auto walt = arrive("walt", "Garten", "warden");
    auto boris = arrive("boris", "Garten", "boss");
    auto clara = arrive("clara", "Garten");
    std::map<std::string, peer*> by_name{{"vera", vera.get()}, {"walt", walt.get()}, {"boris", boris.get()}};
    auto banned = [](const std::string& who, const std::string& minutes) {
        return txt("<div class=\"actionBan\">" + who + " wird f&uuml;r " + minutes + "</div>");
    };
    const std::string ban_syntax = txt(
        "<div class=\"actionBanSyntax\">Syntax zum Bannen eines Users:<br>.ban &lt;Nickname&gt; [ &lt;Zeit in "
        "Minuten&gt; ]</div>");
    auto ban_refused = [](const std::string& who) {
        return txt("<div class=\"actionBanFailedNoRight\">Du besitzt keine Berechtigung, " + who + " zu bannen.</div>");
    };
    auto locked = [](const std::string& hours) {
        return txt("<div class=\"actionLockNickname\">Der Nickname clara wird f&uuml;r " + hours + "</div>");
    };
    auto lock_refused = [](const std::string& who) {
        return txt("<div class=\"actionLockNicknameFailedNoRight\">Du besitzt keine Berechtigung, den Nickname " + who +
                   " zu sperren.</div>");
    };
    struct row {
        const char* caller;
        const char* line;
        std::string answer;
        std::string to_clara;  // the applet line clara gets, if any
    } rows[] = {
        {"vera", ".ban clara", ban_refused("clara"), ""},
        {"vera", ".ban", ban_refused(""), ""},  // the right is checked first
        {"walt", ".ban WALT 5", ban_syntax, ""},
        {"walt", ".ban boris", ban_refused("boris"), ""},  // a higher level
        {"walt", ".ban clara", banned("clara", "15 Minuten gebannt."), "BAN \"15\""},
        {"walt", ".ban clara 45", banned("clara", "30 Minuten gebannt."), "BAN \"30\""},
        {"walt", ".banex otto 100", txt("<div class=\"actionBanEx\">otto wird f&uuml;r 30 Minuten gebannt.</div>"), ""},
        {"walt", ".banex bea", ban_refused("bea"), ""},
        {"vera", ".ln",
         txt("<div class=\"actionLockNicknameSyntax\">Syntax zum Sperren eines Nicknames:<br>.locknickname "
             "&lt;Nickname&gt; [ &lt;Zeit in Stunden&gt; ]</div>"),
         ""},
        {"vera", ".ln clara", lock_refused("clara"), ""},
        {"walt", ".ln boris", lock_refused("boris"), ""},
        {"walt", ".ln clara", locked("1 Stunde gesperrt."), ""},
        {"walt", ".locknickname clara 5", locked("2 Stunden gesperrt."), ""},
        {"vera", ".kill clara",
         txt("<div class=\"actionKillFailedNoRight\">Du besitzt keine Berechtigung zum Killen.</div>"), ""},
        {"boris", ".ban walt 45", banned("walt", "45 Minuten gebannt."), ""},
    };
    for (peer* p : {vera.get(), walt.get(), boris.get(), clara.get()}) p->lines();
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.caller) + " " + r.line);
        peer* caller = by_name[r.caller];
        caller->send("TXT \"" + std::string(r.line) + "\"");
        EXPECT_EQ(caller->lines(), lines_t{r.answer});
        EXPECT_EQ(clara->lines(), r.to_clara.empty() ? lines_t{} : lines_t{r.to_clara});
    }
    EXPECT_EQ(walt->lines(), lines_t{"BAN \"45\""});

    // A kill ends the session at once; the room sees a farewell.
    const std::string quit = shown(*vera, message(mode_standard::action_quit, walt->session()));
    boris->send("TXT \".kill walt\"");
    EXPECT_EQ(boris->lines(), (lines_t{txt("<div class=\"actionKill\">walt wurde gekillt.</div>"),
                                       shown(*boris, message(mode_standard::action_quit, walt->session())),
                                       del("walt")}));
    EXPECT_EQ(walt->lines(), lines_t{txt("<iframe width=\"0\" height=\"0\" style=\"visibility:hidden;\" "
                                         "src=\"http://www.example.org/kill.html\"><layer "
                                         "src=\"http://www.example.org/kill.html\"></layer></iframe>")});
    EXPECT_TRUE(walt->closed());
    EXPECT_EQ(vera->lines(), (lines_t{quit, del("walt")}));
}

}  // namespace
