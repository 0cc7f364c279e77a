#include "chat/profile.hpp"

#include <gtest/gtest.h>

#include <ctime>

namespace vorta {
namespace {

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

}  // namespace
}  // namespace vorta
