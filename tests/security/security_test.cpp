#include "security/security.hpp"

#include <gtest/gtest.h>

#include <boost/regex.hpp>
#include <filesystem>

#include "chat/user.hpp"
#include "net/c_error.hpp"
#include "security/links.hpp"
#include "security/pattern.hpp"
#include "security/replacement.hpp"
#include "support/chat_world.hpp"
#include "support/log_events.hpp"
#include "support/temp_dir.hpp"

namespace {

using test_support::peer;
using events = std::vector<std::string>;

class security_test : public ::testing::Test {
protected:
    void SetUp() override { test_support::chat_world(); }
    // Loads or reloads `lines` as "rules.conf" ("missing": no such file) into the
    // rules or the replacement table; the error text, or "".
    template <typename table = vorta::security>
    std::string load(const std::string& lines, bool reload = false, table* into = nullptr) {
        const std::string path =
            lines == "missing" ? dir.file("missing.conf") : dir.write("rules.conf", lines);
        try {
            if constexpr (std::is_same_v<table, vorta::security>) into = &rules_;
            reload ? into->reload(path) : into->load(path);
        } catch (const vorta::c_error& error) {
            return error.what();
        }
        return "";
    }
    // A logged-in session with this nickname and referer.
    std::unique_ptr<peer> visitor(const std::string& nickname,
                                  const std::string& referer = "http://www.example.org/chat.html") {
        auto p = std::make_unique<peer>(
            "10.0.0.1", test_support::login_details{nickname, "", "Mozilla/4.0", referer});
        EXPECT_TRUE(p->in_room()) << nickname;
        return p;
    }
    events logged(const std::string& name) const { return test_support::log_events(dir.file(name)); }
    std::string syntax_error(int line, const char* file = "rules.conf") const {
        return "in file '" + dir.file(file) + "' at line " + std::to_string(line) +
               ": unrecognized syntax";
    }
    test_support::temp_dir dir;
    vorta::security rules_;
};

TEST_F(security_test, faulty_lines_and_unreadable_files_are_refused_with_their_place) {
    const std::pair<const char*, int> cases[] = {
        {"U anna", 1}, {"# rooms\n\nr lobby\nr", 4},  // kinds are lower case; blanks count
        {"  u anna\n\tuanna", 2}, {"u anna logs", 1},  // no blank after the kind; no log, no action
        {"r lobby noaccess", 1}, {"w site exit", 1},      // no action, an action of another kind
        {"u anna noaccess noaccess", 1}, {"u anna >users.log exit", 1},
        {"w site >sites.log noaccess\nw site >sites.log hide", 2},
        {"c (bad >", 1}, {"u anna\nu [anna", 2},           // exempt words are patterns too
        {"w site\nw *site noscript", 2}, {"r (lobby\nr (lobby >", 2},  // only a logged room is one
    };
    for (const auto& [rules, line] : cases) EXPECT_EQ(load(rules), syntax_error(line)) << rules;
    EXPECT_EQ(load("u anna\nc @words.txt exit\n"),
              "can't open security file '" + dir.file("words.txt") + "'");
    EXPECT_EQ(load("missing"), "can't open security file '" + dir.file("missing.conf") + "'");
    // Replacements: a line that is no pair of a pattern and a text.
    const std::pair<const char*, int> pairs[] = {
        {"no equals sign", 1}, {"= nothing to find", 1}, {"a[ = x", 1}};  // no regular expression
    vorta::replacement table;
    for (const auto& [lines, line] : pairs)
        EXPECT_EQ(load(lines, false, &table), syntax_error(line)) << lines;
    EXPECT_EQ(load("missing", false, &table),
              "can't open replacement file '" + dir.file("missing.conf") + "'");
    // A list word that is no pattern is refused at its own line, unless it is never searched.
    dir.write("words.txt", "# words\n\nfine more words\n  (broken  \n");
    EXPECT_EQ(load("c @words.txt exit\n"), syntax_error(4, "words.txt"));
    EXPECT_EQ(load("r @words.txt\n"), "");
}

// A load adds its rules up to a faulty line; a reload replaces them all, or,
// when it fails, keeps them all.
TEST_F(security_test, access_checks_take_exempt_words_as_patterns) {
    ASSERT_EQ(load("u ^mod\nu adm noaccess\n"), "");
    EXPECT_EQ(load("u ^boss >refused.log noaccess\nw trusted\nw evil noaccess\n"
                   "w ^http://free noscript\nw both noaccess\nw both noscript\n"
                   "w . >sites.log\nu (\n"),
              syntax_error(8));
    const std::pair<const char*, bool> users[] = {
        {"Admin", false}, {"modadmin", true}, {"bossy", false}, {"plain", true}};  // exempt wins
    for (const auto& [nickname, access] : users)
        EXPECT_EQ(rules_.user_access(visitor(nickname)->session()), access) << nickname;
    EXPECT_FALSE(std::filesystem::exists(dir.file("refused.log")));
    const std::tuple<const char*, bool, bool> sites[] = {  // referer, access, script
        {"http://evil.example/<script>", false, true}, {"http://trusted.evil.example/", true, true},
        {"http://free.example/", true, false},
        {"http://both.example/", true, false},  // noscript lets it in, without the script
        {"http://www.example.org/", true, true},
    };
    for (const auto& [referer, access, script] : sites) {
        auto v = visitor("site", referer);
        EXPECT_EQ(rules_.site_access(v->session()), access) << referer;
        EXPECT_EQ(rules_.site_script(v->session()), script) << referer;
    }
    // A refusal by nickname goes to the log of the referring site, as typed.
    EXPECT_EQ(logged("sites.log"),
              (events{"noaccess: Admin", "noaccess: bossy",
                      "noaccess: http://evil.example/&lt;script&gt;",
                      "noscript: http://free.example/", "noscript: http://both.example/"}));
    EXPECT_EQ(load("u plain noaccess\nbroken\n", true), syntax_error(2));
    EXPECT_NE(load("missing", true), "");
    auto plain = visitor("plain"), admin = visitor("Admin");
    EXPECT_TRUE(rules_.user_access(plain->session()) && !rules_.user_access(admin->session()));
    ASSERT_EQ(load("u plain noaccess\n", true), "");
    EXPECT_TRUE(!rules_.user_access(plain->session()) && rules_.user_access(admin->session()));
}

// Censored words expel unless an exempt pattern matches; the first matching log
// rule takes the line, with the text in its case, and compares exempt words exactly.
TEST_F(security_test, censored_words_expel_unless_an_exempt_pattern_matches) {
    dir.write("words.txt", "doof\nmist\n");
    ASSERT_EQ(load("c misthaufen\nc @words.txt >censored.log exit\nc bl.d exit\nc doo >o.log\n"),
              "");
    auto writer = visitor("schreiber");
    const std::pair<const char*, bool> texts[] = {
        {"Du bist DOOF", true}, {"so ein Mist", true}, {"ein Misthaufen voller Mist", false},
        {"wie bl&ouml;d", false}, {"blad", true},  // exits, but no log names it
        {"ganz lieb", false}};
    for (const auto& [text, exit] : texts)
        EXPECT_EQ(rules_.censor_exit(text, writer->session()), exit) << text;
    rules_.censor_log("Misthaufen", writer->session());
    rules_.censor_log("MISTHAUFEN!", writer->session());
    EXPECT_EQ(logged("censored.log"),
              (events{"censored: \"Du bist DOOF\" by schreiber",
                      "censored: \"so ein Mist\" by schreiber",
                      "censored: \"MISTHAUFEN!\" by schreiber"}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.log")));
}

// Replacement pairs too are kept up to a faulty line by a load, replaced or
// kept whole by a reload.
TEST_F(security_test, replacements_apply_in_file_order_within_the_bounds_of_the_matcher) {
    vorta::replacement table;
    const auto replaced = [&](std::string text) { return table.replace(text), text; };
    EXPECT_EQ(load("ok = fine\nbad word = x\n", false, &table), syntax_error(2));
    ASSERT_EQ(load("x = y\n", false, &table), "");
    EXPECT_EQ(replaced("okx"), "finey");
    EXPECT_EQ(load("a = b\nb(\n", true, &table), syntax_error(2));
    EXPECT_NE(load("missing", true, &table), "");
    EXPECT_EQ(replaced("okx"), "finey");
    ASSERT_EQ(load("# later pairs see what earlier ones made\n(a+)+b = X\n"
                   "  gn8   =   gute Nacht  \nNacht=Nacht!\n(\\w+)@(\\w+) = $2 bei $1\n"
                   "&lt;3 = &hearts;\n"
                   "Euro = \\$ \\\\ $0\nzz==y\nweg =\n",
                   true, &table),
              "");
    EXPECT_EQ(table.size(), 8u);
    const std::pair<std::string, std::string> cases[] = {
        {"gn8 allerseits, gn8", "gute Nacht! allerseits, gute Nacht!"},
        {"anna@garten", "garten bei anna"},
        {"ich &lt;3 dich", "ich &hearts; dich"}, {"<3", "<3"},  // patterns see the escaped text
        {"10 Euro", "10 $ \\ Euro"}, {"zz", "=y"}, {"wegweg hinweg", " hin"},
        {"GN8", "GN8"}, {"", ""},                                // case-sensitive
        {std::string(2000, 'a') + "zz", std::string(2000, 'a') + "=y"}};  // too complex: no match
    for (const auto& [text, result] : cases) EXPECT_EQ(replaced(text), result) << text;
    // Each pair puts its format between every two characters, up to the bound.
    std::string pairs, expected = "hello", longer;
    for (int pair = 0; pair < 8; ++pair) pairs += "x? = abc\n";
    ASSERT_EQ(load(pairs, true, &table), "");
    for (int pair = 0; pair < 8; ++pair, expected = longer) {
        longer = boost::regex_replace(expected, boost::regex("x?"), "abc");
        if (longer.size() > vorta::pattern::max_result) break;
    }
    EXPECT_EQ(replaced("hello"), expected);
    EXPECT_GT(expected.size(), vorta::pattern::max_result / 8);
}

TEST(pattern, the_clue_is_the_longest_required_literal_run_and_never_changes_what_matches) {
    const std::pair<const char*, const char*> cases[] = {
        {"gn8", "gn8"}, {"\\bgn8\\b", "gn8"}, {"(\\w+)@zuhause", "@zuhause"},
        {"[Ss]chimpf", "chimpf"}, {"ab*c", "a"}, {"abcd+e", "abc"}, {"ab{2}cd", "cd"},
        {"a.bc^d$", "bc"}, {"x\\.y\\$z", "x.y$z"},  // escaped specials are literals
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
        EXPECT_TRUE(!clue || vorta::required_literal(expression) == clue);
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
    // Given clues pass over subjects without them.
    EXPECT_FALSE(vorta::pattern("(^|\\s)www\\.(\\S+)", {"www."}).found_in("see ww.a.de"));
}

// The two shapes of anchor: a web page in a new window, anything else in place.
std::string web(const std::string& address, const std::string& text) {
    return "<a href=\"http://" + address + "\" target=\"_blank\">" + text + "</a>";
}
std::string other(const std::string& href, const std::string& text) {
    return "<a href=\"" + href + "\">" + text + "</a>";
}

TEST(links, every_kind_of_address_becomes_its_anchor) {
    const std::string org = web("www.example.org", "www.example.org"), mail = "x@y.de (Mail)";
    const std::pair<std::string, std::string> anchored[] = {
        {"url:www.example.org", org},
        {"see http://example.org/x?a=1&amp;b=2",
         "see " + web("example.org/x?a=1&amp;b=2", "example.org/x?a=1&amp;b=2")},
        {"ftp:ftp://x.org/pub", other("ftp://x.org/pub", "x.org/pub (FTP)")},
        {"news:de.comp.lang!", other("news:de.comp.lang", "de.comp.lang (Newsgroup)") + "!"},
        {"mail:mailto:a-b_c@d.de", other("mailto:a-b_c@d.de", "a-b_c@d.de (Mail)")},
        {"schreib an a.b@c.de.", "schreib an " + other("mailto:a.b@c.de.", "a.b@c.de. (Mail)")},
        {"a@localhost srch:katzen", "a@localhost srch:katzen"},  // no search address
        {"xwww.example.org https://example.org", "xwww.example.org https://example.org"},
        {"www.a.de und mail:x@y.de",
         web("www.a.de", "www.a.de") + " und " + other("mailto:x@y.de", mail)}};
    for (const auto& [text, html] : anchored)
        EXPECT_EQ(vorta::anchor_links(text, ""), html) << text;
    // A search address links search terms; the other kinds stay as they are.
    EXPECT_EQ(vorta::anchor_links("und srch:hunde.futter x@y.de", "suche.de:8080/find?q="),
              "und " + web("suche.de:8080/find?q=hunde.futter", "hunde.futter (Suche)") + " " +
                  other("mailto:x@y.de", mail));
}

}  // namespace
