// The security rules on their own object: the rule file and its errors, list
// files, the forms of log target, the two ways exempt words work, the access
// checks and the log lines. Users are sessions of the test chat world.
#include "security/security.hpp"

#include <gtest/gtest.h>

#include <boost/regex.hpp>

#include <filesystem>
#include <memory>

#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "net/c_error.hpp"
#include "program.hpp"
#include "support/chat_world.hpp"
#include "support/log_events.hpp"
#include "support/temp_dir.hpp"

namespace {

using test_support::log_events;
using test_support::peer;
using events = std::vector<std::string>;

class security_test : public ::testing::Test {
protected:
    void SetUp() override { test_support::chat_world(); }

    // Loads `rules` as the security file "rules.conf"; the error text, or
    // empty when it loaded.
    std::string load(const std::string& rules) {
        try {
            rules_.load(dir.write("rules.conf", rules));
        } catch (const vorta::c_error& error) {
            return error.what();
        }
        return "";
    }

    // A logged-in session with this nickname and referer.
    std::unique_ptr<peer> visitor(const std::string& nickname,
                                  const std::string& referer = "http://www.example.org/chat.html") {
        test_support::login_details details;
        details.nickname = nickname;
        details.referer = referer;
        auto p = std::make_unique<peer>("10.0.0.1", details);
        EXPECT_TRUE(p->in_room()) << nickname;
        return p;
    }

    events logged(const std::string& file) const { return log_events(dir.file(file)); }
    std::string syntax_error(int line) const {
        return "in file '" + dir.file("rules.conf") + "' at line " + std::to_string(line) + ": unrecognized syntax";
    }

