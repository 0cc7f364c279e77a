// Sessions of the program-wide manager on socket pairs: log-in state, the
// stale nickname, rooms made and left, and the flood check.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "net/scheduler.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "support/chat_world.hpp"
#include "util/c_util.hpp"

namespace {

using namespace std::chrono_literals;
using test_support::del;
using test_support::lines_t;
using test_support::peer;
using vorta::message;
using t = vorta::mode_standard;

// The log-in line of `nickname` without a room or client details.
std::string lgn(const std::string& nickname) {
    return "LGN \"vcp2\" \"" + nickname + "\" \"\" \"\" \"\" \"\" \"\" \"\" \"\"";
}

class session_test : public ::testing::Test {
protected:
    void SetUp() override { test_support::chat_world(); }
};

TEST_F(session_test, guests_count_down_and_carry_challenges_and_ids_in_range) {
    std::vector<std::unique_ptr<peer>> peers;
    for (int i = 0; i < 100; ++i) peers.push_back(std::make_unique<peer>());
    for (int i = 1; i < 100; ++i) EXPECT_EQ(peers[i]->session()->get_id(), peers[i - 1]->session()->get_id() - 1);
    for (auto& p : peers) {
        p->send(lgn("someone"));
        const lines_t answer = p->lines();
        ASSERT_EQ(answer.size(), 1u);
        const long challenge = std::stol(vorta::get_param(answer[0], 3, " \"", '"'));
        const long random_id = std::stol(vorta::get_param(answer[0], 2, " \"", '"'));
        EXPECT_TRUE(challenge >= 1 && challenge <= 16382) << challenge;
        EXPECT_TRUE(random_id >= 8096 && random_id <= 65534) << random_id;
    }
}

TEST_F(session_test, a_session_that_missed_two_ticks_gives_way_to_a_new_log_in) {
    peer witness;
    witness.login("zeuge", "Garten");
    auto stale = std::make_unique<peer>();
    stale->login("clara", "Garten");
    const std::string notice = witness.shown(message(t::msg_disconnected, stale->session()));
    Scheduler.set_interval(1);
    test_support::pump(2600ms);  // two ticks without a heartbeat from clara
    Scheduler.set_interval(12);
    witness.lines();
    peer fresh;
    fresh.login("CLARA", "Garten");
    EXPECT_EQ(fresh.session()->get_room(), Manager.get_room("Garten"));
    const lines_t old = stale->lines();
    EXPECT_TRUE(!old.empty() && old.back() == "EXT" && stale->closed());
    const lines_t seen = witness.lines();
    for (const std::string& line : {notice, del("clara"), std::string("ADD \"CLARA\"")})
        EXPECT_NE(std::find(seen.begin(), seen.end(), line), seen.end()) << line;
}

TEST_F(session_test, only_users_in_a_room_are_found_by_nickname) {
    peer waiting, inside, twin;
    waiting.send(lgn("dora"));
    inside.login("emil");
    twin.send(lgn("Dora"));
    waiting.lines();
    twin.lines();
    EXPECT_EQ(Manager.get_user("DORA"), nullptr);
    EXPECT_EQ(Manager.get_user("Emil"), inside.session());
    EXPECT_EQ(Manager.find_second_nickname(twin.session()), waiting.session());
    // The check follows a change of nickname and a log-out.
    auto late = std::make_unique<peer>();
    late->login("EMIL");
    EXPECT_FALSE(late->in_room());
    late->send("NCK \"Fritzi\"");
    late->lines();
    EXPECT_TRUE(late->in_room());
    EXPECT_EQ(Manager.find_second_nickname(inside.session()), nullptr);
    {
        peer copy;
        copy.login("fRITZI");
        EXPECT_FALSE(copy.in_room());
    }
    late.reset();
    test_support::pump();
    peer heir;
    heir.login("fritzi");
    EXPECT_TRUE(heir.in_room());
}

TEST_F(session_test, created_rooms_are_cut_cleaned_and_vanish_with_their_last_member) {
    peer owner;
    owner.login("fritz");
    const struct {
        std::string asked, form, name;
        vorta::room::form government;
    } cases[] = {
        {"Garten am See und mehr", "DC", "Garten_am_See_und", vorta::room::form::dictatorship},
        {"Abcdefghijklmnopqrstuvwxyz", "an", "Abcdefghijklmnopqrst", vorta::room::form::anarchy},
        {"a&amp;b", "monarchy", "a_b", vorta::room::form::democracy},
    };
    for (const auto& c : cases) {
        std::string name = c.asked, form = c.form;
        vorta::room* made = Manager.create(name, form, owner.session());
        ASSERT_NE(made, nullptr) << c.asked;
        EXPECT_EQ(name + " " + made->get_name(), c.name + " " + c.name);
        EXPECT_EQ(made->get_form(), c.government);
        EXPECT_EQ(made->get_members().front(), owner.session());
        EXPECT_EQ(owner.session()->get_status(), "Owner");
        // The owner stands in two rooms until he leaves the new one: only one
        // user-made room at a time here.
        made->leave(owner.session(), vorta::room::change::go);
        test_support::pump();
        EXPECT_EQ(Manager.get_room(c.name), nullptr);
    }
    std::string taken = "lobby", form;
    owner.lines();
    EXPECT_EQ(Manager.create(taken, form, owner.session()), nullptr);
    EXPECT_EQ(owner.lines(), lines_t{owner.shown(message(t::room_new_failed_doesexist, Manager.get_room("Lobby")))});
}

// The k-th line in a row is spam when k-1 exceeds both 9 minus the members
// and a number drawn from 3 and 4.
TEST_F(session_test, flood_check_follows_the_number_of_members) {
    std::vector<std::unique_ptr<peer>> members;
    for (int i = 0; i < 6; ++i) members.push_back(test_support::arrive("floh" + std::to_string(i), "Garten"));
    vorta::room* garten = Manager.get_room("Garten");
    auto line_of = [&](int member) { return message(t::action_say, members[member]->session(), std::string("x")); };
    for (int round = 0; round < 20; ++round) {
        garten->spammer(line_of(1));
        int caught = 0;
        for (int k = 1; k <= 6 && caught == 0; ++k)
            if (garten->spammer(line_of(0))) caught = k;
        EXPECT_TRUE(caught == 5 || caught == 6) << caught;
    }
    // Two members: the ninth line in a row, whatever is drawn.
    members.resize(2);
    test_support::pump();
    ASSERT_EQ(garten->get_members().size(), 2u);
    garten->spammer(line_of(1));
    for (int k = 1; k <= 8; ++k) EXPECT_FALSE(garten->spammer(line_of(0))) << k;
    EXPECT_TRUE(garten->spammer(line_of(0)));
}

}  // namespace
