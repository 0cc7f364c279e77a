#include "chat/ip.hpp"

#include <gtest/gtest.h>

#include <set>

namespace vorta {
namespace {

TEST(ip, every_entry_point_lower_cases) {
    const ip one("Host.EXAMPLE.org");
    EXPECT_EQ(one.external, "host.example.org");
    EXPECT_EQ(one.internal, "");

    const ip two("FE80::1A", "LocalHost");
    EXPECT_EQ(two.external, "fe80::1a");
    EXPECT_EQ(two.internal, "localhost");

    ip assigned;
    assigned.set_extern("ABC-1");
    assigned.set_intern("My.Box");
    EXPECT_EQ(assigned.external, "abc-1");
    EXPECT_EQ(assigned.internal, "my.box");

    // Bytes outside ASCII pass through unchanged.
    const ip high("\xC4X");
    EXPECT_EQ(high.external, "\xC4x");
}

TEST(ip, equal_when_both_parts_are_equal) {
    EXPECT_EQ(ip("10.0.0.1"), ip("10.0.0.1"));
    EXPECT_EQ(ip("10.0.0.1"), ip("10.0.0.1", ""));
    EXPECT_EQ(ip("Gate.Example"), ip("gate.example"));
    EXPECT_EQ(ip("A", "Inner"), ip("a", "INNER"));

    EXPECT_NE(ip("10.0.0.1", "192.168.0.2"), ip("10.0.0.1", "192.168.0.3"));
    EXPECT_NE(ip("10.0.0.1", "x"), ip("10.0.0.2", "x"));
    EXPECT_NE(ip("10.0.0.1"), ip("", "10.0.0.1"));
}

TEST(ip, orders_by_the_concatenated_addresses) {
    EXPECT_LT(ip("10.0.0.1", "a"), ip("10.0.0.1", "b"));
    EXPECT_LT(ip("10.0.0.1", "z"), ip("10.0.0.2", "a"));
    EXPECT_FALSE(ip("B") < ip("a"));  // "b" after lower-casing
    EXPECT_LT(ip("a"), ip("B"));

    // Only the concatenation counts: these two are neither less nor equal.
    const ip split("ab", "c");
    const ip joined("a", "bc");
    EXPECT_FALSE(split < joined);
    EXPECT_FALSE(joined < split);
    EXPECT_NE(split, joined);

    std::set<ip> seen{ip("Host"), ip("host"), ip("other")};
    EXPECT_EQ(seen.size(), 2u);
}

}  // namespace
}  // namespace vorta
