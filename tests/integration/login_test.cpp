// The ways into the chat, seen from the client: the applet alone or with the
// browser stream, the challenge, and every refusal with its message and the
// applet line that tells the client what to do next.
#include <functional>
#include <regex>

#include "integration/chat_fixture.hpp"

using namespace chat_support;
using namespace std::chrono_literals;
using test_support::greeting;

namespace {

using login_test = chat_daemon;

// Sends "LGN" for `nickname` and reads the "CNT" answer.
greeting greet(applet& a, const std::string& nickname, login_form form = {}) {
    form.nickname = nickname;
    a.send_login(form);
    auto answer = a.read_greeting();
    EXPECT_TRUE(answer.has_value()) << "no CNT line for " << nickname;
    return answer.value_or(greeting{});
}

TEST_F(login_test, applet_alone_gets_the_welcome_the_room_and_the_chat_as_text_lines) {
    applet anna;
    login_form form;
    form.nickname = "anna";
    anna.send_login(form);
    auto cnt = anna.read_line();
    ASSERT_TRUE(cnt);
    auto values = test_support::proto_values(*cnt);
    ASSERT_EQ(values.size(), 5u) << *cnt;
    EXPECT_EQ(*cnt, proto_line("CNT", {"vcp2", "anna", values[2], values[3], "1"}));
    EXPECT_TRUE(std::regex_match(values[2], std::regex("[1-9][0-9]{3,4}"))) << values[2];
    EXPECT_GE(std::stol(values[2]), 8096);
    EXPECT_LE(std::stol(values[2]), 65534);
    int challenge = std::stoi(values[3]);
    EXPECT_GE(challenge, 1);
    EXPECT_LE(challenge, 16382);

    anna.authenticate(challenge_answer(challenge));
    EXPECT_TRUE(anna.expect_lines({txt(welcome_text), "LGN", nrm("Lobby", {"anna"}),
                                   txt(look::room_info("Lobby", lobby_subject, {"anna"}))}));

    // The second visitor's arrival reaches the first as "ADD" and a text line.
    applet berta;
    greeting hello = greet(berta, "berta");
    berta.authenticate(challenge_answer(hello.challenge));
    EXPECT_TRUE(berta.expect_lines({txt(welcome_text), "LGN", nrm("Lobby", {"anna", "berta"}),
                                    txt(look::room_info("Lobby", lobby_subject, {"anna", "berta"}))}));
    EXPECT_TRUE(anna.expect_lines({proto_line("ADD", {"berta"}), txt(look::enter("berta"))}));

    berta.send_text("Hallo \"Anna\"");
    std::string said = look::say("berta", "0000FF", "Hallo &quot;Anna&quot;");
    EXPECT_TRUE(anna.expect_html(said));
    EXPECT_TRUE(berta.expect_html(said));
}

TEST_F(login_test, browser_stream_carries_the_page_and_then_the_chat) {
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);

    applet berta;
    login_form form;
    form.internal = "10.0.0.7";
    greeting hello = greet(berta, "berta", form);
    browser stream;
    stream.request_stream("10.0.0.7", hello.random_id, challenge_answer(hello.challenge));

    EXPECT_TRUE(stream.expect_next(stream_head));
    ASSERT_TRUE(stream.wait_for("<html>"));
    std::string doctype = stream.take(stream.unread().find("<html>"));
    EXPECT_TRUE(std::regex_match(doctype, std::regex("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4\\.0 Transitional//EN\" "
                                                     "\"http://www\\.w3\\.org/TR/REC-html40/loose\\.dtd\">",
                                                     std::regex::icase)))
        << doctype;
    EXPECT_TRUE(stream.expect_next(page_head));
    EXPECT_TRUE(stream.expect_next(look::room_info("Lobby", lobby_subject, {"anna", "berta"})));
    // The applet gets the protocol lines but neither the welcome nor the chat.
    EXPECT_TRUE(berta.expect_lines({"LGN", nrm("Lobby", {"anna", "berta"})}));
    EXPECT_TRUE(expect_arrival(*anna, "berta"));

