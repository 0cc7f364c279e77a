// Wrong passwords per address and nickname: the third starts a minute's wait
// for that pair only, a right one forgets the count.
#include "security/password_throttle.hpp"

#include <gtest/gtest.h>

namespace {

TEST(password_throttle, three_wrong_passwords_make_that_address_wait_a_minute_for_that_nickname) {
    vorta::password_throttle table;
    enum action { wrong, right, ask };
    const struct {
        action what;
        const char *address, *nickname;
        std::time_t at;
        bool expected;  // wrong: the wait starts; ask: must wait
    } steps[] = {
        {wrong, "10.0.0.1", "anna", 0, false}, {wrong, "10.0.0.1", "ANNA", 1, false},
        {right, "10.0.0.1", "anna", 2, false},  // forgets the two
        {wrong, "10.0.0.1", "anna", 3, false}, {wrong, "10.0.0.1", "anna", 4, false},
        {ask, "10.0.0.1", "anna", 4, false}, {wrong, "10.0.0.1", "Anna", 5, true},
        {ask, "10.0.0.1", "anna", 6, true},
        {wrong, "10.0.0.1", "anna", 7, false},  // logged once, and the wait is not prolonged
        {ask, "10.0.0.2", "anna", 8, false}, {ask, "10.0.0.1", "berta", 8, false},
        {ask, "10.0.0.1", "anna", 64, true}, {ask, "10.0.0.1", "anna", 65, false},
        {wrong, "10.0.0.1", "anna", 66, false},  // three new tries
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(std::to_string(s.at) + " " + s.address + " " + s.nickname);
        if (s.what == right) table.succeeded(s.address, s.nickname);
        const bool answer = s.what == wrong ? table.failed(s.address, s.nickname, s.at)
                                            : table.waiting(s.address, s.nickname, s.at);
        EXPECT_EQ(answer, s.expected);
    }
}

}  // namespace
