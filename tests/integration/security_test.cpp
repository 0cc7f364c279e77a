// The security rules and the text filters as the operator sees them: the log
// files of censored words, rooms and users, with the clients' values escaped.
#include "integration/daemon_fixture.hpp"
#include "support/log_events.hpp"

using namespace daemon_support;

namespace {

using events = std::vector<std::string>;

class security_daemon : public vcd_daemon {
protected:
    void write_files() override {
        dir.write("security.conf", "r lobby >\nu anna >\nc doof >censored.log exit\nu ^bad noaccess\n");
        dir.write("replace.conf", "gn8 = gute Nacht\n");
    }
};

TEST_F(security_daemon, censored_words_replacements_and_the_logs_of_a_conversation) {
    login_form form = login_as("anna");
    form.internal = "10.0.0.<9>";
    form.user_agent = "UA <b>\"x\"&";
    form.referer = "http://www.example.org/<i>";
    auto anna = log_in(form);
    auto berta = log_in("berta");
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    anna->say("gn8 alle");
    const std::string night = say("anna", "gute Nacht alle");
    EXPECT_TRUE(anna->expect_html(night) && berta->expect_html(night));
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
    EXPECT_EQ(log_events(dir.file("lobby.r")), (events{enter("anna"), enter("berta"), night, censored}));
    // The user's log: log-in, all she received in her look, log-out.
    events user = log_events(dir.file("anna.u"));
    ASSERT_GT(user.size(), 1u);
    EXPECT_EQ(user[1].rfind("<div class=\"roomInfo\">", 0), 0u) << user[1];
    user.erase(user.begin() + 1);
    EXPECT_EQ(user, (events{"<div class=\"login\">Login: anna [Extern-IP: 127.0.0.1; Intern-IP: 10.0.0.&lt;9&gt;; "
                            "User-Agent: UA &lt;b&gt;&quot;x&quot;&amp;; Referer: http://www.example.org/&lt;i&gt;]</div>",
                            plain_mode, enter("berta"), night, is_censored, "<div class=\"logout\">Logout: anna</div>"}));
}

}  // namespace
