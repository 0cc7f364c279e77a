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

    // Loads or reloads `rules` as the file "rules.conf"; the error text, or "".
    std::string load(const std::string& rules, bool reload = false,
                     vorta::security* into = nullptr) {
        const std::string path =
            rules == "missing" ? dir.file("missing.conf") : dir.write("rules.conf", rules);
        try {
            reload ? rules_.reload(path) : (into ? *into : rules_).load(path);
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
        return "in file '" + dir.file("rules.conf") + "' at line " + std::to_string(line) +
               ": unrecognized syntax";
    }

    test_support::temp_dir dir;
    vorta::security rules_;
};

TEST_F(security_test, faulty_lines_and_unreadable_files_are_refused_with_their_place) {
    const std::pair<const char*, int> cases[] = {
        {"x anna", 1}, {"U anna", 1},                       // no such kind; kinds are lower case
        {"# rooms\n\nr lobby\nr", 4},                     // no names; comments and blanks count
        {"  u anna\n\tuanna", 2},                          // no blank after the kind
        {"r lobby noaccess", 1}, {"u anna noscript", 1},    // no action, an action of another kind
        {"w site exit", 1}, {"c word noaccess", 1},
        {"u anna logs", 1},                                 // neither a log nor an action
        {"u anna noaccess noaccess", 1}, {"u anna >users.log exit", 1},
        {"w site >sites.log noaccess\nw site >sites.log hide", 2},
        {"c (bad >", 1}, {"u anna\nu [anna", 2},            // exempt words are patterns too
        {"w site\nw *site noscript", 2}, {"r (lobby\nr (lobby >", 2},  // only a logged room is one
    };
    for (const auto& [rules, line] : cases) {
        vorta::security fresh;
        EXPECT_EQ(load(rules, false, &fresh), syntax_error(line)) << rules;
    }
    EXPECT_EQ(load("u anna\nc @words.txt exit\n"),
              "can't open security file '" + dir.file("words.txt") + "'");
    EXPECT_EQ(load("missing"), "can't open security file '" + dir.file("missing.conf") + "'");
    // A list word that is no pattern is refused at its own line, unless it is never searched.
    dir.write("words.txt", "# words\n\nfine more words\n  (broken  \n");
    EXPECT_EQ(load("c @words.txt exit\n"),
              "in file '" + dir.file("words.txt") + "' at line 4: unrecognized syntax");
    EXPECT_EQ(load("r @words.txt\n"), "");
}

TEST_F(security_test, each_form_of_target_chooses_the_log_file_with_its_name_escaped) {
    std::filesystem::create_directory(dir.file("per"));
    std::filesystem::create_directory(dir.file("\\\"b\\\\\\\""));
    dir.write("names.txt", "# who\nberta extra words\n\t carl\n");
    ASSERT_EQ(load("u ann >\nu dora >users.log !whatever follows is ignored\nu @names.txt >per/\n"
                   "r gar >rooms\nu o'?tt\"?o >\nu ^bo >\"b\\\"/\n"),
              "");
    std::vector<std::unique_ptr<peer>> users;
    for (const std::string nickname :
         {"anna", "annika", "dorabella", "berta", "carla", "otto", "bodo", "karl"}) {
        users.push_back(visitor(nickname));
        EXPECT_EQ(rules_.user_log(users.back()->session(), ""), users.size() < 8) << nickname;
        EXPECT_TRUE(rules_.user_log(users.back()->session(), "<b>" + nickname + "</b>"));
    }
    // ">" alone: the rule's word names the file, shared by all it matches.
    EXPECT_EQ(logged("ann.u"), (events{"<b>anna</b>", "<b>annika</b>"}));
    EXPECT_EQ(logged("users.log"), (events{"<b>dorabella</b>"}));
    EXPECT_EQ(logged("per/berta"), (events{"<b>berta</b>"}));
    EXPECT_EQ(logged("per/carl"), (events{"<b>carla</b>"}));
    EXPECT_EQ(logged("o\\'?tt\\\"?o.u"), (events{"<b>otto</b>"}));  // backslash-escaped
    EXPECT_EQ(logged("\\\"b\\\\\\\"/^bo"), (events{"<b>bodo</b>"}));
    vorta::room* garten = Manager.get_room("Garten");
    EXPECT_TRUE(rules_.room_log(garten, ""));
    EXPECT_FALSE(rules_.room_log(Manager.get_room("Lobby"), ""));
    rules_.room_log(garten, "<p>x</p>");
    EXPECT_EQ(logged("rooms"), (events{"<p>x</p>"}));
}

