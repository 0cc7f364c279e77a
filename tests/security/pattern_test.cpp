// Compiled patterns: the literal clue read from an expression, which must
// never pass over a subject that the expression matches.
#include "security/pattern.hpp"

#include <gtest/gtest.h>

namespace {

TEST(pattern, the_clue_is_the_longest_required_literal_run) {
    const struct {
        const char* expression;
        const char* clue;
    } cases[] = {
        {"gn8", "gn8"},
        {"\\bgn8\\b", "gn8"},
        {"(\\w+)@zuhause", "@zuhause"},
        {"[Ss]chimpf", "chimpf"},
        {"ab*c", "a"},               // the starred letter is optional
        {"abcd+e", "abc"},
        {"ab{2}cd", "cd"},
        {"x\\.y\\$z", "x.y$z"},      // escaped specials are literals
        {"a.bc^d$", "bc"},
        {"[]a]bc", "bc"},            // a leading "]" belongs to the class
        {"[^]a]bc", "bc"},
        {"(a|b)cd(e)?f", "cd"},
        {"((x)[)]y)zz", "zz"},
        {"\\<wort\\>", "wort"},      // word boundaries, not brackets
        {"ab\\`cde\\'", "cde"},
        // No clue where the reading cannot be sure.
        {"a|b", ""},
        {"(?i)abc", ""},
        {"a(?i)bc", ""},
        {"a(*ACCEPT)bc", ""},       // matches "a" alone
        {"\\Qa*b\\E", ""},
        {"\\x41bc", ""},
        {"(a)\\1bc", ""},
        {"[[:alpha:]]bc", ""},
        {"ab)", ""},
        {"a{", ""},
        {"ab{1x|cd}", ""},          // no bounds: the "|" is an alternative
        {"ab{,2}cd", ""},
        {"ab{2,}cde{1,3}f", "cd"},
        {"\\", ""},
        {"!{3,}", ""},
        {".*", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(vorta::required_literal(c.expression), c.clue) << c.expression;
}

TEST(pattern, clues_never_change_what_matches) {
    const char* const expressions[] = {
        "gn8", "\\bgn8\\b", "(\\w+)@zuhause", "[Ss]chimpf", "ab*c", "abcd+e", "ab{2}cd", "x\\.y\\$z",
        "a.bc^d$", "[]a]bc", "(a|b)cd(e)?f", "\\<wort\\>", "a|b", "(?i)ABC", "a(*ACCEPT)bc", "ab{1x|cd}", "\\x41bc", "ab{0}c", "b+",
    };
    const char* const subjects[] = {
        "", "gn8", "xgn8y", "gn 8", "a@zuhause", "@zuhause", "schimpf", "Schimpf", "chimpf", "ac", "abbbc",
        "abcde", "abcdddde", "abbcd", "x.y$z", "xay$z", "abc", "bc", "abc\nd", "]bc", "acdf", "bcdef",
        "das wort hier", "wortwort", "abc", "ABC", "Abc", "b", "x",
    };
    for (const char* expression : expressions) {
        const vorta::pattern compiled(expression);
        const boost::regex plain(expression);
        for (const char* subject : subjects)
            EXPECT_EQ(compiled.found_in(subject), boost::regex_search(std::string(subject), plain))
                << expression << " in " << subject;
    }
}

TEST(pattern, given_clues_pass_over_subjects_without_them) {
    const vorta::pattern link("(^|\\s)www\\.(\\S+)", {"www."});
    EXPECT_TRUE(link.found_in("see www.a.de"));
    EXPECT_FALSE(link.found_in("see ww.a.de"));
    EXPECT_EQ(link.replace("a www.b.c", "$1<$2>"), "a <b.c>");
    std::vector<std::string> found;
    link.for_each_match("www.a www.b wwwc", [&found](const boost::smatch& m) { found.push_back(m[2]); });
    EXPECT_EQ(found, (std::vector<std::string>{"a", "b"}));
    EXPECT_THROW(vorta::pattern("a("), boost::regex_error);
}

}  // namespace
