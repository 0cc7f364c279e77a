// The replacement table: its file, load and reload, and how the pairs apply.
#include "security/replacement.hpp"

#include <gtest/gtest.h>

#include "net/c_error.hpp"
#include "support/temp_dir.hpp"

namespace {

class replacement_test : public ::testing::Test {
protected:
    // Loads `lines` into `table`; the error text, or empty when it loaded.
    std::string load(vorta::replacement& table, const std::string& lines, bool reload = false) {
        const std::string path = dir.write("replace.conf", lines);
        try {
            reload ? table.reload(path) : table.load(path);
        } catch (const vorta::c_error& error) {
            return error.what();
        }
        return "";
    }
    std::string syntax_error(int line) const {
        return "in file '" + dir.file("replace.conf") + "' at line " + std::to_string(line) + ": unrecognized syntax";
    }
    test_support::temp_dir dir;
};

TEST_F(replacement_test, lines_that_are_no_pair_stop_the_load_at_their_number) {
    const struct {
        const char* lines;
        int line;
    } cases[] = {
        {"no equals sign", 1},
        {"# pairs\n\nok = fine\nbad word = x", 4},  // a blank inside the pattern
        {"= nothing to find", 1},
        {"ok = fine\n  (open = x", 2},                // not a regular expression
        {"a[ = x", 1},
    };
    for (const auto& c : cases) {
        vorta::replacement table;
        EXPECT_EQ(load(table, c.lines), syntax_error(c.line)) << c.lines;
    }
    vorta::replacement table;
    try {
        table.load(dir.file("missing.conf"));
        ADD_FAILURE() << "loaded a missing file";
    } catch (const vorta::c_error& error) {
        EXPECT_EQ(std::string(error.what()), "can't open replacement file '" + dir.file("missing.conf") + "'");
    }
}

TEST_F(replacement_test, pairs_apply_in_file_order_with_format_syntax) {
    vorta::replacement table;
    ASSERT_EQ(load(table,
                   "# later pairs see what earlier ones made\n"
                   "  gn8   =   gute Nacht  \n"
                   "Nacht=Nacht!\n"
                   "(\\w+)@(\\w+) = $2 bei $1\n"
                   "&lt;3 = &hearts;\n"
                   "Euro = \\$ \\\\ $0\n"
                   "zz==y\n"
                   "weg =\n"),
              "");
    EXPECT_EQ(table.size(), 7u);
    const struct {
        const char* text;
        const char* replaced;
    } cases[] = {
        {"gn8 allerseits, gn8", "gute Nacht! allerseits, gute Nacht!"},
        {"anna@garten", "garten bei anna"},
        {"ich &lt;3 dich", "ich &hearts; dich"},  // patterns see the escaped text
        {"<3", "<3"},
        {"10 Euro", "10 $ \\ Euro"},
        {"zz", "=y"},
        {"wegweg hinweg", " hin"},
        {"GN8", "GN8"},  // case-sensitive
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        table.replace(text);
        EXPECT_EQ(text, c.replaced) << c.text;
    }
}

TEST_F(replacement_test, a_match_too_complex_for_the_library_leaves_the_text) {
    vorta::replacement table;
    ASSERT_EQ(load(table, "(a+)+b = X\nc = C\n"), "");
    std::string text = std::string(2000, 'a') + "c";
    table.replace(text);
    EXPECT_EQ(text, std::string(2000, 'a') + "C");
}

TEST_F(replacement_test, a_result_beyond_the_bound_leaves_the_text) {
    // Each pair puts its format between every two characters.
    vorta::replacement table;
    ASSERT_EQ(load(table, "x? = abc\nx? = abc\nx? = abc\nx? = abc\nx? = abc\nx? = abc\nx? = abc\nx? = abc\n"), "");
    std::string text = "hello";
    table.replace(text);
    std::string expected = "hello";
    for (int pair = 0; pair < 8; ++pair) {
        const std::string longer = boost::regex_replace(expected, boost::regex("x?"), "abc");
        if (longer.size() > vorta::pattern::max_result) break;
        expected = longer;
    }
    EXPECT_EQ(text, expected);
    EXPECT_GT(text.size(), vorta::pattern::max_result / 8);
}

TEST_F(replacement_test, reload_replaces_the_table_or_keeps_it) {
    vorta::replacement table;
    ASSERT_EQ(load(table, "a = b\n"), "");
    EXPECT_EQ(load(table, "c = d\nbroken\n"), syntax_error(2));  // a load keeps what it read
    std::string text = "ac";
    table.replace(text);
    EXPECT_EQ(text, "bd");

    ASSERT_EQ(load(table, "x = y\n", true), "");
    text = "acx";
    table.replace(text);
    EXPECT_EQ(text, "acy");

    EXPECT_EQ(load(table, "a = b\nb(\n", true), syntax_error(2));
    EXPECT_THROW(table.reload(dir.file("missing.conf")), vorta::c_error);
    text = "acx";
    table.replace(text);
    EXPECT_EQ(text, "acy");
    EXPECT_EQ(table.size(), 1u);
}

}  // namespace
