// The browser stream port: the page, then the chat on it; the session ends
// with the stream.
#include "integration/daemon_fixture.hpp"

using namespace daemon_support;

namespace {

using stream_test = vcd_daemon;

TEST_F(stream_test, the_stream_carries_the_page_then_the_chat_and_ends_its_session) {
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    applet berta;
    berta.send_login(login_as("berta"));
    const greeting hello = berta.read_greeting().value_or(greeting{});
    browser stream;
    stream.request("10.0.0.1/" + hello.random_id + "/" + std::to_string(challenge_answer(hello.challenge)) + "/");
    EXPECT_TRUE(stream.expect_next(
        "HTTP/1.1 302 OK\r\nCache-Control: no-cache\r\nConnection: Keep-Alive\r\nPragma: no-cache\r\n"
        "Server: vortachat/2.2\r\nContent-Type: text/html\r\nExpires: 0\r\n\r\n"
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
    stream.close(true);
    EXPECT_TRUE(berta.expect_closed());
    EXPECT_TRUE(anna->app.expect_lines({back, quit("berta"), "DEL \"berta\""}));
    // It left no descriptor behind.
    anna.reset();
    applet probe;  // once the daemon has ended this one, it has been through every close before
    probe.send_line("XYZ");
    EXPECT_TRUE(probe.expect_closed());
    EXPECT_EQ(stop(), 0);
    EXPECT_EQ(logged("smooth shutdown (fds: 3)"), 1);
}

}  // namespace