    anna->say("<b>fett</b>");
    std::string said = look::say("anna", "0000FF", "&lt;b&gt;fett&lt;/b&gt;");
    EXPECT_TRUE(stream.expect_next(said));
    EXPECT_TRUE(anna->expect_html(said));
    berta.send_text("zur\xFC" "ck");
    said = look::say("berta", "0000FF", "zur\xFC" "ck");
    EXPECT_TRUE(stream.expect_next(said));
    EXPECT_TRUE(anna->expect_html(said));
    EXPECT_TRUE(berta.drain().empty());
}

TEST_F(login_test, refused_nicknames_ask_for_another_until_one_fits) {
    applet a;
    // The nickname travels escaped in "CNT" and its first bad character
    // HTML-escaped in the message.
    greeting hello = greet(a, "a\"b");
    EXPECT_EQ(hello.nickname, "a\"b");
    a.authenticate(challenge_answer(hello.challenge));
    const std::string invalid = "<div class=\"msgNicknameInvalid\">Der Nickname enth&auml;lt mindestens ein "
                                "ung&uuml;ltiges Zeichen ('";
    const std::string invalid_end = "'). Gib einen neuen Nickname ein, um dich einzuloggen.</div>";
    EXPECT_TRUE(a.expect_lines({txt(welcome_text), "NCK", txt(invalid + "&quot;" + invalid_end)}));

    const std::string too_short = "<div class=\"msgNicknameTooShort\">Der Nickname ist zu kurz. Gib einen neuen "
                                  "Nickname mit mindestens 3 Zeichen ein.</div>";
    const std::string too_long = "<div class=\"msgNicknameTooLong\">Der Nickname ist zu lang. Gib einen neuen "
                                 "Nickname mit h&ouml;chstens 15 Zeichen ein.</div>";
    struct attempt {
        std::string nickname, message;
    } attempts[] = {
        {"ab", too_short},
        {"", too_short},
        {"abcdefghijklmnop", too_long},  // not cut when it comes with "NCK"
        {"ab<c", invalid + "&lt;" + invalid_end},
        {"gr\xFCn", invalid + "\xFC" + invalid_end},
        {"an na", invalid + " " + invalid_end},
    };
    for (const auto& [nickname, message] : attempts) {
        SCOPED_TRACE(nickname);
        a.send("NCK", {nickname});
        EXPECT_TRUE(a.expect_lines({"NCK", txt(message)}));
    }
    a.send("NCK", {"abc"});
    EXPECT_TRUE(a.expect_lines({"LGN", nrm("Lobby", {"abc"}), txt(look::room_info("Lobby", lobby_subject, {"abc"}))}));
}

TEST_F(login_test, overlong_nickname_in_the_log_in_line_is_cut) {
    applet a;
    greeting hello = greet(a, "abcdefghijklmnopqrs");
    EXPECT_EQ(hello.nickname, "abcdefghijklmno");
    a.authenticate(challenge_answer(hello.challenge));
    EXPECT_TRUE(a.expect_lines({txt(welcome_text), "LGN", nrm("Lobby", {"abcdefghijklmno"})}));
}

