// The daemon with a store: nicknames registered by the operator's command
// line or by ".register", passwords at log-in, ranks that can ban, bans that
// outlive the process, and profiles that come back at the next log-in.
#include "integration/command_fixture.hpp"

using namespace command_support;
using chat_support::look::room_info_start;
using chat_support::welcome_text;
using test_support::login_form;

namespace {

const std::string password_please = txt("<div class=\"pwPlease\">Der Nickname ist registriert. Bitte Passwort eingeben.</div>");
const std::string password_wrong = txt("<div class=\"pwWrong\">Das Passwort ist falsch. Bitte erneut eingeben.</div>");
const std::string access_denied =
    txt("<div class=\"pwAccessDenied\">Das Passwort ist falsch. Der Zugang zum Chat wird verweigert.</div>");
const std::string password_ok = txt("<div class=\"pwOk\">Passwort ok, eingeloggt!</div>");
const std::string ip_banned =
    txt("<div class=\"msgIpBanned\">Der von dir benutzte Computer ist f&uuml;r den Chat gesperrt.</div>");

class store_daemon : public command_daemon {
protected:
    std::string settings() const override { return "db.connection = sqlite:run/vcd.db\nreg.open = 1\n"; }
    // Visitors may not ban; the rank "chef" may, for up to 20 minutes.
    std::string ranks() const override {
        return "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\n"
               "chef Chef 4 4 0 1 1 50 0 20 1 3 1\n";
    }

    // `vcd -c CONFIG words...` with `input` on standard input; its status, and
    // its output and errors together.
    std::pair<int, std::string> vcd(std::vector<std::string> words, const std::string& input = "") {
        words.insert(words.begin(), {"-c", config()});
        auto result = run_binary(words, input);
        return {result.status, result.output + result.errors};
    }

    // Sends "LGN" with `password` and answers the challenge; what the applet
    // reads next is the daemon's answer to the password.
    std::unique_ptr<visitor> knock(const std::string& nickname, const std::string& password = "") {
        auto v = std::make_unique<visitor>();
        v->nickname = nickname;
        login_form form = test_support::login_as(nickname);
        form.password = password;
        v->app.send_login(form);
        auto greeting = v->app.read_greeting();
        if (!greeting) return nullptr;
        v->app.authenticate(test_support::challenge_answer(greeting->challenge));
        if (!v->app.expect_line(txt(welcome_text))) return nullptr;
        return v;
    }

    // Logs out with ".exit" and waits until the daemon has closed, so that
    // the nickname is free again.
    static void leave(std::unique_ptr<visitor>& v) {
        v->say(".exit");
        EXPECT_TRUE(v->app.closed()) << v->nickname;
        v.reset();
    }

