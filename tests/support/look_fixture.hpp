#pragma once
// The sessions that the tests of the looks render for: alice and bob in the
// Lobby, logged in through the applet, each with a stored profile. Alice has
// a colour, clan, photo, banner, homepage and skin; bob has a colour and sees
// pictures. Both are visitors until a test loads another rank.
#include <gtest/gtest.h>

#include <memory>
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

inline std::string div(const std::string& css_class, const std::string& inner) {
    return "<div class=\"" + css_class + "\">" + inner + "</div>";
}

class look_test : public ::testing::Test {
protected:
    using t = vorta::mode_standard;

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

    static vorta::profile bob_profile(const std::string& rank) {
        vorta::profile b = profile_of(2, rank);
        b.set_colour("00FF00");
        b.set_show_images(true);
        return b;
    }

    // A message of `type` with every field set: from alice to bob, the text
    // "carol", the number 5 and the Lobby.
    vorta::message full(int type) const {
        vorta::message m(static_cast<t::types>(type), alice(), bob(), "carol");
        m.room = lobby_;
        m.number = 5;
        return m;
    }

    // The plain fragment of the full message of `type`, with `extra` after
    // the first `at`, or in front when `at` is empty.
    std::string plain_with(int type, const std::string& at, const std::string& extra) const {
        std::string fragment = t("Plain").get(full(type));
        return fragment.insert(at.empty() ? 0 : fragment.find(at) + at.size(), extra);
    }

    using fragments = std::vector<std::pair<t::types, std::string>>;

    // The full message of each type of `cases` (each listed once) renders in
    // `look` as the fragment beside it, that of every other type as in plain.
    void expect_fragments(const t& look, const fragments& cases) const {
        std::vector<std::string> expected(t::types_end);
        const t plain("Plain");
        for (int type = 0; type < t::types_end; ++type) expected[type] = plain.get(full(type));
        for (const auto& [type, fragment] : cases) {
            EXPECT_NE(expected[type], fragment) << "type " << type << " listed twice or as plain";
            expected[type] = fragment;
        }
        for (int type = 0; type < t::types_end; ++type)
            EXPECT_EQ(look.get(full(type)), expected[type]) << "type " << type;
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
