#include "util/c_util.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using vorta::get_param;
using pairs = std::vector<std::pair<std::string, std::string>>;

// The applet protocol's delimiters: blank plus double quote, then a quote.
std::string proto_param(const std::string& line, int index) {
    return get_param(line, index, " \"", '"');
}

TEST(c_util_compare, nocase_equal_folds_ascii_letters_only) {
    EXPECT_TRUE(vorta::nocase_equal("Yes", "yES"));
    EXPECT_TRUE(vorta::nocase_equal("", ""));
    EXPECT_FALSE(vorta::nocase_equal("yes", "yes "));
    EXPECT_FALSE(vorta::nocase_equal("yes ", "yes"));
    EXPECT_FALSE(vorta::nocase_equal("a-b", "a_b"));
    EXPECT_FALSE(vorta::nocase_equal("[", "{"));  // no folding outside letters
}

TEST(c_util_numbers, string_to_long_follows_strtol) {
    EXPECT_EQ(vorta::string_to_long("42", 10), 42);
    EXPECT_EQ(vorta::string_to_long("  \t-17xyz", 10), -17);
    EXPECT_EQ(vorta::string_to_long("+8", 10), 8);
    EXPECT_EQ(vorta::string_to_long("abc", 10), 0);
    EXPECT_EQ(vorta::string_to_long("", 10), 0);
    EXPECT_EQ(vorta::string_to_long("fF", 16), 255);
    EXPECT_EQ(vorta::string_to_long("e4", 16), 228);
    EXPECT_EQ(vorta::string_to_long("zz", 16), 0);
    EXPECT_EQ(vorta::string_to_long("12", 8), 10);
}

TEST(c_util_numbers, long_to_string_is_plain_decimal) {
    EXPECT_EQ(vorta::long_to_string(0), "0");
    EXPECT_EQ(vorta::long_to_string(1612), "1612");
    EXPECT_EQ(vorta::long_to_string(-5), "-5");
    EXPECT_EQ(vorta::long_to_string(LONG_MIN), std::to_string(LONG_MIN));
}

TEST(c_util_trim, removes_only_blanks_and_tabs) {
    EXPECT_EQ(vorta::ltrim(" \t a b \t"), "a b \t");
    EXPECT_EQ(vorta::rtrim(" \t a b \t"), " \t a b");
    EXPECT_EQ(vorta::trim(" \t a b \t"), "a b");
    EXPECT_EQ(vorta::trim("key = value\r"), "key = value\r");
    EXPECT_EQ(vorta::trim("\nx\n"), "\nx\n");
    EXPECT_EQ(vorta::trim(" \t \t"), "");
    EXPECT_EQ(vorta::trim(""), "");
}

TEST(c_util_get_param, counts_parameters_by_opening_delimiter) {
    const std::string line = "NICK \"a\" \"b\\\"c\"";
    EXPECT_EQ(proto_param(line, 0), "a");
    EXPECT_EQ(proto_param(line, 1), "b\"c");
    EXPECT_EQ(proto_param(line, 2), "");
    EXPECT_EQ(proto_param("X \"one\" junk \"two\"", 1), "two");
    EXPECT_EQ(proto_param("X \"\" \"x\"", 0), "");
    EXPECT_EQ(proto_param("X \"\" \"x\"", 1), "x");
    EXPECT_EQ(proto_param("no params", 0), "");
}

TEST(c_util_get_param, backslash_runs_decide_whether_the_quote_closes) {
    // Two backslashes: an escaped backslash, and the quote closes.
    EXPECT_EQ(proto_param("X \"ab\\\\\" \"next\"", 0), "ab\\");
    EXPECT_EQ(proto_param("X \"ab\\\\\" \"next\"", 1), "next");
    // Three backslashes: the quote is escaped.
    EXPECT_EQ(proto_param("X \"a\\\\\\\"b\"", 0), "a\\\"b");
    EXPECT_EQ(get_param("[\\]x]", 0, "[", ']'), "]x");
    // A backslash that belongs to the opening delimiter does not escape.
    EXPECT_EQ(get_param("[\\]x]", 0, "[\\", ']'), "");
    EXPECT_EQ(get_param("<\\\\]x]", 0, "<\\", ']'), "]x");
}

TEST(c_util_get_param, unterminated_parameter_empties_every_query_reaching_it) {
    const std::string line = "X \"a\" \"b\" \"c";
    EXPECT_EQ(proto_param(line, 0), "a");
    EXPECT_EQ(proto_param(line, 1), "b");
    EXPECT_EQ(proto_param(line, 2), "");
    EXPECT_EQ(proto_param(line, 3), "");
    EXPECT_EQ(proto_param("X \"a\\\"", 0), "");
}

TEST(c_util_get_params, splits_words_and_rests) {
    const std::string line = "  alpha   beta  gamma   delta ";
    EXPECT_EQ(vorta::get_params(line, 3), (pairs{{"alpha", "beta  gamma   delta"},
                                                  {"beta", "gamma   delta"},
                                                  {"gamma", "delta"}}));
    EXPECT_EQ(vorta::get_params(line, 5), (pairs{{"alpha", "beta  gamma   delta"},
                                                  {"beta", "gamma   delta"},
                                                  {"gamma", "delta"},
                                                  {"delta", ""},
                                                  {"", ""}}));
}

