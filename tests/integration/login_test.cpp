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
    berta.send_text("<b>zur\xFC" "ck</b>");
    const std::string back = look.say("berta", "&lt;b&gt;zur\xFC" "ck&lt;/b&gt;");
    EXPECT_TRUE(stream.expect_next(back));
    EXPECT_TRUE(anna->expect_html(back));
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
    const auto length = [](const std::string& css_class, const std::string& bound) {
        return div(css_class, "Der Nickname ist zu " + bound + " Zeichen ein.");
    };
    const std::string too_short = length("msgNicknameTooShort", "kurz. Gib einen neuen Nickname mit mindestens 3");
    const struct {
        std::string nick, message;
    } attempts[] = {
        {"ab", too_short},
        {"", too_short},
        // not cut with "NCK"
        {"abcdefghijklmnop", length("msgNicknameTooLong", "lang. Gib einen neuen Nickname mit h&ouml;chstens 15")},
        {"ab<c", invalid("&lt;")},
        {"gr\xFCn", invalid("\xFC")},
        {"an na", invalid(" ")},
        {"ANNA", div("msgNicknameDouble", "Es ist bereits jemand unter dem Nickname anna eingeloggt. Gib einen "
                                          "neuen Nickname ein, um dich in den Chat einzuloggen.")},
    };
    for (const auto& [nick, message] : attempts) {
        a.send("NCK", {nick});
        EXPECT_TRUE(a.expect_lines({"NCK", message})) << nick;
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

std::string lgn(const std::string& protocol, const std::string& nick, const std::string& banned = "false") {
    const login_form form;
    return proto_line("LGN", {protocol, nick, "", "", form.internal, form.user_agent, form.referer, form.comment,
                              banned});
}

// Each case ends with the daemon closing the applet connection.
TEST_F(login_test, out_of_order_or_refused_lines_close_the_connection) {
    // What comes before the line: nothing, the log-in line (of a browser
    // marked as banned), or the whole log-in.
    enum phase { fresh, greeted, flagged, inside };
    const struct {
        const char* name;
        phase before;
        std::string line;                 // "{answer}" is the challenge's answer, "{wrong}" one more
        std::vector<std::string> answer;  // the lines before the close
    } cases[] = {
        {"another protocol word", fresh, lgn("vcp1", "anna"), {"EXT \"vcp2\""}},
        {"empty nickname", fresh, lgn("vcp2", ""), {}},
        {"answer before the log-in line", fresh, "AUT \"-1\"", {}},
        {"text before the log-in", fresh, txt("hallo"), {}},
        {"colour before the log-in", fresh, proto_line("COL", {"FF0000"}), {}},
        {"unknown verb", fresh, "XYZ", {}},
        {"verb in lower case", fresh, "lgn \"vcp2\" \"anna\"", {}},
        {"second log-in line", greeted, lgn("vcp2", "berta"), {}},
        {"wrong challenge answer", greeted, "AUT \"{wrong}\"", {}},
        {"nickname before the answer", greeted, proto_line("NCK", {"berta"}), {}},
        {"password of a guest", greeted, proto_line("PWD", {"geheim"}), {}},
        {"browser marked as banned", flagged, "AUT \"{answer}\"", {welcome_text, banned_html, "EXT"}},
        {"second challenge answer", inside, "AUT \"{answer}\"", {}},
        {"unknown verb in the chat", inside, "XYZ", {}},
        {"colour with a letter beyond F", inside, proto_line("COL", {"GG"}), {}},
        {"colour of seven digits", inside, proto_line("COL", {"1234567"}), {}},
        {"colour with a hash sign", inside, proto_line("COL", {"#00FF00"}), {}},
        {"empty colour", inside, proto_line("COL", {""}), {}},
        {"colour without value", inside, "COL", {}},
        {"log-in line in the chat", inside, lgn("vcp2", "anders"), {}},
        {"nickname line in the chat", inside, proto_line("NCK", {"anders"}), {}},
        {"password line of a guest in the chat", inside, proto_line("PWD", {"geheim"}), {}},
        {"room password line without room", inside, proto_line("RPW", {"", ""}), {proto_line("COL", {blue})}},
        {"1025 bytes without line feed", inside, "TXT \"" + std::string(1020, 'x'), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        applet a;
        std::string line = c.line;
        if (c.before != fresh) {
            a.send_line(lgn("vcp2", "anna", c.before == flagged ? "true" : "false"));
            const int right = challenge_answer(a.read_greeting().value_or(greeting{}).challenge);
            for (const auto& [mark, value] : {std::pair<std::string, int>{"{answer}", right}, {"{wrong}", right + 1}})
                if (const auto at = line.find(mark); at != std::string::npos)
                    line.replace(at, mark.size(), std::to_string(value));
            if (c.before == inside) a.authenticate(right);
        }
        EXPECT_TRUE(c.before != inside || (a.read_until("NRM ").found && a.read_line()));
        a.send_raw(line + (line.size() > 1000 ? "" : "\n"));
        EXPECT_TRUE(a.expect_lines(c.answer));
        EXPECT_TRUE(a.expect_closed());
    }
    EXPECT_EQ(logged("] refused 127.0.0.1: banned address"), 1);
    // A stream closed by the browser, and one with a wrong answer, end the session.
    for (int offset : {0, 1}) {
        applet a;
        browser stream;
        stream.request(stream_path("10.0.0.1", greet(a, "anna"), offset));
        if (offset == 0) {
            EXPECT_TRUE(stream.wait_for("<body>") && a.read_until("NRM ").found);
            stream.close(true);
        } else {
            EXPECT_TRUE(stream.closed());
            EXPECT_EQ(stream.received(), "");
        }
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
        browser stream;
        stream.request(path);
        EXPECT_TRUE(stream.closed());
        EXPECT_EQ(stream.received(), home_redirect) << path;
    }
    // The session was not touched: it answers on the applet. A stream for it
    // now ends it, without a farewell in the room.
    a.authenticate(challenge_answer(hello.challenge));
    EXPECT_TRUE(a.read_until("NRM ").found && expect_arrival(*anna, "berta"));
    browser stream;
    stream.request(stream_path("10.0.0.1", hello));
    EXPECT_TRUE(stream.closed());
    EXPECT_EQ(stream.received(), "");
    a.read_line(0ms);  // the room information
    EXPECT_TRUE(a.expect_closed());
    EXPECT_TRUE(anna->app.expect_line("DEL \"berta\""));
}

// nginx on this host passes the streams on; an address holds two sessions.
class proxied_login_test : public vcd_daemon {
protected:
    std::string settings() const override { return "all.proxies = 127.0.0.1\nlimit.sessions = 2\n"; }
};

TEST_F(proxied_login_test, unfinished_requests_of_a_proxy_are_not_limited_but_sessions_of_an_address_are) {
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
    held.clear();

    // One session more than the limit is refused as a banned address is, and
    // a place given back is free again.
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
