#pragma once
// The sessions that the tests of the looks render for: alice and bob in the
// Lobby, logged in through the applet, each with a stored profile. Alice has
// a colour, clan, photo, banner, homepage and skin; bob has a colour and sees
// pictures. Both are visitors until a test loads another rank.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "chat/manager.hpp"
#include "chat/profile.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "config/configuration.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "render/mode_standard.hpp"
#include "support/chat_world.hpp"

namespace test_support {

inline vorta::profile profile_of(long id, const std::string& rank) {
    vorta::profile record;
    record.set_id(id);
    record.set_rank(rank);
    return record;
}

class look_test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { chat_world(); }

    void SetUp() override {
        saved_ = Config;
        configure("");
        alice_ = std::make_unique<peer>("10.0.0.1", login_details{"alice", "Lobby"});
        bob_ = std::make_unique<peer>("10.0.0.2", login_details{"bob", "Lobby"});
        ASSERT_TRUE(alice_->in_room() && bob_->in_room());
        alice_->load(alice_profile());
        bob_->load(bob_profile("visitor"));
        lobby_ = Manager.get_room("Lobby");
    }

    void TearDown() override {
        alice_.reset();
        bob_.reset();
        Config = saved_;
    }

    static vorta::profile alice_profile() {
        vorta::profile a = profile_of(1, "visitor");
        a.set_colour("FF0000");
        a.set_clan("Rot");
        a.set_photo("www.example.org/alice.jpg");
        a.set_banner("www.example.org/banner.gif");
        a.set_homepage("www.alice.example");
        a.set_skin("Herbst");
        return a;
    }

    // Bob's profile, with the rank `rank`.
    static vorta::profile bob_profile(const std::string& rank) {
        vorta::profile b = profile_of(2, rank);
        b.set_colour("00FF00");
        b.set_show_images(true);
        return b;
    }

    // The test configuration; the lines of `extra` come first, and the first
    // value of a key is the one that counts.
    static void configure(const std::string& extra) { test_support::configure(extra); }

    using fragments = std::vector<std::pair<vorta::message, std::string>>;

    // Each message of `cases` renders in `look` as the fragment beside it;
    // they are of `count` types, each listed once. Every other type renders
    // as in the plain look, for a message that carries every field.
    void expect_fragments(const vorta::mode_standard& look, const fragments& cases, std::size_t count) const {
        std::set<int> covered;
        for (const auto& [m, expected] : cases) {
            EXPECT_TRUE(covered.insert(m.type).second) << "type " << m.type << " listed twice";
            EXPECT_EQ(look.get(m), expected) << "type " << m.type;
        }
        EXPECT_EQ(covered.size(), count);
        const vorta::mode_standard plain("Plain");
        for (int type = 0; type < vorta::mode_standard::types_end; ++type) {
            if (covered.count(type) != 0) continue;
            vorta::message m(static_cast<vorta::mode_standard::types>(type), alice(), bob(), "carol");
            m.room = lobby_;
            m.number = 5;
            EXPECT_EQ(look.get(m), plain.get(m)) << "type " << type;
        }
    }

    vorta::user* alice() const { return alice_->session(); }
    vorta::user* bob() const { return bob_->session(); }

    std::unique_ptr<peer> alice_;
    std::unique_ptr<peer> bob_;
    vorta::room* lobby_ = nullptr;

private:
    vorta::configuration saved_;
};

}  // namespace test_support
