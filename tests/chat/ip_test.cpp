#include "chat/ip.hpp"

#include <gtest/gtest.h>

namespace vorta {
namespace {

// Every entry point lower-cases and leaves other bytes; equal when both parts
// are, ordered by the concatenation of the parts alone.
TEST(ip, parts_are_lower_cased_compared_together_and_ordered_by_their_concatenation) {
    ip assigned;
    assigned.set_extern("ABC-1");
    assigned.set_intern("My.Box");
    EXPECT_EQ(assigned.external + " " + assigned.internal, "abc-1 my.box");
    EXPECT_EQ(ip("FE80::1A", "LocalHost").internal, "localhost");
    EXPECT_EQ(ip("Host.EXAMPLE\xC4").external, "host.example\xC4");
    EXPECT_EQ(ip("10.0.0.1"), ip("10.0.0.1", ""));
    EXPECT_EQ(ip("A", "Inner"), ip("a", "INNER"));
    EXPECT_NE(ip("10.0.0.1", "x"), ip("10.0.0.1", "y"));
    EXPECT_NE(ip("10.0.0.1", "x"), ip("10.0.0.2", "x"));
    EXPECT_LT(ip("10.0.0.1", "z"), ip("10.0.0.2", "a"));
    EXPECT_LT(ip("a"), ip("B"));
    EXPECT_FALSE(ip("B") < ip("a") || ip("a") < ip("A"));
    const ip split("ab", "c"), joined("a", "bc");
    EXPECT_FALSE(split < joined || joined < split || split == joined);
}

}  // namespace
}  // namespace vorta