TEST_F(login_test, out_of_order_or_refused_lines_close_the_connection) {
    const std::string banned = "<div class=\"msgIpBanned\">Der von dir benutzte Computer ist f&uuml;r den Chat "
                               "gesperrt.</div>";
    struct closing {
        const char* name;
        std::function<void(applet&)> steps;  // what happens before the daemon closes
    } cases[] = {
        {"another protocol word",
         [](applet& a) {
             login_form form;
             form.nickname = "anna";
             form.protocol = "vcp1";
             a.send_login(form);
             EXPECT_TRUE(a.expect_line("EXT \"vcp2\""));
         }},
        {"empty nickname", [](applet& a) { a.send_login(login_form{}); }},
        {"second log-in line",
         [](applet& a) {
             greet(a, "anna");
             a.send_login(test_support::login_as("berta"));
         }},
        {"wrong challenge answer",
         [](applet& a) { a.authenticate(challenge_answer(greet(a, "anna").challenge) + 1); }},
        {"answer before the log-in line", [](applet& a) { a.authenticate(-1); }},
        {"second challenge answer",
         [](applet& a) {
             int answer = challenge_answer(greet(a, "anna").challenge);
             a.authenticate(answer);
             EXPECT_TRUE(a.read_until("NRM ").found);
             a.read_line();
             a.authenticate(answer);
         }},
        {"browser marked as banned",
         [this, &banned](applet& a) {
             login_form form;
             form.banned = "true";
             a.authenticate(challenge_answer(greet(a, "anna", form).challenge));
             EXPECT_TRUE(a.expect_lines({txt(welcome_text), txt(banned), "EXT"}));
             EXPECT_TRUE(test_support::wait_for_text(log(), "] refused 127.0.0.1: banned address\n"));
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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        applet a;
        c.steps(a);
        EXPECT_TRUE(a.expect_closed());
    }
    // None of them left a session behind that holds the nickname.
    EXPECT_TRUE(log_in("anna"));
}

TEST_F(login_test, nickname_of_a_live_session_is_refused_until_another_comes) {
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    anna->app.send("HTB");
    applet second;
    greeting hello = greet(second, "ANNA");
    second.authenticate(challenge_answer(hello.challenge));
    const std::string taken = "<div class=\"msgNicknameDouble\">Es ist bereits jemand unter dem Nickname anna "
                              "eingeloggt. Gib einen neuen Nickname ein, um dich in den Chat einzuloggen.</div>";
    EXPECT_TRUE(second.expect_lines({txt(welcome_text), "NCK", txt(taken)}));
    second.send("NCK", {"Anna"});
    EXPECT_TRUE(second.expect_lines({"NCK", txt(taken)}));
    second.send("NCK", {"berta"});
    EXPECT_TRUE(second.expect_lines({"LGN", nrm("Lobby", {"anna", "berta"})}));
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    // The first session was not disturbed.
    anna->say("weiter");
    EXPECT_TRUE(anna->expect_html(look::say("anna", "0000FF", "weiter")));
}

TEST_F(login_test, browser_with_a_wrong_answer_ends_the_session) {
    applet a;
    greeting hello = greet(a, "anna");
    browser stream;
    stream.request_stream("10.0.0.1", hello.random_id, challenge_answer(hello.challenge) + 1);
    EXPECT_TRUE(stream.closed());
    EXPECT_EQ(stream.received(), "");
    EXPECT_TRUE(a.expect_closed());
}

TEST_F(login_test, browser_after_the_applet_answered_ends_the_session) {
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    applet a;
    greeting hello = greet(a, "berta");
    a.authenticate(challenge_answer(hello.challenge));
    EXPECT_TRUE(a.read_until("NRM ").found);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));

    browser stream;
    stream.request_stream("10.0.0.1", hello.random_id, challenge_answer(hello.challenge));
    EXPECT_TRUE(stream.closed());
    EXPECT_EQ(stream.received(), "");
    a.read_line(std::chrono::milliseconds(0));  // the room information
    EXPECT_TRUE(a.expect_closed());
    // Removed without a farewell in the room.
    EXPECT_TRUE(anna->app.expect_line(proto_line("DEL", {"berta"})));
}

TEST_F(login_test, second_browser_request_is_redirected_and_the_first_stream_goes_on) {
    auto anna = log_in("anna");
    auto berta = log_in("berta", "", true);
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));

    browser second;
    second.request_stream("10.0.0.1", berta->greeting.random_id, challenge_answer(berta->greeting.challenge));
    EXPECT_TRUE(second.closed());
    EXPECT_EQ(second.received(), home_redirect);

    anna->say("noch da?");
    EXPECT_TRUE(berta->expect_html(look::say("anna", "0000FF", "noch da?")));
}

TEST_F(login_test, requests_that_name_no_session_are_redirected) {
    applet a;
    greeting hello = greet(a, "anna");
    std::string other_id = std::to_string(std::stoi(hello.random_id) == 8096 ? 8097 : 8096);
    for (const std::string& path :
         {std::string(), std::string("10.0.0.1/"), "10.0.0.1/" + other_id + "/1/", "10.0.0.2/" + hello.random_id + "/" +
                                                                                    std::to_string(challenge_answer(hello.challenge)) + "/"}) {
        SCOPED_TRACE(path);
        browser stream;
        stream.request(path);
        EXPECT_TRUE(stream.closed());
        EXPECT_EQ(stream.received(), home_redirect);
    }
    // The session was not touched: its own request still opens its stream.
    browser stream;
    stream.request_stream("10.0.0.1", hello.random_id, challenge_answer(hello.challenge));
    EXPECT_TRUE(stream.expect_next(stream_head));
    EXPECT_TRUE(a.expect_lines({"LGN", nrm("Lobby", {"anna"})}));
}