    test_support::temp_dir dir;
    vorta::security rules_;
};

TEST_F(security_test, faulty_lines_are_refused_with_their_line_number) {
    const struct {
        const char* rules;
        int line;
    } cases[] = {
        {"x anna", 1},                                      // no such kind
        {"U anna", 1},                                      // kinds are lower case
        {"# rooms\n\nr lobby\nr", 4},                      // no names; comments and blanks count
        {"  u anna\n\tuanna", 2},                           // no blank after the kind
        {"r lobby noaccess", 1},                            // rooms have no actions
        {"u anna noscript", 1},                             // an action of another kind
        {"w site exit", 1},
        {"c word noaccess", 1},
        {"u anna logs", 1},                                 // neither a log nor an action
        {"u anna noaccess noaccess", 1},                    // an action after an action
        {"u anna >users.log exit", 1},                      // an action of another kind after a log
        {"w site >sites.log noaccess\nw site >sites.log hide", 2},
        {"c (bad >", 1},                                    // not a regular expression
        {"u anna\nu [anna", 2},                             // exempt words are patterns too
        {"w site\nw *site noscript", 2},
        {"r (lobby\nr (lobby >", 2},                        // only a logged room is a pattern
    };
    for (const auto& c : cases) {
        vorta::security fresh;
        try {
            fresh.load(dir.write("rules.conf", c.rules));
            ADD_FAILURE() << "loaded: " << c.rules;
        } catch (const vorta::c_error& error) {
            EXPECT_EQ(error.what(), syntax_error(c.line)) << c.rules;
        }
    }
}

TEST_F(security_test, files_that_cannot_be_read_name_their_path) {
    EXPECT_EQ(load("u anna\nc @words.txt exit\n"),
              "can't open security file '" + dir.file("words.txt") + "'");
    vorta::security fresh;
    try {
        fresh.load(dir.file("missing.conf"));
        ADD_FAILURE() << "loaded a missing file";
    } catch (const vorta::c_error& error) {
        EXPECT_STREQ(error.what(), ("can't open security file '" + dir.file("missing.conf") + "'").c_str());
    }
    // A list word that is no pattern is refused at its own line.
    dir.write("words.txt", "# words\n\nfine more words\n  (broken  \n");
    EXPECT_EQ(load("c @words.txt exit\n"),
              "in file '" + dir.file("words.txt") + "' at line 4: unrecognized syntax");
    // The words of exempt rooms are never searched, so anything goes.
    EXPECT_EQ(load("r @words.txt\n"), "");
}

TEST_F(security_test, each_form_of_target_chooses_the_log_file) {
    std::filesystem::create_directory(dir.file("per"));
    dir.write("names.txt", "# who\nberta extra words\n\t carl\n");
    ASSERT_EQ(load("u ann >\n"
                   "u dora >users.log !whatever follows is ignored\n"
                   "u @names.txt >per/\n"
                   "r gar >rooms\n"),
              "");
    auto anna = visitor("anna");
    auto annika = visitor("annika");
    auto dora = visitor("dorabella");
    auto berta = visitor("berta");
    auto carl = visitor("carla");
    auto otto = visitor("otto");
    for (peer* p : {anna.get(), annika.get(), dora.get(), berta.get(), carl.get(), otto.get()})
        EXPECT_EQ(rules_.user_log(p->session(), ""), p != otto.get()) << p->session()->get_nickname();
    for (peer* p : {anna.get(), annika.get(), dora.get(), berta.get(), carl.get(), otto.get()})
        EXPECT_TRUE(rules_.user_log(p->session(), "<b>" + p->session()->get_nickname() + "</b>"));
    // ">" alone: the rule's word names the file, shared by all it matches.
    EXPECT_EQ(logged("ann.u"), (events{"<b>anna</b>", "<b>annika</b>"}));
    EXPECT_EQ(logged("users.log"), (events{"<b>dorabella</b>"}));
    EXPECT_EQ(logged("per/berta"), (events{"<b>berta</b>"}));
    EXPECT_EQ(logged("per/carl"), (events{"<b>carla</b>"}));
    vorta::room* garten = Manager.get_room("Garten");
    EXPECT_TRUE(rules_.room_log(garten, ""));
    EXPECT_FALSE(rules_.room_log(Manager.get_room("Lobby"), ""));
    rules_.room_log(garten, "<p>x</p>");
    EXPECT_EQ(logged("rooms"), (events{"<p>x</p>"}));
}

TEST_F(security_test, file_names_are_backslash_escaped) {
    ASSERT_EQ(load("u o'?tt\"?o >\nu ^b >\"b\\\"/\n"), "");
    std::filesystem::create_directory(dir.file("\\\"b\\\\\\\""));
    auto otto = visitor("otto");
    auto bert = visitor("bert");
    rules_.user_log(otto->session(), "x");
    rules_.user_log(bert->session(), "y");
    EXPECT_EQ(logged("o\\'?tt\\\"?o.u"), (events{"x"}));
    EXPECT_EQ(logged("\\\"b\\\\\\\"/^b"), (events{"y"}));
}

TEST_F(security_test, logs_skip_exact_exempt_words_and_write_whatever_matched) {
    ASSERT_EQ(load("u anna\n"
                   "u a. >users.log\n"
                   "u Otto >capital.log\n"
                   "r lo.by\n"
                   "r l >rooms.log\n"),
              "");
    auto anna = visitor("Anna");
    auto annika = visitor("annika");
    auto otto = visitor("Otto");
    // Exempt only when equal to the lower-cased nickname.
    EXPECT_FALSE(rules_.user_log(anna->session(), ""));
    EXPECT_FALSE(rules_.user_log(anna->session(), "text"));
    EXPECT_TRUE(rules_.user_log(annika->session(), ""));
    // A capital in a rule never matches a lower-cased subject.
    EXPECT_FALSE(rules_.user_log(otto->session(), ""));
    // With a text the answer is true even when no rule matched.
    EXPECT_TRUE(rules_.user_log(otto->session(), "text"));
    EXPECT_TRUE(rules_.user_log(annika->session(), "text"));
    EXPECT_EQ(logged("users.log"), (events{"text"}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("capital.log")));
    // A pattern-like exempt room word is no pattern.
    EXPECT_TRUE(rules_.room_log(Manager.get_room("Lobby"), ""));
}

TEST_F(security_test, access_checks_take_exempt_words_as_patterns) {
    ASSERT_EQ(load("u ^mod\n"
                   "u adm noaccess\n"
                   "u ^boss >refused.log noaccess\n"
                   "w trusted\n"
                   "w evil noaccess\n"
                   "w ^http://free noscript\n"
                   "w both noaccess\n"
                   "w both noscript\n"
                   "w . >sites.log\n"),
              "");
    auto admin = visitor("Admin");
    auto modadmin = visitor("modadmin");
    auto boss = visitor("bossy");
    auto plain = visitor("plain");
    EXPECT_FALSE(rules_.user_access(admin->session()));
    EXPECT_TRUE(rules_.user_access(modadmin->session()));  // exempt wins
    EXPECT_FALSE(rules_.user_access(boss->session()));
    EXPECT_TRUE(rules_.user_access(plain->session()));
    // A refusal by nickname goes to the log of the referring site, as typed.
    EXPECT_EQ(logged("sites.log"), (events{"noaccess: Admin", "noaccess: bossy"}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("refused.log")));

    const struct {
        const char* referer;
        bool access;
        bool script;
    } sites[] = {
        {"http://evil.example/<script>", false, true},
        {"http://trusted.evil.example/", true, true},
        {"http://free.example/", true, false},
        {"http://both.example/", true, false},  // noscript lets it in, without the script
        {"http://www.example.org/", true, true},
    };
    for (const auto& site : sites) {
        auto v = visitor("site", site.referer);
        EXPECT_EQ(rules_.site_access(v->session()), site.access) << site.referer;
        EXPECT_EQ(rules_.site_script(v->session()), site.script) << site.referer;
    }
    EXPECT_EQ(logged("sites.log"), (events{"noaccess: Admin", "noaccess: bossy",
                                           "noaccess: http://evil.example/&lt;script&gt;",
                                           "noscript: http://free.example/", "noscript: http://both.example/"}));
}

TEST_F(security_test, censored_words_expel_unless_an_exempt_pattern_matches) {
    dir.write("words.txt", "doof\nmist\n");
    ASSERT_EQ(load("c misthaufen\n"
                   "c @words.txt >censored.log exit\n"
                   "c bl.d exit\n"
                   "c doo >other.log\n"),
              "");
    auto writer = visitor("schreiber");
    EXPECT_TRUE(rules_.censor_exit("Du bist DOOF", writer->session()));
    EXPECT_TRUE(rules_.censor_exit("so ein Mist", writer->session()));
    EXPECT_FALSE(rules_.censor_exit("ein Misthaufen voller Mist", writer->session()));
    EXPECT_FALSE(rules_.censor_exit("wie bl&ouml;d", writer->session()));
    EXPECT_TRUE(rules_.censor_exit("blad", writer->session()));  // exits, but no log names it
    EXPECT_FALSE(rules_.censor_exit("ganz lieb", writer->session()));
    // The first matching log rule takes the line; the text keeps its case.
    EXPECT_EQ(logged("censored.log"),
              (events{"censored: \"Du bist DOOF\" by schreiber", "censored: \"so ein Mist\" by schreiber"}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("other.log")));
    // The log itself compares exempt words exactly.
    rules_.censor_log("Misthaufen", writer->session());
    rules_.censor_log("MISTHAUFEN!", writer->session());
    EXPECT_EQ(logged("censored.log").back(), "censored: \"MISTHAUFEN!\" by schreiber");
    EXPECT_EQ(logged("censored.log").size(), 3u);
}

TEST_F(security_test, a_match_too_complex_for_the_library_is_no_match) {
    ASSERT_EQ(load("u (a+)+b noaccess\nc (a+)+b exit\nc x exit\nw (a+)+b >sites.log\n"), "");
    auto writer = visitor("aaaaaaaaaaaa", "http://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/");
    const std::string explosive = std::string(2000, 'a') + "c";
    // The library does give up on these.
    EXPECT_THROW(boost::regex_search(explosive, boost::regex("(a+)+b")), std::runtime_error);
    EXPECT_THROW(boost::regex_search(writer->session()->get_referer(), boost::regex("(a+)+b")), std::runtime_error);
    EXPECT_TRUE(rules_.user_access(writer->session()));
    EXPECT_FALSE(rules_.site_log(writer->session(), ""));
    EXPECT_FALSE(rules_.censor_exit(explosive, writer->session()));
    EXPECT_TRUE(rules_.censor_exit(explosive + " x", writer->session()));  // the next rule still counts
}

TEST_F(security_test, load_appends_and_reload_replaces_or_keeps_everything) {
    ASSERT_EQ(load("u anna noaccess\n"), "");
    // Rules before a faulty line stay after a load.
    EXPECT_EQ(load("u berta noaccess\nu (\n"), syntax_error(2));
    auto anna = visitor("anna");
    auto berta = visitor("berta");
    auto carl = visitor("carl");
    EXPECT_FALSE(rules_.user_access(anna->session()));
    EXPECT_FALSE(rules_.user_access(berta->session()));

    rules_.reload(dir.write("rules.conf", "u carl noaccess\n"));
    EXPECT_TRUE(rules_.user_access(anna->session()));
    EXPECT_FALSE(rules_.user_access(carl->session()));

    const std::string broken = dir.write("rules.conf", "u anna noaccess\nu berta >\nbroken\n");
    try {
        rules_.reload(broken);
        ADD_FAILURE() << "reloaded a broken file";
    } catch (const vorta::c_error& error) {
        EXPECT_EQ(error.what(), syntax_error(3));
    }
    EXPECT_TRUE(rules_.user_access(anna->session()));
    EXPECT_FALSE(rules_.user_access(carl->session()));
    EXPECT_FALSE(rules_.user_log(berta->session(), ""));
    EXPECT_THROW(rules_.reload(dir.file("gone.conf")), vorta::c_error);
    EXPECT_FALSE(rules_.user_access(carl->session()));
}

TEST_F(security_test, log_files_are_relative_to_the_rule_file_and_failures_are_silent) {
    test_support::temp_dir other;
    std::filesystem::create_directory(other.file("sub"));
    const std::string path = other.write("sub/rules.conf", "u . >all.log\n");
    rules_.load(path);
    auto anna = visitor("anna");
    rules_.user_log(anna->session(), "one");
    rules_.user_log(anna->session(), "two");
    EXPECT_EQ(log_events(other.file("sub/all.log")), (events{"one", "two"}));
    rules_.write("no/such/dir.log", "lost");
    EXPECT_FALSE(std::filesystem::exists(other.file("sub/no")));
}

}  // namespace
