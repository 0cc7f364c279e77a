// The conversion between the server's ISO-8859-15 and a browser's UTF-8.
#include "util/charset.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using vorta::latin9_to_utf8;
using vorta::utf8_to_latin9;

// The eight places where ISO-8859-15 differs from ISO-8859-1, each way.
TEST(charset, the_eight_differences_convert_both_ways) {
    const struct {
        const char* latin9;
        const char* utf8;
    } pairs[] = {
        {"\xA4", "\u20AC"}, {"\xA6", "\u0160"}, {"\xA8", "\u0161"}, {"\xB4", "\u017D"},
        {"\xB8", "\u017E"}, {"\xBC", "\u0152"}, {"\xBD", "\u0153"}, {"\xBE", "\u0178"},
    };
    for (const auto& p : pairs) {
        EXPECT_EQ(latin9_to_utf8(p.latin9), p.utf8) << p.utf8;
        EXPECT_EQ(utf8_to_latin9(p.utf8), p.latin9) << p.utf8;
    }
}

TEST(charset, every_byte_survives_the_round_trip) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(utf8_to_latin9(latin9_to_utf8(all)), all);
    EXPECT_EQ(latin9_to_utf8("Gr\xFC\xDF" "e \xE4\xF6\xFC \xA4"), "Gr\u00FC\u00DFe \u00E4\u00F6\u00FC \u20AC");
    EXPECT_EQ(latin9_to_utf8("plain ASCII"), "plain ASCII");
}

TEST(charset, characters_the_set_lacks_become_question_marks) {
    const struct {
        const char* utf8;
        const char* latin9;
    } cases[] = {
        {"\u00A4", "?"},              // the currency sign, replaced by the euro sign
        {"\u00BD und \u00BC", "? und ?"},  // the fractions, replaced by ligatures
        {"\u4E2D", "?"},              // three bytes, outside the set
        {"a\U0001F600b", "a?b"},      // four bytes
        {"\u2013", "?"},              // the en dash
        {"\u00E9t\u00E9", "\xE9t\xE9"},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8_to_latin9(c.utf8), c.latin9) << c.utf8;
}

// The codec refuses such text before it arrives here; a stray one still
// costs no more than a question mark per byte.
TEST(charset, malformed_sequences_become_one_question_mark_per_byte) {
    const struct {
        std::string utf8;
        std::string latin9;
    } cases[] = {
        {"\xC3", "?"},                 // cut short
        {"a\xC3" "b", "a?b"},          // lead byte without its continuation
        {"\xC0\xAF", "??"},            // overlong slash
        {"\xED\xA0\x80", "???"},       // surrogate
        {"\xF4\x90\x80\x80", "????"},  // beyond U+10FFFF
        {"\x80", "?"},                 // continuation without a lead
        {"\xFF", "?"},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8_to_latin9(c.utf8), c.latin9);
}

}  // namespace
