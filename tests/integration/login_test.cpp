// The ways into the chat, seen from the client: the applet alone or with the
// browser stream, the challenge, and every refusal with its message and the
// applet line that tells the client what to do next.
#include <functional>
#include <regex>

#include "integration/daemon_fixture.hpp"

using namespace daemon_support;

namespace {

using login_test = vcd_daemon;

// Sends "LGN" for `nick` and reads the "CNT" answer.
greeting greet(applet& a, const std::string& nick, login_form form = {}) {
    form.nickname = nick;
    a.send_login(form);
    auto answer = a.read_greeting();
    EXPECT_TRUE(answer.has_value()) << "no CNT line for " << nick;
    return answer.value_or(greeting{});
}
std::string stream_path(const std::string& internal, const greeting& hello, int offset = 0) {
    return internal + "/" + hello.random_id + "/" + std::to_string(challenge_answer(hello.challenge) + offset) + "/";
}

TEST_F(login_test, browser_stream_carries_the_page_and_then_the_chat) {
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    applet berta;
    login_form form;
    form.internal = "10.0.0.7";
    const greeting hello = greet(berta, "berta", form);
    browser stream;
    stream.request(stream_path("10.0.0.7", hello));
    EXPECT_TRUE(stream.expect_next(stream_head));
    ASSERT_TRUE(stream.wait_for("<html>"));
    const std::string doctype = stream.unread().substr(0, stream.unread().find("<html>"));
    stream.skip_past(doctype);
    EXPECT_TRUE(std::regex_match(doctype, std::regex("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4\\.0 Transitional//EN\" "
                                                     "\"http://www\\.w3\\.org/TR/REC-html40/loose\\.dtd\">",
                                                     std::regex::icase)))
        << doctype;
    EXPECT_TRUE(stream.expect_next(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-15\">"
        "<title>vorta chat</title>"
        "<link rel=\"stylesheet\" type=\"text/css\" href=\"http://static.test/basic.css\">"
        "<link rel=\"stylesheet\" type=\"text/css\" href=\"http://static.test/skin.css\">"
        "<script type=\"text/javascript\" src=\"http://static.test/chat.js\"></script>"
        "<script type=\"text/javascript\">autoscroll(true);</script></head><body><!--" +
        std::string(1000, ' ') + "-->" + welcome_text + look.room_info("Lobby", lobby_subject, {"anna", "berta"})));
    // The applet gets the protocol lines but neither the welcome nor the chat.
    EXPECT_TRUE(berta.expect_lines({"LGN", nrm("Lobby", {"anna", "berta"})}));
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    anna->say("<b>fett</b>");
    EXPECT_TRUE(stream.expect_next(look.say("anna", "&lt;b&gt;fett&lt;/b&gt;")));
    EXPECT_TRUE(anna->expect_html(look.say("anna", "&lt;b&gt;fett&lt;/b&gt;")));
    berta.send_text("zur\xFC" "ck");
    EXPECT_TRUE(stream.expect_next(look.say("berta", "zur\xFC" "ck")));
    EXPECT_TRUE(anna->expect_html(look.say("berta", "zur\xFC" "ck")));
    EXPECT_TRUE(berta.drain().empty());

    // A second request for the same session is sent home; the stream goes on.
    browser second;
    second.request(stream_path("10.0.0.7", hello));
    EXPECT_TRUE(second.closed());
    EXPECT_EQ(second.received(), home_redirect);
    anna->say("noch da?");
    EXPECT_TRUE(stream.expect_next(look.say("anna", "noch da?")));
}

TEST_F(login_test, refused_nicknames_ask_for_another_until_one_fits) {
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    applet a;
    // The nickname travels escaped in "CNT" and its first bad character
    // HTML-escaped in the message.
    const greeting hello = greet(a, "a\"b");
    EXPECT_EQ(hello.nickname, "a\"b");
    a.authenticate(challenge_answer(hello.challenge));
    const auto invalid = [](const std::string& c) {
        return div("msgNicknameInvalid", "Der Nickname enth&auml;lt mindestens ein ung&uuml;ltiges Zeichen ('" + c +
                                             "'). Gib einen neuen Nickname ein, um dich einzuloggen.");
    };
    EXPECT_TRUE(a.expect_lines({welcome_text, "NCK", invalid("&quot;")}));
    const std::string too_short = div("msgNicknameTooShort", "Der Nickname ist zu kurz. Gib einen neuen Nickname "
                                                             "mit mindestens 3 Zeichen ein.");
    const std::string taken = div("msgNicknameDouble", "Es ist bereits jemand unter dem Nickname anna eingeloggt. Gib "
                                                       "einen neuen Nickname ein, um dich in den Chat einzuloggen.");
    const struct {
        std::string nick, message;
    } attempts[] = {
        {"ab", too_short},
        {"", too_short},
        {"abcdefghijklmnop", div("msgNicknameTooLong", "Der Nickname ist zu lang. Gib einen neuen Nickname mit "
                                                       "h&ouml;chstens 15 Zeichen ein.")},  // not cut with "NCK"
        {"ab<c", invalid("&lt;")},
        {"gr\xFCn", invalid("\xFC")},
        {"an na", invalid(" ")},
        {"ANNA", taken},
    };
    for (const auto& [nick, message] : attempts) {
        SCOPED_TRACE(nick);
        a.send("NCK", {nick});
        EXPECT_TRUE(a.expect_lines({"NCK", message}));
    }
    a.send("NCK", {"abc"});
    EXPECT_TRUE(a.expect_lines({"LGN", nrm("Lobby", {"anna", "abc"}),
                                look.room_info("Lobby", lobby_subject, {"anna", "abc"})}));
    EXPECT_TRUE(expect_arrival(*anna, "abc"));

    // A nickname too long in the log-in line is cut instead.
    applet b;
    const greeting cut = greet(b, "abcdefghijklmnopqrs");
    EXPECT_EQ(cut.nickname, "abcdefghijklmno");
    b.authenticate(challenge_answer(cut.challenge));
    EXPECT_TRUE(b.expect_lines({welcome_text, "LGN", nrm("Lobby", {"anna", "abc", "abcdefghijklmno"})}));
}

TEST_F(login_test, out_of_order_or_refused_lines_close_the_connection) {
    const struct {
        const char* name;
        std::function<void(applet&)> steps;  // what happens before the daemon closes
    } cases[] = {
        {"another protocol word",
         [](applet& a) {
             login_form form = login_as("anna");
             form.protocol = "vcp1";
             a.send_login(form);
             EXPECT_TRUE(a.expect_line("EXT \"vcp2\""));
         }},
        {"empty nickname", [](applet& a) { a.send_login(login_form{}); }},
        {"second log-in line",
         [](applet& a) {
             greet(a, "anna");
             a.send_login(login_as("berta"));
         }},
        {"wrong challenge answer", [](applet& a) { a.authenticate(challenge_answer(greet(a, "anna").challenge) + 1); }},
        {"answer before the log-in line", [](applet& a) { a.authenticate(-1); }},
        {"second challenge answer",
         [](applet& a) {
             const int answer = challenge_answer(greet(a, "anna").challenge);
             a.authenticate(answer);
             EXPECT_TRUE(a.read_until("NRM ").found);
             a.read_line();
             a.authenticate(answer);
         }},
        {"browser marked as banned",
         [this](applet& a) {
             login_form form;
             form.banned = "true";
             a.authenticate(challenge_answer(greet(a, "anna", form).challenge));
             EXPECT_TRUE(a.expect_lines({welcome_text, banned_html, "EXT"}));
             EXPECT_TRUE(wait_for_text(log(), "] refused 127.0.0.1: banned address\n"));
         }},
        {"text before the log-in", [](applet& a) { a.send_text("hallo"); }},
        {"colour before the log-in", [](applet& a) { a.send("COL", {"FF0000"}); }},
        {"nickname before the answer",
         [](applet& a) {
             greet(a, "anna");
             a.send("NCK", {"berta"});
         }},
        {"password of a guest",
         [](applet& a) {
             greet(a, "anna");
             a.send("PWD", {"geheim"});
         }},
        {"unknown verb", [](applet& a) { a.send_line("XYZ"); }},
        {"verb in lower case", [](applet& a) { a.send_line("lgn \"vcp2\" \"anna\""); }},
        {"stream closed by the browser",
         [](applet& a) {
             browser stream;
             stream.request(stream_path("10.0.0.1", greet(a, "anna")));
             EXPECT_TRUE(stream.wait_for("<body>"));
             EXPECT_TRUE(a.read_until("NRM ").found);
             stream.close(true);
         }},
        {"browser with a wrong answer",
         [](applet& a) {
             browser stream;
             stream.request(stream_path("10.0.0.1", greet(a, "anna"), 1));
             EXPECT_TRUE(stream.closed());
             EXPECT_EQ(stream.received(), "");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        applet a;
        c.steps(a);
        EXPECT_TRUE(a.expect_closed());
    }
    // None of them left a session behind that holds the nickname or a descriptor.
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    anna->app.close(true);
    applet probe;  // once the daemon has ended this one, it has been through every close before
    probe.send_line("XYZ");
    EXPECT_TRUE(probe.expect_closed());
    EXPECT_EQ(stop(), 0);
    EXPECT_EQ(logged("smooth shutdown (fds: 3)"), 1);
}

TEST_F(login_test, browser_requests_that_name_no_waiting_session_are_sent_home) {
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    applet a;
    const greeting hello = greet(a, "berta");
    const std::string other_id = std::stoi(hello.random_id) == 8096 ? "8097" : "8096";
    for (const std::string& path : {std::string(), std::string("10.0.0.1/"), "10.0.0.1/" + other_id + "/1/",
                                    stream_path("10.0.0.2", hello)}) {
        SCOPED_TRACE(path);
        browser stream;
        stream.request(path);
        EXPECT_TRUE(stream.closed());
        EXPECT_EQ(stream.received(), home_redirect);
    }
    // The session was not touched: it answers on the applet.
    a.authenticate(challenge_answer(hello.challenge));
    EXPECT_TRUE(a.read_until("NRM ").found);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    // A stream for a session that the applet opened already ends it, without
    // a farewell in the room.
    browser stream;
    stream.request(stream_path("10.0.0.1", hello));
    EXPECT_TRUE(stream.closed());
    EXPECT_EQ(stream.received(), "");
    a.read_line(0ms);  // the room information
    EXPECT_TRUE(a.expect_closed());
    EXPECT_TRUE(anna->app.expect_line("DEL \"berta\""));
}

// nginx on this host passes the streams on.
class proxied_login_test : public vcd_daemon {
protected:
    std::string settings() const override { return "all.proxies = 127.0.0.1\n"; }
};

TEST_F(proxied_login_test, a_stream_through_a_trusted_proxy_finds_the_session_of_the_visitor_it_names) {
    const struct {
        const char *what, *session_source, *stream_source, *headers;
        bool matched;
    } cases[] = {
        {"forwarded for the visitor", "127.0.0.2", "127.0.0.1", "X-Forwarded-For: 10.0.0.9, 127.0.0.2\r\n", true},
        {"forwarded for another", "127.0.0.1", "127.0.0.1", "X-Forwarded-For: 127.0.0.9\r\n", false},
        {"not a proxy: ignored", "127.0.0.2", "127.0.0.2", "X-Forwarded-For: 127.0.0.1\r\n", true},
        {"not a proxy: cannot claim", "127.0.0.1", "127.0.0.2", "X-Forwarded-For: 127.0.0.1\r\n", false},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        applet a(c.session_source);
        browser stream(0, c.stream_source);
        stream.request(stream_path("10.0.0.1", greet(a, "anna" + std::to_string(row++))), "TestBrowser/1.0", c.headers);
        if (c.matched) {
            EXPECT_TRUE(stream.expect_next(stream_head));
            EXPECT_TRUE(a.read_until("NRM ").found);
        } else {
            EXPECT_TRUE(stream.closed());
            EXPECT_EQ(stream.received(), home_redirect);
        }
    }
    // Every visitor's unfinished request comes from the proxy: it is not held
    // to one address's share.
    std::vector<std::unique_ptr<connection>> held;
    for (int i = 0; i < 17; ++i) {
        held.push_back(std::make_unique<connection>(browser_port));
        ASSERT_TRUE(held.back()->send_raw("GET /"));
    }
    // Answered once the daemon has taken every request queued before it.
    browser other(0, "127.0.0.2");
    other.request("10.0.0.1/x/1/");
    EXPECT_TRUE(other.closed());
    for (auto& request : held) EXPECT_FALSE(request->closed(0ms));
}

class session_limit_test : public vcd_daemon {
protected:
    std::string settings() const override { return "limit.sessions = 2\n"; }
};

// "limit.sessions" logged-in sessions per address; one more is refused as a
// banned address is, and a place given back is free again.
TEST_F(session_limit_test, an_address_holds_at_most_the_limit_of_sessions) {
    auto anna = log_in("anna");
    auto berta = log_in("berta");
    ASSERT_TRUE(anna && berta);
    applet carl;
    carl.authenticate(challenge_answer(greet(carl, "carl").challenge));
    EXPECT_TRUE(carl.expect_lines({welcome_text, banned_html, "EXT"}));
    EXPECT_TRUE(carl.closed());
    EXPECT_EQ(logged("] refused 127.0.0.1: too many sessions"), 1);
    berta->app.close();
    EXPECT_TRUE(anna->app.read_until("DEL \"berta\"").found);
    EXPECT_TRUE(log_in("dora"));
}

}  // namespace
