// The security rules and the text filters as the clients and the operator see
// them: refused nicknames and sites, the script flag, censored words that
// throw a writer out, replacements, the log files and their lines, and
// reloading the rules on SIGHUP.
#include "integration/chat_fixture.hpp"
#include "support/log_events.hpp"

using namespace chat_support;

namespace {

using test_support::log_events;
using test_support::login_as;
using events = std::vector<std::string>;

const std::string blue = "0000FF";
const std::string nickname_censored =
    "<div class=\"msgNicknameIsCensored\">Der Nickname ist zensiert. Gib einen neuen Nickname ein, um dich "
    "einzuloggen.</div>";
const std::string is_censored =
    "<div class=\"msgIsCensored\">Du wirst aufgrund der Verwendung eines zensierten Wortes automatisch aus dem "
    "Chat gekickt.</div>";
std::string censored(const std::string& nickname) {
    return "<div class=\"msgCensored\">" + nickname +
           " hat ein zensiertes Wort verwendet und wird automatisch aus dem Chat gekickt.</div>";
}

class security_daemon : public chat_daemon {
protected:
    std::string security_rules() const override {
        return "# what is logged where\n"
               "r lobby >\n"
               "u anna >\n"
               "w . >sites.log\n"
               "c doof >censored.log exit\n"
               "c (a+)+b exit\n"
               "\n"
               "# who is refused\n"
               "u ^bad noaccess\n"
               "w evil noaccess\n"
               "w nojs noscript\n";
    }
    std::string replacements() const override { return "gn8 = gute Nacht\n"; }

    // Sends the log-in line and reads the "CNT" answer.
    static std::optional<test_support::greeting> greet(applet& a, const login_form& form) {
        a.send_login(form);
        return a.read_greeting();
    }

    events logged(const std::string& file) const { return log_events(dir.file(file)); }
};

TEST_F(security_daemon, refused_nicknames_and_sites_and_the_script_flag) {
    applet bad;
    auto hello = greet(bad, login_as("badguy"));
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->script, "1");
    bad.authenticate(challenge_answer(hello->challenge));
    EXPECT_TRUE(bad.expect_lines({txt(welcome_text), "NCK", txt(nickname_censored)}));
    bad.send("NCK", {"goodguy"});
    EXPECT_TRUE(bad.expect_lines({"LGN", nrm("Lobby", {"goodguy"})}));

    login_form evil = login_as("someone");
    evil.referer = "http://evil.example/<x>?q=1";
    applet refused;
    refused.send_login(evil);
    EXPECT_TRUE(refused.expect_line("EXT \"noaccess\""));
    EXPECT_TRUE(refused.expect_closed());

    login_form nojs = login_as("scriptless");
    nojs.referer = "http://nojs.evil.example/chat.html";  // no script, but in
    applet limited;
    hello = greet(limited, nojs);
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->script, "0");
    limited.authenticate(challenge_answer(hello->challenge));
    EXPECT_TRUE(limited.read_until("NRM ").found);

    // The refusals land in the log of the referring site; the referer is
    // escaped and cut at its query.
    EXPECT_EQ(logged("sites.log"), (events{"noaccess: badguy", "noaccess: http://evil.example/&lt;x&gt;",
                                           "noscript: http://nojs.evil.example/chat.html"}));
}

TEST_F(security_daemon, censored_words_replacements_and_the_logs_of_a_conversation) {
    auto anna = log_in("anna");
    auto berta = log_in("berta");
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));

    anna->say("gn8 alle");
    EXPECT_TRUE(anna->expect_html(look::say("anna", blue, "gute Nacht alle")));
    EXPECT_TRUE(berta->expect_html(look::say("anna", blue, "gute Nacht alle")));
    // A text that makes the matcher give up is no censored word.
    const std::string explosive = std::string(300, 'a') + "c";
    anna->say(explosive);
    EXPECT_TRUE(berta->expect_html(look::say("anna", blue, explosive)));
    EXPECT_TRUE(anna->expect_html(look::say("anna", blue, explosive)));

    anna->say("du DOOF");
    EXPECT_TRUE(anna->app.expect_lines({txt(is_censored), "EXT"}));
    EXPECT_TRUE(anna->app.expect_closed());
    EXPECT_TRUE(berta->app.expect_lines({txt(censored("anna")), proto_line("DEL", {"anna"})}));

    EXPECT_EQ(logged("censored.log"), (events{"censored: \"du DOOF\" by anna"}));
    // The room's log is in the plain look.
    EXPECT_EQ(logged("lobby.r"),
              (events{"<div class=\"actionEnter\">anna betritt den Chat.</div>",
                      "<div class=\"actionEnter\">berta betritt den Chat.</div>",
                      "<span class=\"internSay\">anna:</span> <span class=\"actionSay\" style=\"color:#0000FF;\">"
                      "gute Nacht alle</span><br>",
                      "<span class=\"internSay\">anna:</span> <span class=\"actionSay\" style=\"color:#0000FF;\">" +
                          explosive + "</span><br>",
                      censored("anna")}));
    // The user's log: log-in, all she received in her look, log-out.
    EXPECT_EQ(logged("anna.u"),
              (events{"<div class=\"login\">Login: anna [Extern-IP: 127.0.0.1; Intern-IP: 10.0.0.1; User-Agent: "
                      "TestApplet/1.0; Referer: http://www.example.org/chat.html]</div>",
                      look::room_info("Lobby", lobby_subject, {"anna"}), look::enter("berta"),
                      look::say("anna", blue, "gute Nacht alle"), look::say("anna", blue, explosive), is_censored,
                      "<div class=\"logout\">Logout: anna</div>"}));
}

