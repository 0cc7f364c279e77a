#include "chat/profile.hpp"

#include <gtest/gtest.h>

#include <ctime>

#include "chat/user_ex.hpp"

namespace vorta {
namespace {

TEST(profile, starts_empty_with_the_login_time_set_to_now) {
    const std::time_t before = std::time(nullptr);
    const profile p("Alice");
    const std::time_t after = std::time(nullptr);

    EXPECT_EQ(p.get_nickname(), "Alice");
    EXPECT_GE(p.get_login_time(), before);
    EXPECT_LE(p.get_login_time(), after);
    EXPECT_EQ(p.get_id(), 0);
    EXPECT_EQ(p.get_rank(), "");
    EXPECT_EQ(p.get_mode(), "");
    EXPECT_FALSE(p.get_show_images());
    EXPECT_TRUE(p.get_blocked().empty());

    EXPECT_EQ(profile().get_nickname(), "");
    EXPECT_NE(profile().get_login_time(), 0);
}

TEST(profile, online_time_counts_whole_minutes) {
    profile p;
    EXPECT_EQ(p.online_time(), 0);

    const std::time_t now = std::time(nullptr);
    p.set_login_time(now - 60);
    EXPECT_EQ(p.online_time(), 1);
    // Not rounded to the nearest minute; 118 s stays below two minutes even
    // if the clock ticks while the test runs.
    p.set_login_time(now - 118);
    EXPECT_EQ(p.online_time(), 1);
    p.set_login_time(now - 3600);
    EXPECT_EQ(p.online_time(), 60);

    p.reset();
    EXPECT_EQ(p.online_time(), 0);
}

TEST(profile, online_time_without_login_time) {
    profile p("Bob");
    p.set_login_time(0);
    EXPECT_EQ(p.online_time(), -1);
}

TEST(user_ex, keeps_what_it_was_given) {
    const user_ex gone("Carol", ip("10.0.0.9", "Box.Local"), 250);
    EXPECT_EQ(gone.get_nickname(), "Carol");
    EXPECT_EQ(gone.get_ip(), ip("10.0.0.9", "box.local"));
    EXPECT_EQ(gone.get_rank(), 250);
}

}  // namespace
}  // namespace vorta
