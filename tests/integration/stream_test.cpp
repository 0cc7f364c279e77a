// The browser stream port: the page and the chat on it, the requests that
// name no waiting session, the limits on unfinished requests and on the
// sessions of one address; and the daemon's end with sessions of every kind.
#include "integration/daemon_fixture.hpp"

using namespace daemon_support;

namespace {

std::string http_302(const std::string& headers) {
    return "HTTP/1.1 302 OK\r\nCache-Control: no-cache\r\n" + headers + "Expires: 0\r\n\r\n";
}
const std::string home = http_302("Pragma: no-cache\r\nLocation: http://localhost/\r\nServer: vortachat/2.2\r\n");

// nginx on this host passes the streams on; an address holds two sessions.
class stream_test : public vcd_daemon {
protected:
    std::string settings() const override { return "all.proxies = 127.0.0.1\nlimit.sessions = 2\n"; }

    // What comes back to a stream request for `path`, once the daemon has closed.
    static std::string streamed(const std::string& path) {
        browser stream;
        stream.request(path);
        EXPECT_TRUE(stream.closed()) << path;
        return stream.received();
    }
    // The stream's path for the session that `a` opened from 10.0.0.1 as `nick`.
    static std::string path_of(applet& a, const std::string& nick, int offset = 0) {
        a.send_login(login_as(nick));
        const greeting hello = a.read_greeting().value_or(greeting{});
        return "10.0.0.1/" + hello.random_id + "/" + std::to_string(challenge_answer(hello.challenge) + offset) + "/";
    }
};

TEST_F(stream_test, the_stream_carries_the_page_then_the_chat_and_ends_its_session) {
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    applet berta, carl;
    const std::string path = path_of(berta, "berta"), id = path.substr(9, path.find('/', 9) - 9);
    for (const std::string& wrong : {std::string(), std::string("10.0.0.1/"), "10.0.0.1/" + id + "0/1/",
                                     "10.0.0.2/" + path.substr(9)})
        EXPECT_EQ(streamed(wrong), home);
    browser stream;
    stream.request(path);
    EXPECT_TRUE(stream.expect_next(
        http_302("Connection: Keep-Alive\r\nPragma: no-cache\r\nServer: vortachat/2.2\r\nContent-Type: text/html\r\n") +
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\" \"http://www.w3.org/TR/REC-html40/loose.dtd\">"
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-15\">"
        "<title>vorta chat</title><link rel=\"stylesheet\" type=\"text/css\" href=\"http://static.test/basic.css\">"
        "<link rel=\"stylesheet\" type=\"text/css\" href=\"http://static.test/skin.css\">"
        "<script type=\"text/javascript\" src=\"http://static.test/chat.js\"></script>"
        "<script type=\"text/javascript\">autoscroll(true);</script></head><body><!--" +
        std::string(1000, ' ') + "-->" + welcome_text + "<div class=\"roomInfo\">"));
    // The applet gets the protocol lines but neither the welcome nor the chat.
    EXPECT_TRUE(berta.expect_lines({"LGN", proto_line("NRM", {"Lobby", "anna", "berta"})}));
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    berta.send_text(".nm plain");
    EXPECT_TRUE(stream.skip_past("</div>") && stream.expect_next(plain_mode));
    anna->say("<b>zur\xFC" "ck</b>");
    const std::string back = say("anna", "&lt;b&gt;zur\xFC" "ck&lt;/b&gt;");
    EXPECT_TRUE(stream.expect_next(back));
    // A second request for the session is sent home; the stream goes on until
    // the browser closes it, which ends the session.
    EXPECT_EQ(streamed(path), home);
    stream.close(true);
    EXPECT_TRUE(berta.expect_closed());
    EXPECT_TRUE(anna->app.expect_lines({back, quit("berta"), "DEL \"berta\""}));
    // A stream with a wrong answer ends the session at once, without a word.
    EXPECT_EQ(streamed(path_of(carl, "carl", 1)), "");
    EXPECT_TRUE(carl.expect_closed());
    // None of them left a descriptor behind.
    anna.reset();
    applet probe;  // once the daemon has ended this one, it has been through every close before
    probe.send_line("XYZ");
    EXPECT_TRUE(probe.expect_closed());
    EXPECT_EQ(stop(), 0);
    EXPECT_EQ(logged("smooth shutdown (fds: 3)"), 1);
}

// One address holds at most 16 unfinished requests on the stream and web
// ports together; more are closed at once and logged once a minute. The
// proxy's requests are every visitor's: they are not limited.
TEST_F(stream_test, unfinished_requests_of_an_address_and_its_sessions_are_limited) {
    std::vector<std::unique_ptr<connection>> held;
    for (int i = 0; i < 33; ++i)
        held.push_back(std::make_unique<connection>(i % 2 ? web_port : browser_port, 0, i < 16 ? "127.0.0.2" : ""));
    for (auto& request : held) ASSERT_TRUE(request->send_raw("GET /"));
    // Answered once the daemon has taken every request queued before it.
    EXPECT_EQ(streamed("10.0.0.1/x/1/"), home);
    for (int port : {browser_port, web_port}) {
        connection over(port, 0, "127.0.0.2");
        EXPECT_TRUE(over.closed() && over.received().empty()) << port;
    }
    for (auto& request : held) EXPECT_FALSE(request->closed(0ms));
    EXPECT_EQ(logged("] refused 127.0.0.2: too many unfinished requests"), 1);
    held.clear();
    connection settle(web_port, 0, "127.0.0.2");  // a place given back is free again
    ASSERT_TRUE(settle.send_raw("GET /chat/x HTTP/1.1\r\n\r\n"));
    EXPECT_TRUE(settle.closed() && !settle.received().empty());

    // One session more than the limit is refused as a banned address is, and
    // a place given back is free again.
    auto anna = log_in("anna");
    auto berta = log_in("berta");
    ASSERT_TRUE(anna && berta);
    applet carl;
    carl.send_login(login_as("carl"));
    carl.authenticate(challenge_answer(carl.read_greeting().value_or(greeting{}).challenge));
    EXPECT_TRUE(carl.expect_lines({welcome_text, banned_html, "EXT"}));
    EXPECT_TRUE(carl.closed());
    EXPECT_EQ(logged("] refused 127.0.0.1: too many sessions"), 1);
    berta->app.close();
    EXPECT_TRUE(anna->app.read_until("DEL \"berta\"").found);
    EXPECT_TRUE(log_in("dora"));
}

using shutdown_test = vcd_daemon;

TEST_F(shutdown_test, termination_tells_every_session_and_ends_smoothly) {
    auto anna = log_in("anna");
    auto berta = log_in("berta", true);
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    applet carl, dora;  // identified, not yet authenticated; connected, nothing sent
    carl.send_login(login_as("carl"));
    ASSERT_TRUE(carl.read_greeting());
    // A round trip after dora's connection: the daemon has taken it on.
    anna->say("runde");
    EXPECT_TRUE(anna->expect_html(say("anna", "runde")) && berta->expect_html(say("anna", "runde")));
    stopped = true;
    daemon->signal(SIGTERM);
    // As the daemon ends, each session in a room leaves it: the others may
    // still see that in their lists, and nothing else.
    const std::string shutdown = div("msgShutdown", "Der Chat-Server wird heruntergefahren.");
    const auto ends_with_departures = [](applet& a, const std::string& other) {
        while (auto line = a.read_line()) EXPECT_EQ(*line, proto_line("DEL", {other}));
        EXPECT_TRUE(a.closed());
    };
    for (applet* a : {&anna->app, &carl, &dora}) EXPECT_TRUE(a->expect_lines({shutdown, "EXT"}));
    ends_with_departures(anna->app, "berta");
    EXPECT_TRUE(carl.expect_closed() && dora.expect_closed());
    EXPECT_TRUE(berta->web->expect_next(shutdown) && berta->web->closed());
    EXPECT_EQ(berta->web->unread(), "");
    EXPECT_TRUE(berta->app.expect_lines({"EXT"}));
    ends_with_departures(berta->app, "anna");
    EXPECT_EQ(daemon->wait_exit(), 0);
    // The listeners and the five connections of the four sessions.
    EXPECT_EQ(logged("smooth shutdown (fds: 8)"), 1) << read_file(log());
}

}  // namespace