TEST_F(security_daemon, client_values_are_escaped_in_the_log_in_line) {
    login_form form = login_as("anna");
    form.internal = "10.0.0.<9>";
    form.user_agent = "UA <b>\"x\"&";
    form.referer = "http://www.example.org/<i>";
    applet a;
    auto hello = greet(a, form);
    ASSERT_TRUE(hello);
    a.authenticate(challenge_answer(hello->challenge));
    EXPECT_TRUE(a.read_until("NRM ").found);
    a.close();
    ASSERT_TRUE(test_support::wait_for_text(dir.file("anna.u"), "Logout: anna"));
    EXPECT_EQ(logged("anna.u").front(),
              "<div class=\"login\">Login: anna [Extern-IP: 127.0.0.1; Intern-IP: 10.0.0.&lt;9&gt;; User-Agent: "
              "UA &lt;b&gt;&quot;x&quot;&amp;; Referer: http://www.example.org/&lt;i&gt;]</div>");
}

TEST_F(security_daemon, sighup_with_a_broken_file_keeps_the_old_rules) {
    const std::string security = dir.file("security.conf");
    const std::string replace = dir.file("replace.conf");
    dir.write("security.conf", "u ^evil noaccess\nu (bad noaccess\n");
    daemon->signal(SIGHUP);
    ASSERT_TRUE(test_support::wait_for_text(log(), "unrecognized syntax"));
    EXPECT_EQ(test_support::count_lines(log(), "error: in file '" + security + "' at line 2: unrecognized syntax"), 1);

    // The old rules: "bad" is refused, "evil" is not.
    const auto refused = [this](const std::string& nickname) {
        applet a;
        auto hello = greet(a, login_as(nickname));
        if (!hello) return testing::AssertionFailure() << "no CNT for " << nickname;
        a.authenticate(challenge_answer(hello->challenge));
        a.read_line();  // the welcome
        const auto next = a.read_line();
        return next == "NCK" ? testing::AssertionSuccess() : testing::AssertionFailure() << next.value_or("nothing");
    };
    EXPECT_TRUE(refused("badboy"));
    EXPECT_FALSE(refused("evilboy"));

    // The security file is good now, the replacement file is not: the new
    // rules are in force and the old replacements stay.
    dir.write("security.conf", "u ^evil noaccess\n");
    dir.write("replace.conf", "# new\ngn8 = x\nbroken\n");
    daemon->signal(SIGHUP);
    ASSERT_TRUE(test_support::wait_for_text(log(), "replace.conf"));
    EXPECT_EQ(test_support::count_lines(log(), "error: in file '" + replace + "' at line 3: unrecognized syntax"), 1);
    EXPECT_EQ(test_support::count_lines(log(), "configuration reloaded"), 0);
    EXPECT_FALSE(refused("badboy"));
    EXPECT_TRUE(refused("evilboy"));
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    anna->say("gn8");
    EXPECT_TRUE(anna->expect_html(look::say("anna", blue, "gute Nacht")));

    dir.write("replace.conf", "gn8 = n8\n");
    daemon->signal(SIGHUP);
    ASSERT_TRUE(test_support::wait_for_text(log(), "configuration reloaded"));
    anna->say("gn8");
    EXPECT_TRUE(anna->expect_html(look::say("anna", blue, "n8")));
}

}  // namespace
