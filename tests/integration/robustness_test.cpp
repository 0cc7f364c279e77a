// The daemon under clients that misbehave: a browser that stops reading, a
// silent applet, unfinished requests, a flood of connections, and a shutdown
// with sessions open.
#include <algorithm>
#include <cstring>
#include <thread>

#include "integration/daemon_fixture.hpp"

using namespace daemon_support;

namespace {

using robustness_test = vcd_daemon;
using clock_type = std::chrono::steady_clock;

const std::string shutdown = div("msgShutdown", "Der Chat-Server wird heruntergefahren.");
std::string disconnected(const std::string& nick) {
    return txt(div("msgDisconnected", "Die Verbindung zu " + nick + " wurde unterbrochen."));
}

// Ticks follow the clock, not the traffic. While two visitors flood the room
// with lines, a stream that nobody reads is dropped as soon as the daemon's
// buffer for it is full, with the notice of a time-out; then, while they chat
// a line a second, a silent applet hears four heartbeats and is dropped on the
// fifth tick, and unfinished requests on the stream and web ports on the
// third (ticks are 12 s, so 24 to 36 s after they were opened).
TEST_F(robustness_test, heartbeats_and_time_outs_keep_time_while_a_room_chats) {
    auto stau = log_in("stau", "", true, 4096);
    auto anna = log_in("anna");
    auto berta = log_in("berta");
    auto stumm = log_in("stumm");
    ASSERT_TRUE(stau && anna && berta && stumm);
    connection stream(browser_port), web(web_port);
    ASSERT_TRUE(stream.send_raw("GET /10.0.0.1/") && web.send_raw("GET /chat/ HTTP/1.1\r\n"));
    const auto opened = clock_type::now();
    connection* requests[] = {&stream, &web};
    clock_type::duration dropped[] = {{}, {}}, stalled{};
    std::vector<std::string> heard;  // anna's lines
    const auto heard_of = [&heard](const std::string& nick) {
        return std::find(heard.begin(), heard.end(), disconnected(nick));
    };
    // The speakers take turns (the flood rule counts lines in a row) with
    // texts that differ (the repetition rule counts equal texts), each waiting
    // for his own line to come back, so as not to stall himself.
    auto beat = opened;
    for (int n = 0; heard_of("stumm") == heard.end() && clock_type::now() < opened + 80s; ++n) {
        visitor &speaker = n % 2 ? *anna : *berta, &other = n % 2 ? *berta : *anna;
        const bool flood = stalled == clock_type::duration{};
        const std::string text = std::to_string(n) + (flood ? std::string(900, 'f') : "");
        speaker.say(text);
        auto echo = speaker.app.read_until(txt(look.say(speaker.nickname, text)));
        ASSERT_TRUE(echo.found) << "line " << n << " did not come back";
        auto rest = other.app.drain();
        heard.insert(heard.end(), (n % 2 ? echo.lines : rest).begin(), (n % 2 ? echo.lines : rest).end());
        stumm->app.drain();
        if (flood && heard_of("stau") != heard.end()) stalled = clock_type::now() - opened;
        if (!flood) std::this_thread::sleep_for(1s);
        if (clock_type::now() > beat + 1s) {
            beat = clock_type::now();
            anna->app.send("HTB");
            berta->app.send("HTB");
        }
        for (int i = 0; i < 2; ++i)
            if (dropped[i] == clock_type::duration{} && requests[i]->closed(0ms)) dropped[i] = clock_type::now() - opened;
    }
    // Each notice, then the list without him.
    for (const char* nick : {"stau", "stumm"}) {
        auto at = heard_of(nick);
        ASSERT_NE(at, heard.end()) << nick << " was never dropped";
        EXPECT_EQ(at + 1 == heard.end() ? anna->app.read_line().value_or("") : *(at + 1), proto_line("DEL", {nick}));
    }
    EXPECT_LT(stalled, 40s) << "the stalled stream was dropped by the clock, not for its buffer";
    EXPECT_TRUE(stau->app.closed());
    EXPECT_TRUE(stumm->app.closed());
    EXPECT_EQ(stumm->app.heartbeats, 4);
    for (auto after : dropped) {
        EXPECT_GT(after, 20s) << "dropped before its third tick";
        EXPECT_LT(after, 40s) << "kept after its third tick";
    }
    // The others go on, and newcomers get in.
    auto neu = log_in("neu");
    ASSERT_TRUE(neu);
    EXPECT_TRUE(anna->app.read_until(proto_line("ADD", {"neu"})).found);
    neu->say("hallo");
    // Lines said before "neu" came may still be on their way to him.
    EXPECT_TRUE(neu->app.read_until(txt(look.say("neu", "hallo"))).found);
}

TEST_F(robustness_test, termination_tells_every_session_and_ends_smoothly) {
    auto anna = log_in("anna");
    auto berta = log_in("berta", "", true);
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    applet carl, dora;  // identified, not yet authenticated; connected, nothing sent
    carl.send_login(login_as("carl"));
    ASSERT_TRUE(carl.read_greeting());
    // A round trip after dora's connection: the daemon has taken it on.
    anna->say("runde");
    EXPECT_TRUE(anna->expect_html(look.say("anna", "runde")) && berta->expect_html(look.say("anna", "runde")));

    stopped = true;
    daemon->signal(SIGTERM);
    // As the daemon ends, each session in a room leaves it: the others may
    // still see that in their lists, and nothing else.
    auto ends_with_departures = [](applet& a, const std::string& other) {
        while (auto line = a.read_line()) EXPECT_EQ(*line, proto_line("DEL", {other}));
        EXPECT_TRUE(a.closed());
    };
    for (applet* a : {&anna->app, &carl, &dora}) EXPECT_TRUE(a->expect_lines({shutdown, "EXT"}));
    ends_with_departures(anna->app, "berta");
    EXPECT_TRUE(carl.expect_closed() && dora.expect_closed());
    EXPECT_TRUE(berta->web->expect_next(shutdown));
    EXPECT_TRUE(berta->web->closed());
    EXPECT_EQ(berta->web->unread(), "");
    EXPECT_TRUE(berta->app.expect_lines({"EXT"}));
    ends_with_departures(berta->app, "anna");
    EXPECT_EQ(daemon->wait_exit(), 0);
    // The listeners and the five connections of the four sessions.
    EXPECT_EQ(logged("smooth shutdown (fds: 8)"), 1) << read_file(log());
}

// One address holds at most "limit.pending" (16) unfinished requests on the
// stream and web ports together; more are closed at once and logged once a
// minute, while other addresses are served.
TEST_F(robustness_test, unfinished_requests_per_address_are_limited) {
    // Answered requests show that the daemon has seen the start-up probes go.
    for (int port : {browser_port, web_port})
        ASSERT_TRUE(exchange(port, "GET /chat/x HTTP/1.1\r\n\r\n").has_value());
    std::vector<std::unique_ptr<connection>> held;
    for (int i = 0; i < 16; ++i) {
        held.push_back(std::make_unique<connection>(i % 2 ? web_port : browser_port));
        ASSERT_TRUE(held.back()->send_raw("GET /"));
    }
    // Another address is served; its answer also shows that the daemon has
    // taken every request queued before it.
    for (int port : {browser_port, web_port}) {
        connection other(port, 0, "127.0.0.2");
        ASSERT_TRUE(other.send_raw("GET /chat/x HTTP/1.1\r\nHost: chat.test\r\n\r\n"));
        EXPECT_TRUE(other.closed());
        EXPECT_EQ(other.received().substr(0, 9), "HTTP/1.1 ") << port;
    }
    connection over_stream(browser_port), over_web(web_port);
    EXPECT_TRUE(over_stream.closed() && over_web.closed());
    for (auto& request : held) EXPECT_FALSE(request->closed(0ms));
    EXPECT_EQ(logged("] refused 127.0.0.1: too many unfinished requests"), 1);
    // A place given back is free again.
    held.clear();
    connection settle(web_port, 0, "127.0.0.2");
    ASSERT_TRUE(settle.send_raw("GET /chat/x HTTP/1.1\r\n\r\n"));
    EXPECT_TRUE(settle.closed());
    EXPECT_TRUE(exchange(web_port, "GET /chat/x HTTP/1.1\r\n\r\n").has_value());
}

}  // namespace