// nginx on this host passes the streams on.
class proxied_login_test : public chat_daemon {
protected:
    std::string settings() const override { return "all.proxies = 127.0.0.1\n"; }
};

TEST_F(proxied_login_test, a_stream_through_a_trusted_proxy_finds_the_session_of_the_visitor_it_names) {
    const struct {
        const char* what;
        const char* session_source;
        const char* stream_source;
        const char* headers;
        bool matched;
    } cases[] = {
        {"forwarded for the visitor", "127.0.0.2", "127.0.0.1", "X-Forwarded-For: 10.0.0.9, 127.0.0.2\r\n", true},
        {"real address of the visitor", "127.0.0.2", "127.0.0.1", "X-Real-IP: 127.0.0.2\r\n", true},
        {"forwarded for another", "127.0.0.1", "127.0.0.1", "X-Forwarded-For: 127.0.0.9\r\n", false},
        {"malformed", "127.0.0.1", "127.0.0.1", "X-Forwarded-For: 127.0.0.1;\r\n", true},
        {"not a proxy: ignored", "127.0.0.2", "127.0.0.2", "X-Forwarded-For: 127.0.0.1\r\n", true},
        {"not a proxy: cannot claim", "127.0.0.1", "127.0.0.2", "X-Forwarded-For: 127.0.0.1\r\n", false},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        applet a(c.session_source);
        greeting hello = greet(a, "anna" + std::to_string(row++));
        browser stream(0, c.stream_source);
        stream.request("10.0.0.1/" + hello.random_id + "/" + std::to_string(challenge_answer(hello.challenge)) + "/",
                       "TestBrowser/1.0", c.headers);
        if (c.matched) {
            EXPECT_TRUE(stream.expect_next(stream_head));
            EXPECT_TRUE(a.read_until("NRM ").found);
        } else {
            EXPECT_TRUE(stream.closed());
            EXPECT_EQ(stream.received(), home_redirect);
        }
    }
}

// Every visitor's unfinished request comes from the proxy: it is not held to
// one address's share.
TEST_F(proxied_login_test, a_trusted_proxy_is_not_held_to_the_pending_limit) {
    std::vector<std::unique_ptr<test_support::connection>> held;
    for (int i = 0; i < 17; ++i) {
        held.push_back(std::make_unique<test_support::connection>(test_support::browser_port));
        ASSERT_TRUE(held.back()->send_raw("GET /"));
    }
    // Answered once the daemon has taken every request queued before it.
    browser other(0, "127.0.0.2");
    other.request("10.0.0.1/x/1/", "TestBrowser/1.0");
    EXPECT_TRUE(other.closed());
    for (auto& request : held) EXPECT_FALSE(request->closed(0ms));
}

TEST_F(login_test, heartbeat_is_accepted_before_and_after_the_log_in) {
    applet a;
    a.send("HTB");
    a.send_line("HTB \"ignored\"");
    greeting hello = greet(a, "anna");
    a.send("HTB");
    a.authenticate(challenge_answer(hello.challenge));
    EXPECT_TRUE(a.expect_lines({txt(welcome_text), "LGN", nrm("Lobby", {"anna"})}));
    a.read_line();
    a.send("HTB");
    a.send_text("da");
    EXPECT_TRUE(a.expect_html(look::say("anna", "0000FF", "da")));
}

class session_limit_test : public chat_daemon {
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
    EXPECT_TRUE(carl.expect_lines({txt(welcome_text),
                                   txt("<div class=\"msgIpBanned\">Der von dir benutzte Computer ist f&uuml;r den "
                                       "Chat gesperrt.</div>"),
                                   "EXT"}));
    EXPECT_TRUE(carl.closed());
    EXPECT_EQ(test_support::count_lines(log(), "] refused 127.0.0.1: too many sessions"), 1);
    berta->app.close();
    EXPECT_TRUE(anna->app.read_until(proto_line("DEL", {"berta"})).found);
    EXPECT_TRUE(log_in("dora"));
}

}  // namespace
