#include "chat/database.hpp"

#include <gtest/gtest.h>

namespace vorta {
namespace {

TEST(database, cache_mode_from_text_ignores_case) {
    EXPECT_EQ(database::cache_from_text("yes"), database::yes);
    EXPECT_EQ(database::cache_from_text("YES"), database::yes);
    EXPECT_EQ(database::cache_from_text("Pass"), database::pass);
    EXPECT_EQ(database::cache_from_text("pASS"), database::pass);
    EXPECT_EQ(database::cache_from_text("other"), database::no);
    EXPECT_EQ(database::cache_from_text(""), database::no);
    EXPECT_EQ(database::cache_from_text("yes "), database::no);
    EXPECT_EQ(database::cache_from_text("no"), database::no);
}

// Nothing is stored: what was just written is not found again.
TEST(database, stores_nothing) {
    database::init();
    database db;
    db.start("host=db", database::yes, true);

    const ip address("10.1.2.3", "192.168.1.5");
    EXPECT_FALSE(db.ban_ip(address, 15));
    EXPECT_FALSE(db.banned_ip(address));
    EXPECT_FALSE(db.lock_nickname("Alice", 60));
    EXPECT_FALSE(db.locked_nickname("Alice"));

    profile saved("Alice");
    saved.set_id(42);
    saved.set_clan("knights");
    db.save_profile(saved);
    EXPECT_FALSE(db.nickname_exist("Alice"));
    EXPECT_FALSE(db.clan_exist("knights"));

    db.restart();
    EXPECT_FALSE(db.banned_ip(address));
    db.stop();
}

TEST(database, knows_no_profile_skin_or_room) {
    database db;
    profile p("Alice");
    p.set_rank("admin");
    EXPECT_EQ(db.load_profile(p), "");  // not registered
    EXPECT_EQ(p.get_rank(), "admin");    // and left as it was
    EXPECT_TRUE(db.get_skins().empty());
    EXPECT_EQ(db.new_room("lobby"), 0);
}

}  // namespace
}  // namespace vorta
