// The security rules and the text filters as the clients and the operator see
// them: censored words that throw a writer out, replacements, the log files of
// rooms and users, and reloading the rules on SIGHUP.
#include "integration/daemon_fixture.hpp"
#include "support/log_events.hpp"

using namespace daemon_support;

namespace {

using events = std::vector<std::string>;

class security_daemon : public vcd_daemon {
protected:
    std::string security_rules() const override {
        return "r lobby >\nu anna >\nc doof >censored.log exit\nc (a+)+b exit\nu ^bad noaccess\n";
    }
    std::string replacements() const override { return "gn8 = gute Nacht\n"; }
    events events_of(const std::string& file) const { return log_events(dir.file(file)); }
};

TEST_F(security_daemon, censored_words_replacements_and_the_logs_of_a_conversation) {
    // The client's values are escaped in the log-in line of the user's log.
    login_form form = login_as("anna");
    form.internal = "10.0.0.<9>";
    form.user_agent = "UA <b>\"x\"&";
    form.referer = "http://www.example.org/<i>";
    auto anna = log_in(form);
    auto berta = log_in("berta");
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    anna->say("gn8 alle");
    EXPECT_TRUE(anna->expect_html(look.say("anna", "gute Nacht alle")));
    EXPECT_TRUE(berta->expect_html(look.say("anna", "gute Nacht alle")));
    // A text that makes the matcher give up is no censored word.
    const std::string explosive = std::string(300, 'a') + "c";
    anna->say(explosive);
    EXPECT_TRUE(berta->expect_html(look.say("anna", explosive)));
    EXPECT_TRUE(anna->expect_html(look.say("anna", explosive)));

    const std::string is_censored = div("msgIsCensored", "Du wirst aufgrund der Verwendung eines zensierten Wortes "
                                                         "automatisch aus dem Chat gekickt.");
    const std::string censored =
        div("msgCensored", "anna hat ein zensiertes Wort verwendet und wird automatisch aus dem Chat gekickt.");
    anna->say("du DOOF");
    EXPECT_TRUE(anna->app.expect_lines({is_censored, "EXT"}));
    EXPECT_TRUE(anna->app.expect_closed());
    EXPECT_TRUE(berta->app.expect_lines({censored, "DEL \"anna\""}));
    EXPECT_EQ(events_of("censored.log"), (events{"censored: \"du DOOF\" by anna"}));
    // The room's log is in the plain look.
    EXPECT_EQ(events_of("lobby.r"), (events{plain.enter("anna"), plain.enter("berta"), plain.say("anna", "gute Nacht alle"),
                                            plain.say("anna", explosive), censored}));
    // The user's log: log-in, all she received in her look, log-out.
    EXPECT_EQ(events_of("anna.u"),
              (events{"<div class=\"login\">Login: anna [Extern-IP: 127.0.0.1; Intern-IP: 10.0.0.&lt;9&gt;; "
                      "User-Agent: UA &lt;b&gt;&quot;x&quot;&amp;; Referer: http://www.example.org/&lt;i&gt;]</div>",
                      look.room_info("Lobby", lobby_subject, {"anna"}), look.enter("berta"),
                      look.say("anna", "gute Nacht alle"), look.say("anna", explosive), is_censored,
                      "<div class=\"logout\">Logout: anna</div>"}));
}

TEST_F(security_daemon, sighup_with_a_broken_file_keeps_the_old_rules) {
    // Whether a nickname is refused: the daemon asks for another.
    const auto refused = [](const std::string& nick) {
        applet a;
        a.send_login(login_as(nick));
        auto hello = a.read_greeting();
        if (!hello) return testing::AssertionFailure() << "no CNT for " << nick;
        a.authenticate(challenge_answer(hello->challenge));
        a.read_line();  // the welcome
        const auto next = a.read_line();
        return next == "NCK" ? testing::AssertionSuccess() : testing::AssertionFailure() << next.value_or("nothing");
    };
    dir.write("security.conf", "u ^evil noaccess\nu (bad noaccess\n");
    daemon->signal(SIGHUP);
    ASSERT_TRUE(wait_for_text(log(), "unrecognized syntax"));
    EXPECT_EQ(logged("error: in file '" + dir.file("security.conf") + "' at line 2: unrecognized syntax"), 1);
    EXPECT_TRUE(refused("badboy"));
    EXPECT_FALSE(refused("evilboy"));

    // The security file is good now, the replacement file is not: the new
    // rules are in force and the old replacements stay.
    dir.write("security.conf", "u ^evil noaccess\n");
    dir.write("replace.conf", "# new\ngn8 = x\nbroken\n");
    daemon->signal(SIGHUP);
    ASSERT_TRUE(wait_for_text(log(), "replace.conf"));
    EXPECT_EQ(logged("error: in file '" + dir.file("replace.conf") + "' at line 3: unrecognized syntax"), 1);
    EXPECT_EQ(logged("configuration reloaded"), 0);
    EXPECT_FALSE(refused("badboy"));
    EXPECT_TRUE(refused("evilboy"));
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    anna->say("gn8");
    EXPECT_TRUE(anna->expect_html(look.say("anna", "gute Nacht")));

    dir.write("replace.conf", "gn8 = n8\n");
    daemon->signal(SIGHUP);
    ASSERT_TRUE(wait_for_text(log(), "configuration reloaded"));
    anna->say("gn8");
    EXPECT_TRUE(anna->expect_html(look.say("anna", "n8")));
}

}  // namespace
