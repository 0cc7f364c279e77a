// The browser stream port: the page and the chat on it, and the requests that
// name no waiting session.
#include "integration/daemon_fixture.hpp"

using namespace daemon_support;

namespace {

std::string http_302(const std::string& headers) {
    return "HTTP/1.1 302 OK\r\nCache-Control: no-cache\r\n" + headers + "Expires: 0\r\n\r\n";
}
const std::string home = http_302("Pragma: no-cache\r\nLocation: http://localhost/\r\nServer: vortachat/2.2\r\n");

class stream_test : public vcd_daemon {
protected:
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

}  // namespace