    // Logs `nickname` in with his password in the log-in line.
    std::unique_ptr<visitor> member(const std::string& nickname, const std::string& password) {
        login_form form = test_support::login_as(nickname);
        form.password = password;
        return log_in(form);
    }
};

// A rank given by the command line can ban; the ban is in the store, lasts
// through a restart of the daemon and ends with the operator's "unban".
TEST_F(store_daemon, a_rank_from_the_command_line_bans_and_the_ban_outlives_a_restart) {
    EXPECT_EQ(vcd({"register", "anna", "chef"}, "geheim123\n"), std::make_pair(0, std::string()));
    EXPECT_EQ(vcd({"register", "ANNA"}, "geheim123\n"),
              std::make_pair(1, std::string("error: nickname 'ANNA' is registered already\n")));
    auto anna = member("anna", "geheim123");
    ASSERT_TRUE(anna);
    // A registered log-in gets its colour right after "LGN".
    EXPECT_EQ(std::vector<std::string>(anna->arrival.begin(), anna->arrival.end() - 1),
              (std::vector<std::string>{txt(welcome_text), "LGN", "COL \"0000FF\""}));
    anna->say(".nm plain");
    EXPECT_TRUE(anna->app.expect_html("<div class=\"msgModeChanged\">Mode wurde auf Plain ge&auml;ndert.</div>"));
    auto bert = log_in("bert");
    ASSERT_TRUE(bert);
    EXPECT_TRUE(anna->app.expect_lines({plain::add("bert"), plain::enter("bert")}));
    anna->say(".ban bert 5");
    EXPECT_TRUE(bert->app.expect_line(proto_line("BAN", {"5"})));
    EXPECT_TRUE(anna->app.expect_html(
        "<div class=\"actionBan\">bert wird f&uuml;r 5 Minuten gebannt.</div>"));
    const auto [status, listed] = vcd({"bans"});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(listed.rfind("ban 127.0.0.1 until ", 0), 0u) << listed;

    anna.reset();
    bert.reset();
    ASSERT_EQ(stop(), 0);
    start();
    // Every test client comes from 127.0.0.1: the ban refuses them all.
    auto carl = knock("carl");
    ASSERT_TRUE(carl);
    EXPECT_TRUE(carl->app.expect_lines({ip_banned, "EXT"}));
    EXPECT_EQ(vcd({"unban", "127.0.0.1"}), std::make_pair(0, std::string()));
    EXPECT_EQ(vcd({"bans"}), std::make_pair(0, std::string()));
    EXPECT_TRUE(log_in("carl"));
}

// A wrong password in the log-in line and two after the prompt are asked
// again, the third after the prompt ends the try. After three wrong ones the
// address waits a minute for that nickname, and even the right password is
// answered as a wrong one. Each refusal is logged for fail2ban.
TEST_F(store_daemon, wrong_passwords_are_asked_again_then_refused_then_throttled) {
    ASSERT_EQ(vcd({"register", "anna"}, "geheim123\n").first, 0);
    auto anna = knock("anna");
    ASSERT_TRUE(anna);
    EXPECT_TRUE(anna->app.expect_lines({password_please, "PWD"}));
    anna->app.send("PWD", {"geheim123"});
    EXPECT_TRUE(anna->app.expect_lines({password_ok, "LGN", "COL \"0000FF\""}));
    leave(anna);

    anna = knock("anna", "falsch01");
    ASSERT_TRUE(anna);
    EXPECT_TRUE(anna->app.expect_lines({password_please, "PWD"}));
    anna->app.send("PWD", {"falsch02"});
    EXPECT_TRUE(anna->app.expect_lines({"PWD", password_wrong}));
    anna->app.send("PWD", {"falsch03"});
    EXPECT_TRUE(anna->app.expect_lines({"PWD", password_wrong}));
    EXPECT_TRUE(test_support::wait_for_text(log(), "too many"));
    anna->app.send("PWD", {"geheim123"});
    EXPECT_TRUE(anna->app.expect_lines({access_denied, "EXT"}));
    EXPECT_TRUE(anna->app.expect_closed());
    EXPECT_EQ(test_support::count_lines(log(), "] refused 127.0.0.1: wrong password for anna"), 4);
    EXPECT_EQ(test_support::count_lines(log(), "] refused 127.0.0.1: too many wrong passwords for anna"), 1);

    anna = knock("anna", "geheim123");
    ASSERT_TRUE(anna);
    EXPECT_TRUE(anna->app.expect_lines({password_please, "PWD"}));
    anna->app.send("PWD", {"geheim123"});
    EXPECT_TRUE(anna->app.expect_lines({"PWD", password_wrong}));
    EXPECT_EQ(test_support::count_lines(log(), "too many wrong passwords"), 1);
    // Other nicknames are not held up.
    EXPECT_EQ(vcd({"register", "bert"}, "geheim456\n").first, 0);
    EXPECT_TRUE(member("bert", "geheim456"));
}

// ".register" keeps the caller's nickname with a hash of his password, never
// shows the password, and refuses short passwords and taken nicknames; the
// look and colour he leaves with come back at his next log-in.
TEST_F(store_daemon, registered_by_dot_command_and_the_profile_comes_back) {
    auto people = gather({"dora", "emil"});
    ASSERT_EQ(people.size(), 2u);
    visitor *d = people[0].get(), *e = people[1].get();
    const std::string refused = "Der Nickname kann nicht registriert werden: ";
    play({
        {d, ".register kurz", {{d, {plain::div("actionRegisterFailed", refused +
                                               "das Passwort muss mindestens 8 Zeichen lang sein.")}}}},
        {d, ".register sechzehn-zeichen", {{d, {plain::div("actionRegisterFailed", refused +
                                                           "das Passwort darf h&ouml;chstens 15 Zeichen lang sein.")}}}},
        {d, ".register geheim123", {{d, {plain::div("actionRegister", "Der Nickname dora ist nun registriert. Beim "
                                                   "n&auml;chsten Einloggen wird nach dem Passwort gefragt.")}}}},
        {d, ".register geheim123", {{d, {plain::div("actionRegisterFailedTaken",
                                                   "Der Nickname dora ist bereits registriert.")}}}},
    });
    expect_quiet({d, e});  // emil saw none of it
    EXPECT_EQ(test_support::read_file(log()).find("geheim123"), std::string::npos);
    EXPECT_EQ(vcd({"register", "dora"}, "geheim123\n"),
              std::make_pair(1, std::string("error: nickname 'dora' is registered already\n")));
    leave(people[0]);

    auto dora = member("dora", "geheim123");
    ASSERT_TRUE(dora);
    dora->app.read_line();  // the room information
    dora->say("hallo");
    auto said = dora->app.read_line();
    ASSERT_TRUE(said);
    EXPECT_NE(said->find("<img"), std::string::npos) << *said;  // the look new visitors start with
    dora->say(".nm plain");
    EXPECT_TRUE(dora->app.expect_html("<div class=\"msgModeChanged\">Mode wurde auf Plain ge&auml;ndert.</div>"));
    dora->app.send("COL", {"FF0000"});
    leave(dora);

    dora = member("dora", "geheim123");
    ASSERT_TRUE(dora);
    EXPECT_EQ(dora->arrival.at(2), "COL \"FF0000\"");
    dora->app.read_line();
    dora->say("hallo");
    EXPECT_TRUE(dora->app.expect_line(
        txt("<span class=\"internSay\">dora:</span> <span class=\"actionSay\" style=\"color:#FF0000;\">hallo</span><br>")));
}

class closed_registration : public store_daemon {
protected:
    std::string settings() const override {
        return "db.connection = sqlite:run/vcd.db\nreg.open = 0\nall.onlyregs = 1\n";
    }
};

// Only registered nicknames get in; visitors cannot register themselves.
TEST_F(closed_registration, only_registered_nicknames_are_admitted) {
    auto guest = knock("gast");
    ASSERT_TRUE(guest);
    EXPECT_TRUE(guest->app.expect_lines(
        {txt("<div class=\"msgNoUnregistered\">Um diesen Chat zu betreten, musst du registriert sein. Gib einen "
             "registrierten Nickname ein, um dich einzuloggen.</div>"),
         "NCK"}));
    ASSERT_EQ(vcd({"register", "anna"}, "geheim123\n").first, 0);
    guest->app.send("NCK", {"anna"});
    EXPECT_TRUE(guest->app.expect_lines({password_please, "PWD"}));
    guest->app.send("PWD", {"geheim123"});
    EXPECT_TRUE(guest->app.expect_lines({password_ok, "LGN", "COL \"0000FF\""}));
    ASSERT_TRUE(guest->app.read_until("NRM ").found);
    guest->app.read_line();
    guest->say(".register geheim456");
    EXPECT_TRUE(guest->app.expect_html("<div class=\"actionRegisterFailed\">Der Nickname kann nicht registriert "
                                       "werden: die Registrierung ist geschlossen.</div>"));
}

}  // namespace
