// The security rules and the text filters as the clients and the operator see
// them: censored words that throw a writer out, replacements, and the log
// files of rooms and users.
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
    // A text that makes the matcher give up is no censored word.
    const std::string explosive = std::string(300, 'a') + "c";
    for (const auto& [typed, shown] : {std::pair<std::string, std::string>{"gn8 alle", "gute Nacht alle"},
                                       {explosive, explosive}}) {
        anna->say(typed);
        EXPECT_TRUE(anna->expect_html(look.say("anna", shown)) && berta->expect_html(look.say("anna", shown)));
    }
    const std::string is_censored = div("msgIsCensored", "Du wirst aufgrund der Verwendung eines zensierten Wortes "
                                                         "automatisch aus dem Chat gekickt.");
    const std::string censored =
        div("msgCensored", "anna hat ein zensiertes Wort verwendet und wird automatisch aus dem Chat gekickt.");
    anna->say("du DOOF");
    EXPECT_TRUE(anna->app.expect_lines({is_censored, "EXT"}));
    EXPECT_TRUE(anna->app.expect_closed());
    EXPECT_TRUE(berta->app.expect_lines({censored, "DEL \"anna\""}));
    EXPECT_EQ(log_events(dir.file("censored.log")), (events{"censored: \"du DOOF\" by anna"}));
    // The room's log is in the plain look.
    EXPECT_EQ(log_events(dir.file("lobby.r")), (events{plain.enter("anna"), plain.enter("berta"),
                                                       plain.say("anna", "gute Nacht alle"),
                                                       plain.say("anna", explosive), censored}));
    // The user's log: log-in, all she received in her look, log-out.
    EXPECT_EQ(log_events(dir.file("anna.u")),
              (events{"<div class=\"login\">Login: anna [Extern-IP: 127.0.0.1; Intern-IP: 10.0.0.&lt;9&gt;; "
                      "User-Agent: UA &lt;b&gt;&quot;x&quot;&amp;; Referer: http://www.example.org/&lt;i&gt;]</div>",
                      look.room_info("Lobby", lobby_subject, {"anna"}), look.enter("berta"),
                      look.say("anna", "gute Nacht alle"), look.say("anna", explosive), is_censored,
                      "<div class=\"logout\">Logout: anna</div>"}));
}

}  // namespace