TEST_F(security_test, logs_skip_exact_exempt_words_and_write_whatever_matched) {
    ASSERT_EQ(load("u anna\nu a. >users.log\nu Otto >capital.log\nr lo.by\nr l >rooms.log\n"), "");
    auto anna = visitor("Anna"), annika = visitor("annika"), otto = visitor("Otto");
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
    ASSERT_EQ(load("u ^mod\nu adm noaccess\nu ^boss >refused.log noaccess\nw trusted\n"
                   "w evil noaccess\nw ^http://free noscript\nw both noaccess\nw both noscript\n"
                   "w . >sites.log\n"),
              "");
    const std::pair<const char*, bool> users[] = {
        {"Admin", false}, {"modadmin", true}, {"bossy", false}, {"plain", true}};  // exempt wins
    for (const auto& [nickname, access] : users)
        EXPECT_EQ(rules_.user_access(visitor(nickname)->session()), access) << nickname;
    // A refusal by nickname goes to the log of the referring site, as typed.
    EXPECT_EQ(logged("sites.log"), (events{"noaccess: Admin", "noaccess: bossy"}));
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
    EXPECT_EQ(logged("sites.log"),
              (events{"noaccess: Admin", "noaccess: bossy",
                      "noaccess: http://evil.example/&lt;script&gt;",
                      "noscript: http://free.example/", "noscript: http://both.example/"}));
}

TEST_F(security_test, censored_words_expel_unless_an_exempt_pattern_matches) {
    dir.write("words.txt", "doof\nmist\n");
    ASSERT_EQ(load("c misthaufen\nc @words.txt >censored.log exit\nc bl.d exit\n"
                   "c doo >other.log\n"),
              "");
    auto writer = visitor("schreiber");
    const std::pair<const char*, bool> texts[] = {
        {"Du bist DOOF", true}, {"so ein Mist", true}, {"ein Misthaufen voller Mist", false},
        {"wie bl&ouml;d", false}, {"blad", true},  // exits, but no log names it
        {"ganz lieb", false}};
    for (const auto& [text, exit] : texts)
        EXPECT_EQ(rules_.censor_exit(text, writer->session()), exit) << text;
    // The first matching log rule takes the line; the text keeps its case.
    EXPECT_EQ(logged("censored.log"),
              (events{"censored: \"Du bist DOOF\" by schreiber",
                      "censored: \"so ein Mist\" by schreiber"}));
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
    for (const std::string& subject : {explosive, writer->session()->get_referer()})
        EXPECT_THROW(boost::regex_search(subject, boost::regex("(a+)+b")), std::runtime_error);
    EXPECT_TRUE(rules_.user_access(writer->session()));
    EXPECT_FALSE(rules_.site_log(writer->session(), ""));
    EXPECT_FALSE(rules_.censor_exit(explosive, writer->session()));
    // The next rule still counts.
    EXPECT_TRUE(rules_.censor_exit(explosive + " x", writer->session()));
}

TEST_F(security_test, load_appends_and_reload_replaces_or_keeps_everything) {
    ASSERT_EQ(load("u anna noaccess\n"), "");
    // Rules before a faulty line stay after a load.
    EXPECT_EQ(load("u berta noaccess\nu (\n"), syntax_error(2));
    auto anna = visitor("anna"), berta = visitor("berta"), carl = visitor("carl");
    EXPECT_FALSE(rules_.user_access(anna->session()));
    EXPECT_FALSE(rules_.user_access(berta->session()));
    ASSERT_EQ(load("u carl noaccess\n", true), "");
    EXPECT_TRUE(rules_.user_access(anna->session()));
    EXPECT_FALSE(rules_.user_access(carl->session()));
    // A failed reload keeps everything.
    EXPECT_EQ(load("u anna noaccess\nu berta >\nbroken\n", true), syntax_error(3));
    EXPECT_NE(load("missing", true), "");
    EXPECT_TRUE(rules_.user_access(anna->session()));
    EXPECT_FALSE(rules_.user_access(carl->session()));
    EXPECT_FALSE(rules_.user_log(berta->session(), ""));
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
