// Compiled patterns: the literal clue read from an expression, which must
// never pass over a subject that the expression matches.
#include "security/pattern.hpp"

#include <gtest/gtest.h>

namespace {

TEST(pattern, the_clue_is_the_longest_required_literal_run_and_never_changes_what_matches) {
    const std::pair<const char*, const char*> cases[] = {
        {"gn8", "gn8"}, {"\\bgn8\\b", "gn8"}, {"(\\w+)@zuhause", "@zuhause"},
        {"[Ss]chimpf", "chimpf"}, {"ab*c", "a"}, {"abcd+e", "abc"}, {"ab{2}cd", "cd"},
        {"a.bc^d$", "bc"},
        {"x\\.y\\$z", "x.y$z"},            // escaped specials are literals
        {"[]a]bc", "bc"}, {"[^]a]bc", "bc"},  // a leading "]" belongs to the class
        {"(a|b)cd(e)?f", "cd"}, {"((x)[)]y)zz", "zz"}, {"ab{2,}cde{1,3}f", "cd"},
        {"\\<wort\\>", "wort"}, {"ab\\`cde\\'", "cde"},  // word boundaries, not brackets
        // No clue where the reading cannot be sure.
        {"a|b", ""}, {"(?i)ABC", ""}, {"a(?i)bc", ""}, {"\\Qa*b\\E", ""}, {"\\x41bc", ""},
        {"a(*ACCEPT)bc", ""},  // matches "a" alone
        {"(a)\\1bc", ""}, {"[[:alpha:]]bc", ""}, {"ab)", ""}, {"a{", ""}, {"ab{,2}cd", ""},
        {"ab{1x|cd}", ""},  // no bounds: the "|" is an alternative
        {"\\", ""}, {"!{3,}", ""}, {".*", ""},
        // Only what they match, or that they are refused.
        {"ab{0}c", nullptr}, {"b+", nullptr}, {"a(", nullptr}, {"(?<x", nullptr}};
    const char* const subjects[] = {
        "", "gn8", "xgn8y", "gn 8", "a@zuhause", "@zuhause", "schimpf", "Schimpf", "chimpf", "ac",
        "abbbc", "abcde", "abcdddde", "abbcd", "x.y$z", "xay$z", "abc", "bc", "abc\nd", "]bc",
        "acdf", "bcdef", "das wort hier", "wortwort", "ABC", "Abc", "b", "x", "xyzz", "abcdef"};
    for (const auto& [expression, clue] : cases) {
        SCOPED_TRACE(expression);
        if (clue != nullptr) {
            EXPECT_EQ(vorta::required_literal(expression), clue);
        }
        boost::regex plain;
        try {
            plain.assign(expression);
        } catch (const boost::regex_error&) {
            EXPECT_THROW(vorta::pattern{expression}, boost::regex_error);
            continue;
        }
        const vorta::pattern compiled(expression);
        for (const char* subject : subjects)
            EXPECT_EQ(compiled.found_in(subject), boost::regex_search(std::string(subject), plain))
                << subject;
    }
}

TEST(pattern, given_clues_pass_over_subjects_without_them) {
    const vorta::pattern link("(^|\\s)www\\.(\\S+)", {"www."});
    EXPECT_TRUE(link.found_in("see www.a.de"));
    EXPECT_FALSE(link.found_in("see ww.a.de"));
    EXPECT_EQ(link.replace("a www.b.c", "$1<$2>"), "a <b.c>");
    std::vector<std::string> found;
    link.for_each_match("www.a www.b wwwc",
                        [&found](const boost::smatch& m) { found.push_back(m[2]); });
    EXPECT_EQ(found, (std::vector<std::string>{"a", "b"}));
}

}  // namespace