TEST(c_util_get_params, always_yields_count_pairs) {
    EXPECT_EQ(vorta::get_params("", 2), (pairs{{"", ""}, {"", ""}}));
    EXPECT_EQ(vorta::get_params(" \t ", 1), (pairs{{"", ""}}));
    EXPECT_TRUE(vorta::get_params("a b", 0).empty());
    EXPECT_TRUE(vorta::get_params("a b", -1).empty());
}

TEST(c_util_get_params, only_blanks_separate_words) {
    EXPECT_EQ(vorta::get_params("a\tb c", 2), (pairs{{"a\tb", "c"}, {"c", ""}}));
    // The rest loses leading tabs as well as blanks.
    EXPECT_EQ(vorta::get_params("go \tlobby", 2), (pairs{{"go", "lobby"}, {"\tlobby", ""}}));
}

TEST(c_util_backslash, escape_quotes_and_backslashes) {
    EXPECT_EQ(vorta::c_escape("a\"b'c\\d"), "a\\\"b\\'c\\\\d");
    EXPECT_EQ(vorta::c_escape("plain"), "plain");
}

TEST(c_util_backslash, unescape_removes_escaping_backslashes) {
    EXPECT_EQ(vorta::c_unescape("a\\\\b"), "a\\b");
    EXPECT_EQ(vorta::c_unescape("\\\"q\\\""), "\"q\"");
    EXPECT_EQ(vorta::c_unescape("\\n"), "n");
    EXPECT_EQ(vorta::c_unescape("end\\"), "end");
    EXPECT_EQ(vorta::c_unescape("\\\\\\"), "\\");
}

TEST(c_util_backslash, unescape_inverts_escape) {
    for (const std::string s : {"", "\\", "\\\\'\"", "a\\\"b'", "x\\"})
        EXPECT_EQ(vorta::c_unescape(vorta::c_escape(s)), s) << s;
}

TEST(c_util_percent, escape_keeps_ascii_alnum_only) {
    EXPECT_EQ(vorta::hex_escape(std::string(" /\xe4")), "+%2f%e4");
    EXPECT_EQ(vorta::hex_escape("aZ09"), "aZ09");
    EXPECT_EQ(vorta::hex_escape(std::string("\0-\xff", 3)), "%00%2d%ff");
}

TEST(c_util_percent, unescape_decodes_once) {
    EXPECT_EQ(vorta::hex_unescape("a+b%41%zz"), std::string("a bA\0", 5));
    EXPECT_EQ(vorta::hex_unescape("%2B"), "+");
    EXPECT_EQ(vorta::hex_unescape("%252B"), "%2B");
    EXPECT_EQ(vorta::hex_unescape("%e4%C4"), "\xe4\xc4");
    EXPECT_EQ(vorta::hex_unescape("%4"), "\x04");
    EXPECT_EQ(vorta::hex_unescape("x%"), std::string("x\0", 2));
    EXPECT_EQ(vorta::hex_unescape("%4g!"), "\x04!");
}

TEST(c_util_percent, round_trip) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    EXPECT_EQ(vorta::hex_unescape(vorta::hex_escape(all)), all);
}

TEST(c_util_html, escape_applies_four_entities) {
    EXPECT_EQ(vorta::html_escape("<a href=\"x\">&'</a>"),
              "&lt;a href=&quot;x&quot;&gt;&amp;'&lt;/a&gt;");
    EXPECT_EQ(vorta::html_escape("&amp;"), "&amp;amp;");
}

TEST(c_util_html, unescape_undoes_four_entities_once) {
    EXPECT_EQ(vorta::html_unescape("&lt;b&gt; &quot;x&quot; &amp;"), "<b> \"x\" &");
    EXPECT_EQ(vorta::html_unescape("&amp;lt;"), "&lt;");
    EXPECT_EQ(vorta::html_unescape("&#60; &auml; &amp &"), "&#60; &auml; &amp &");
    EXPECT_EQ(vorta::html_unescape("&&lt;"), "&<");
}

TEST(c_util_html, unescape_inverts_escape) {
    const std::string s = "\"<&amp;>\" & '";
    EXPECT_EQ(vorta::html_unescape(vorta::html_escape(s)), s);
}

TEST(c_util_random, stays_in_range) {
    vorta::set_random_seed();
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(vorta::random(0, 1), 0);
        const int r = vorta::random(-3, 7);
        EXPECT_GE(r, -3);
        EXPECT_LE(r, 3);
    }
}

TEST(c_util_random, is_first_plus_rand_modulo_count) {
    std::srand(1234);
    const int expected = 10 + std::rand() % 6;
    std::srand(1234);
    EXPECT_EQ(vorta::random(10, 6), expected);
    // An empty range must not divide by zero.
    EXPECT_EQ(vorta::random(10, 0), 10);
    EXPECT_EQ(vorta::random(10, -2), 10);
}

}  // namespace
