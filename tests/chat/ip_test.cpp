#include "chat/ip.hpp"

#include <gtest/gtest.h>

namespace vorta {
namespace {

TEST(ip, every_entry_point_lower_cases_and_leaves_other_bytes) {
    ip assigned;
    assigned.set_extern("ABC-1");
    assigned.set_intern("My.Box");
    EXPECT_EQ(assigned.external + " " + assigned.internal, "abc-1 my.box");
    const ip two("FE80::1A", "LocalHost");
    EXPECT_EQ(two.external + " " + two.internal, "fe80::1a localhost");
    EXPECT_EQ(ip("Host.EXAMPLE\xC4").external, "host.example\xC4");
}

// Equal when both parts are; ordered by the concatenation of the parts alone.
TEST(ip, compares_both_parts_and_orders_by_their_concatenation) {
    EXPECT_EQ(ip("10.0.0.1"), ip("10.0.0.1", ""));
    EXPECT_EQ(ip("A", "Inner"), ip("a", "INNER"));
    EXPECT_NE(ip("10.0.0.1", "x"), ip("10.0.0.1", "y"));
    EXPECT_NE(ip("10.0.0.1", "x"), ip("10.0.0.2", "x"));
    EXPECT_LT(ip("10.0.0.1", "z"), ip("10.0.0.2", "a"));
    EXPECT_LT(ip("a"), ip("B"));
    EXPECT_FALSE(ip("B") < ip("a"));
    EXPECT_FALSE(ip("a") < ip("A"));
    const ip split("ab", "c"), joined("a", "bc");
    EXPECT_FALSE(split < joined || joined < split || split == joined);
}

}  // namespace
}  // namespace vorta
