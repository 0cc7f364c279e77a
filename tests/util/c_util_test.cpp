// The string helpers, each as rows of input and result, and the charset
// conversion between the server's ISO-8859-15 and a browser's UTF-8.
#include "util/c_util.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "util/charset.hpp"
#include "util/growing_text.hpp"

namespace {

using namespace vorta;
using pairs = std::vector<std::pair<std::string, std::string>>;
using std::string, std::string_view;

TEST(c_util, text_functions_comparison_and_random_picks) {
    const std::vector<std::tuple<string (*)(string), string, string>> rows = {
        {ltrim, " \t a b \t", "a b \t"}, {rtrim, " \t a b \t", " \t a b"}, {trim, " \t \t", ""},
        {trim, "\r x\n", "\r x\n"}, {c_escape, "a\"b'c\\d", "a\\\"b\\'c\\\\d"},
        {c_unescape, "a\\\\b\\n", "a\\bn"}, {c_unescape, "end\\", "end"},
        {c_unescape, "\\\\\\", "\\"}, {hex_escape, " /\xe4", "+%2f%e4"},
        {hex_escape, "azAZ09@[`{/:", "azAZ09%40%5b%60%7b%2f%3a"},
        {hex_escape, string("\0-\xff", 3), "%00%2d%ff"}, {hex_unescape, "%4g!", "\x04!"},
        {hex_unescape, "a+b%41%zz", string("a bA\0", 5)}, {hex_unescape, "%2B", "+"},
        {hex_unescape, "%252B", "%2B"}, {hex_unescape, "%e4%C4", "\xe4\xc4"},
        {hex_unescape, "%4", "\x04"}, {hex_unescape, "x%", string("x\0", 2)},
        {html_escape, "<a href=\"x\">&'</a>", "&lt;a href=&quot;x&quot;&gt;&amp;'&lt;/a&gt;"},
        {html_escape, "&amp;", "&amp;amp;"}, {html_unescape, "&amp;lt;", "&lt;"},
        {html_unescape, "&lt;b&gt; &quot;x&quot; &amp;", "<b> \"x\" &"},
        {html_unescape, "&#60; &auml; &amp &", "&#60; &auml; &amp &"},
        {html_unescape, "&&lt;", "&<"}};
    for (const auto& [function, in, out] : rows) EXPECT_EQ(function(in), out) << in;
    EXPECT_TRUE(nocase_equal("Yes", "yES") && nocase_equal("", ""));
    for (const auto& [a, b] : pairs{{"yes", "yes "}, {"yes ", "yes"}, {"a-b", "a_b"}, {"[", "{"}})
        EXPECT_FALSE(nocase_equal(a, b)) << a;  // no folding outside letters
    // Over many picks every value of a range shows and no other; an empty range must not
    // divide by zero.
    std::set<int> seen;
    for (int i = 0; i < 200; ++i) seen.insert(random(-3, 7));
    EXPECT_EQ(seen, (std::set<int>{-3, -2, -1, 0, 1, 2, 3}));
    EXPECT_EQ(random(10, 0), 10);
    EXPECT_EQ(random(10, -2), 10);
}

TEST(c_util, parameters) {
    const std::vector<std::tuple<string, int, string>> quoted = {
        {"NICK \"a\" \"b\\\"c\"", 0, "a"}, {"NICK \"a\" \"b\\\"c\"", 1, "b\"c"},
        {"NICK \"a\" \"b\\\"c\"", 2, ""}, {"no params", 0, ""},
        {"X \"one\" junk \"two\"", 1, "two"}, {"X \"\" \"x\"", 0, ""}, {"X \"\" \"x\"", 1, "x"},
        // Two backslashes escape a backslash and the quote closes; three escape the quote.
        {"X \"ab\\\\\" \"next\"", 0, "ab\\"}, {"X \"ab\\\\\" \"next\"", 1, "next"},
        {"X \"a\\\\\\\"b\"", 0, "a\\\"b"},
        // An unterminated parameter empties every query that reaches it.
        {"X \"a\" \"b\" \"c", 1, "b"}, {"X \"a\" \"b\" \"c", 2, ""}, {"X \"a\" \"b\" \"c", 3, ""},
        {"X \"a\\\"", 0, ""}};
    for (const auto& [line, index, value] : quoted)  // the applet protocol's delimiters
        EXPECT_EQ(get_param(line, index, " \"", '"'), value) << line;
    EXPECT_EQ(get_param("[\\]x]", 0, "[", ']'), "]x");
    // A backslash that belongs to the opening delimiter does not escape.
    EXPECT_EQ(get_param("[\\]x]", 0, "[\\", ']'), "");
    EXPECT_EQ(get_param("<\\\\]x]", 0, "<\\", ']'), "]x");

    const string line = "  one   two  three   four ";
    const pairs words{{"one", "two  three   four"}, {"two", "three   four"}, {"three", "four"}};
    EXPECT_EQ(get_params(line, 3), words);
    EXPECT_EQ(get_params(line, 5), (pairs{words[0], words[1], words[2], {"four", ""}, {"", ""}}));
    EXPECT_EQ(get_params(" \t ", 2), (pairs{{"", ""}, {"", ""}}));
    EXPECT_TRUE(get_params("a b", 0).empty() && get_params("a b", -1).empty());
    // Only blanks separate words; the rest loses leading tabs as well.
    EXPECT_EQ(get_params("a\tb c", 2), (pairs{{"a\tb", "c"}, {"c", ""}}));
    EXPECT_EQ(get_params("go \tlobby", 2), (pairs{{"go", "lobby"}, {"\tlobby", ""}}));
}

// A view handed out keeps its bytes while the text grows past every reserved size.
TEST(growing_text, views_survive_growth) {
    growing_text text;
    std::vector<std::pair<std::shared_ptr<const void>, std::string_view>> views;
    string expected;
    for (int i = 0; i < 300; ++i) {
        text.append(", nick" + std::to_string(i));
        expected += ", nick" + std::to_string(i);
        views.emplace_back(text.owner(), text.view());
    }
    for (const auto& [owner, view] : views)
        EXPECT_EQ(view, string_view(expected).substr(0, view.size()));
}

TEST(charset, conversion_both_ways) {
    // The eight places where ISO-8859-15 differs from ISO-8859-1, a text, the coding's limits.
    const pairs differences = {{"\xA4", "\u20AC"}, {"\xA6", "\u0160"}, {"\xA8", "\u0161"},
                               {"\xB4", "\u017D"}, {"\xB8", "\u017E"}, {"\xBC", "\u0152"},
                               {"\xBD", "\u0153"}, {"\xBE", "\u0178"},
                               {"Gr\xFC\xDF" "e \xA4", "Gr\u00FC\u00DFe \u20AC"},
                               {"\x01\x7F\x80\xFF", "\x01\x7F\u0080\u00FF"}};
    for (const auto& [latin9, utf8] : differences) {
        EXPECT_EQ(latin9_to_utf8(latin9), utf8);
        EXPECT_EQ(utf8_to_latin9(utf8), latin9);
    }
    // What the set lacks, and each byte of a malformed sequence, become "?".
    const pairs lacking = {{"\u00A4", "?"}, {"\u00BD und \u00BC", "? und ?"}, {"\u4E2D", "?"},
                           {"a\U0001F600b", "a?b"}, {"\u00E9t\u00E9", "\xE9t\xE9"}, {"\xC3", "?"},
                           {"a\xC3" "b", "a?b"}, {"\xC0\xAF", "??"}, {"\xED\xA0\x80", "???"},
                           {"\xF4\x90\x80\x80", "????"}, {"\x80", "?"}, {"\xFF", "?"}};
    for (const auto& [utf8, latin9] : lacking) EXPECT_EQ(utf8_to_latin9(utf8), latin9) << utf8;
}

}  // namespace
