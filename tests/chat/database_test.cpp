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

}  // namespace
}  // namespace vorta
