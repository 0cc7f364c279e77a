// The replacement table: its file, load and reload, and how the pairs apply.
#include "security/replacement.hpp"

#include <gtest/gtest.h>

#include "net/c_error.hpp"
#include "support/temp_dir.hpp"

namespace {

class replacement_test : public ::testing::Test {
protected:
    // Loads `lines` into `table`; the error text, or empty when it loaded.
    std::string load(const std::string& lines, bool reload = false) {
        const std::string path =
            lines == "missing" ? dir.file("missing.conf") : dir.write("replace.conf", lines);
        try {
            reload ? table.reload(path) : table.load(path);
        } catch (const vorta::c_error& error) {
            return error.what();
        }
        return "";
    }
    std::string replaced(std::string text) const { return table.replace(text), text; }
    std::string syntax_error(int line) const {
        return "in file '" + dir.file("replace.conf") + "' at line " + std::to_string(line) +
               ": unrecognized syntax";
    }
    test_support::temp_dir dir;
    vorta::replacement table;
};

TEST_F(replacement_test, lines_that_are_no_pair_stop_the_load_at_their_number) {
    const std::pair<const char*, int> cases[] = {
        {"no equals sign", 1},
        {"# pairs\n\nok = fine\nbad word = x", 4},  // a blank inside the pattern
        {"= nothing to find", 1},
        {"ok = fine\n  (open = x", 2}, {"a[ = x", 1},  // no regular expression
    };
    for (const auto& [lines, line] : cases) EXPECT_EQ(load(lines), syntax_error(line)) << lines;
    EXPECT_EQ(load("missing"), "can't open replacement file '" + dir.file("missing.conf") + "'");
}

TEST_F(replacement_test, pairs_apply_in_file_order_with_format_syntax) {
    ASSERT_EQ(load("# later pairs see what earlier ones made\n  gn8   =   gute Nacht  \n"
                   "Nacht=Nacht!\n(\\w+)@(\\w+) = $2 bei $1\n&lt;3 = &hearts;\n"
                   "Euro = \\$ \\\\ $0\nzz==y\nweg =\n"),
              "");
    EXPECT_EQ(table.size(), 7u);
    const std::pair<const char*, const char*> cases[] = {
        {"gn8 allerseits, gn8", "gute Nacht! allerseits, gute Nacht!"},
        {"anna@garten", "garten bei anna"},
        {"ich &lt;3 dich", "ich &hearts; dich"}, {"<3", "<3"},  // patterns see the escaped text
        {"10 Euro", "10 $ \\ Euro"}, {"zz", "=y"}, {"wegweg hinweg", " hin"},
        {"GN8", "GN8"}, {"", ""},  // case-sensitive
    };
    for (const auto& [text, result] : cases) EXPECT_EQ(replaced(text), result) << text;
}

TEST_F(replacement_test, a_match_too_complex_or_a_result_beyond_the_bound_leaves_the_text) {
    ASSERT_EQ(load("(a+)+b = X\nc = C\n"), "");
    EXPECT_EQ(replaced(std::string(2000, 'a') + "c"), std::string(2000, 'a') + "C");
    // Each pair puts its format between every two characters.
    std::string pairs;
    for (int pair = 0; pair < 8; ++pair) pairs += "x? = abc\n";
    ASSERT_EQ(load(pairs, true), "");
    std::string expected = "hello", longer;
    for (int pair = 0; pair < 8; ++pair, expected = longer) {
        longer = boost::regex_replace(expected, boost::regex("x?"), "abc");
        if (longer.size() > vorta::pattern::max_result) break;
    }
    EXPECT_EQ(replaced("hello"), expected);
    EXPECT_GT(expected.size(), vorta::pattern::max_result / 8);
}

TEST_F(replacement_test, reload_replaces_the_table_or_keeps_it) {
    ASSERT_EQ(load("a = b\n"), "");
    EXPECT_EQ(load("c = d\nbroken\n"), syntax_error(2));  // a load keeps what it read
    EXPECT_EQ(replaced("ac"), "bd");
    ASSERT_EQ(load("x = y\n", true), "");
    EXPECT_EQ(replaced("acx"), "acy");
    EXPECT_EQ(load("a = b\nb(\n", true), syntax_error(2));
    EXPECT_NE(load("missing", true), "");
    EXPECT_EQ(replaced("acx"), "acy");
    EXPECT_EQ(table.size(), 1u);
}

}  // namespace
