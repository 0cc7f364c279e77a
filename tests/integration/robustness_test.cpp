// The daemon under clients that misbehave: a browser that stops reading, many
// clients that come and go at random, and a shutdown with sessions open.
#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include "integration/chat_fixture.hpp"

using namespace chat_support;
using namespace std::chrono_literals;

namespace {

using robustness_test = chat_daemon;
using clock_type = std::chrono::steady_clock;

TEST_F(robustness_test, stream_that_stops_reading_ends_its_session_like_a_time_out) {
    auto stau = log_in("stau", "", true, 4096);
    auto anna = log_in("anna");
    auto berta = log_in("berta");
    ASSERT_TRUE(stau && anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));

    // Two speakers take turns (the flood rule counts lines in a row) with
    // texts that differ (the repetition rule counts equal texts), each waiting
    // for his own line to come back: a speaker must not fall behind with
    // reading, or he would stall himself. Every line also lands in the stream
    // that nobody reads; the kernel's buffers take the first few megabytes.
    const std::string gone = txt(look::disconnected("stau"));
    const std::string filler(900, 'f');
    std::vector<std::string> seen;  // anna's lines from the notice on
    auto watch = [&seen, &gone](const std::vector<std::string>& lines) {
        for (const auto& line : lines)
            if (!seen.empty() || line == gone) seen.push_back(line);
    };
    // Well before the five heartbeat ticks after which the silent applet of
    // "stau" would time out anyway.
    auto deadline = clock_type::now() + 25s;
    for (int n = 0; seen.empty() && n < 20000 && clock_type::now() < deadline; ++n) {
        visitor& speaker = n % 2 ? *anna : *berta;
        visitor& other = n % 2 ? *berta : *anna;
        std::string text = std::to_string(n) + " " + filler;
        speaker.say(text);
        auto echo = speaker.app.read_until(txt(look::say(speaker.nickname, "0000FF", text)));
        ASSERT_TRUE(echo.found) << "line " << n << " did not come back";
        if (&speaker == anna.get()) watch(echo.lines);
        auto rest = other.app.drain();
        if (&other == anna.get()) watch(rest);
        if (n % 500 == 0) {
            anna->app.send("HTB");
            berta->app.send("HTB");
        }
    }
    if (seen.empty() && anna->app.read_until(gone, 13s).found) seen.push_back(gone);
    ASSERT_FALSE(seen.empty()) << "the stalled stream was never dropped";
    // The notice, then the list without it.
    if (seen.size() == 1) seen.push_back(anna->app.read_line().value_or("(nothing)"));
    EXPECT_EQ(seen[1], proto_line("DEL", {"stau"}));
    EXPECT_TRUE(stau->app.closed());

    // The others go on, and newcomers get in.
    auto neu = log_in("neu");
    ASSERT_TRUE(neu);
    EXPECT_TRUE(anna->app.read_until(proto_line("ADD", {"neu"})).found);
    neu->say("hallo");
    // Lines said before "neu" came may still be on their way to him.
    EXPECT_TRUE(neu->app.read_until(txt(look::say("neu", "0000FF", "hallo"))).found);
}

TEST_F(robustness_test, termination_tells_every_session_and_ends_smoothly) {
    auto anna = log_in("anna");
    auto berta = log_in("berta", "", true);
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    applet carl;  // identified, not yet authenticated
    login_form form;
    form.nickname = "carl";
    carl.send_login(form);
    ASSERT_TRUE(carl.read_greeting());
    applet dora;  // connected, nothing sent
    // A round trip after dora's connection: the daemon has taken it on.
    anna->say("runde");
    EXPECT_TRUE(anna->expect_html(look::say("anna", "0000FF", "runde")));
    EXPECT_TRUE(berta->expect_html(look::say("anna", "0000FF", "runde")));

    stopped = true;
    daemon->signal(SIGTERM);
    // As the daemon ends, each session in a room leaves it: the others may
    // still see that in their lists, and nothing else.
    auto ends_with_departures = [](applet& a, const std::string& other) {
        while (auto line = a.read_line()) EXPECT_EQ(*line, proto_line("DEL", {other}));
        EXPECT_TRUE(a.closed());
    };
    for (applet* a : {&anna->app, &carl, &dora}) EXPECT_TRUE(a->expect_lines({txt(look::shutdown), "EXT"}));
    ends_with_departures(anna->app, "berta");
    EXPECT_TRUE(carl.expect_closed());
    EXPECT_TRUE(dora.expect_closed());
    EXPECT_TRUE(berta->web->expect_next(look::shutdown));
    EXPECT_TRUE(berta->web->closed());
    EXPECT_EQ(berta->web->unread(), "");
    EXPECT_TRUE(berta->app.expect_lines({"EXT"}));
    ends_with_departures(berta->app, "anna");
    EXPECT_EQ(daemon->wait_exit(), 0);
    // The listeners and the five connections of the four sessions.
    EXPECT_EQ(test_support::count_lines(log(), "smooth shutdown (fds: 8)"), 1) << test_support::read_file(log());
}

// Ticks follow the clock, not the traffic: while a room chats a line a
// second, a silent applet hears four heartbeats and is dropped on the fifth
// tick, and unfinished requests on the stream and web ports are dropped on
// the third (ticks are 12 s, so 24 to 36 s after they were opened).
TEST_F(robustness_test, heartbeats_and_time_outs_keep_time_while_a_room_chats) {
    auto anna = log_in("anna");
    auto berta = log_in("berta");
    auto stumm = log_in("stumm");
    ASSERT_TRUE(anna && berta && stumm);
    test_support::connection stream(test_support::browser_port), web(test_support::web_port);
    ASSERT_TRUE(stream.send_raw("GET /10.0.0.1/") && web.send_raw("GET /chat/ HTTP/1.1\r\n"));
    const auto opened = clock_type::now();
    std::vector<clock_type::duration> dropped(2, clock_type::duration::zero());
    const std::string gone = txt(look::disconnected("stumm"));
    bool heard_gone = false;
    for (int n = 0; !heard_gone && clock_type::now() < opened + 80s; ++n) {
        (n % 2 ? anna : berta)->say("Zeile " + std::to_string(n));
        std::this_thread::sleep_for(1s);
        for (const auto& line : anna->app.drain()) heard_gone = heard_gone || line == gone;
        berta->app.drain();
        stumm->app.drain();
        anna->app.send("HTB");
        berta->app.send("HTB");
        test_support::connection* requests[] = {&stream, &web};
        for (int i = 0; i < 2; ++i)
            if (dropped[i] == clock_type::duration::zero() && requests[i]->closed(0ms))
                dropped[i] = clock_type::now() - opened;
    }
    ASSERT_TRUE(heard_gone) << "the silent visitor was never timed out";
    EXPECT_TRUE(stumm->app.closed());
    EXPECT_EQ(stumm->app.heartbeats, 4);
    for (auto after : dropped) {
        EXPECT_GT(after, 20s) << "dropped before its third tick";
        EXPECT_LT(after, 40s) << "kept after its third tick";
    }
}

// One address holds at most "limit.pending" (16) unfinished requests on the
// stream and web ports together; more are closed at once and logged once a
// minute, while other addresses are served.
TEST_F(robustness_test, unfinished_requests_per_address_are_limited) {
    // Answered requests show that the daemon has seen the start-up probes go.
    for (int port : {test_support::browser_port, test_support::web_port})
        ASSERT_TRUE(test_support::exchange(port, "GET /chat/x HTTP/1.1\r\n\r\n").has_value());
    std::vector<std::unique_ptr<test_support::connection>> held;
    for (int i = 0; i < 16; ++i) {
        held.push_back(std::make_unique<test_support::connection>(i % 2 ? test_support::web_port
                                                                           : test_support::browser_port));
        ASSERT_TRUE(held.back()->send_raw("GET /"));
    }
    // Another address is served; its answer also shows that the daemon has
    // taken every request queued before it.
    for (int port : {test_support::browser_port, test_support::web_port}) {
        test_support::connection other(port, 0, "127.0.0.2");
        ASSERT_TRUE(other.send_raw("GET /chat/x HTTP/1.1\r\nHost: chat.test\r\n\r\n"));
        EXPECT_TRUE(other.closed());
        EXPECT_EQ(other.received().substr(0, 9), "HTTP/1.1 ") << port;
    }
    test_support::connection over_stream(test_support::browser_port), over_web(test_support::web_port);
    EXPECT_TRUE(over_stream.closed());
    EXPECT_TRUE(over_web.closed());
    for (auto& request : held) EXPECT_FALSE(request->closed(0ms));
    EXPECT_EQ(test_support::count_lines(log(), "] refused 127.0.0.1: too many unfinished requests"), 1);
    // A place given back is free again.
    held.clear();
    test_support::connection settle(test_support::web_port, 0, "127.0.0.2");
    ASSERT_TRUE(settle.send_raw("GET /chat/x HTTP/1.1\r\n\r\n"));
    EXPECT_TRUE(settle.closed());
    EXPECT_TRUE(test_support::exchange(test_support::web_port, "GET /chat/x HTTP/1.1\r\n\r\n").has_value());
}

class descriptor_flood_test : public robustness_test {
protected:
    test_support::launch_options launch_with() const override {
        return {.descriptor_limit = 32, .hard_limit_too = true};
    }
};

// A daemon that cannot raise its limit runs out of descriptors while two
// visitors chat; once the flood closes, a new visitor gets in at once.
TEST_F(descriptor_flood_test, a_listener_out_of_descriptors_takes_visitors_again_once_the_flood_closes) {
    auto anna = log_in("anna");
    auto berta = log_in("berta");
    ASSERT_TRUE(anna && berta);
    std::vector<std::unique_ptr<applet>> flood;
    for (int i = 0; i < 40; ++i) flood.push_back(std::make_unique<applet>());
    ASSERT_TRUE(test_support::wait_for_text(log(), std::strerror(EMFILE)));
    anna->say("noch da");
    EXPECT_TRUE(berta->expect_html(look::say("anna", "0000FF", "noch da")));
    flood.clear();
    const auto closed = clock_type::now();
    auto carl = log_in("carl");
    ASSERT_TRUE(carl);
    EXPECT_LT(clock_type::now() - closed, 2s);
    EXPECT_TRUE(anna->app.read_until(proto_line("ADD", {"carl"})).found);
}

// One of several threads that open clients at a steady pace and let them do
// things and vanish at random: some stay logged in for a while and chat, the
// others leave at some step of the log-in.
class churner {
public:
    churner(int index, std::atomic<int>& started, int quota, clock_type::duration spread)
        : rng_(static_cast<unsigned>(index) * 7919u + 1u), index_(index), started_(started), quota_(quota),
          spread_(spread) {}

    void run() {
        auto start = clock_type::now();
        auto hard_deadline = start + spread_ + 10s;
        int created = 0;
        while (clock_type::now() < hard_deadline && (created < quota_ || clock_type::now() < start + spread_)) {
            if (created < quota_ && clock_type::now() >= start + spread_ * created / quota_) {
                ++created;
                ++started_;
                if (pick(3) == 0)
                    add_resident();
                else
                    transient();
            } else if (!residents_.empty()) {
                act(pick(residents_.size()));
            }
            drain();
            std::this_thread::sleep_for(5ms);
        }
        for (auto& r : residents_) {
            if (r->web && pick(2)) r->web->close(pick(2));
            r->app.close(pick(2));
        }
    }

private:
    struct resident {
        applet app;
        std::unique_ptr<browser> web;
    };

    std::size_t pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(rng_); }
    std::string nickname() { return "c" + std::to_string(index_) + "x" + std::to_string(serial_++); }
    std::string room() {
        static const char* const rooms[] = {"", "Lobby", "Technik", "Plauderecke", "Nirgendwo"};
        return rooms[pick(5)];
    }

    std::optional<test_support::greeting> greet(applet& a, login_form form = {}) {
        form.nickname = nickname();
        form.room = room();
        a.send_login(form);
        return a.read_greeting(1s);
    }

    void add_resident() {
        auto r = std::make_unique<resident>();
        auto hello = greet(r->app);
        if (!hello) return;
        int answer = challenge_answer(hello->challenge);
        if (pick(3) == 0) {
            r->web = std::make_unique<browser>();
            r->web->request_stream("10.0.0.1", hello->random_id, answer);
        } else {
            r->app.authenticate(answer);
        }
        if (r->app.read_until("NRM ", 2s).found) residents_.push_back(std::move(r));
    }

    // Something a logged-in visitor does; a little of it ends his session.
    void act(std::size_t which) {
        applet& a = residents_[which]->app;
        std::size_t choice = pick(100);
        if (choice < 30)
            a.send_text("hallo " + std::to_string(serial_++));
        else if (choice < 40)
            a.send_text(".me winkt " + std::to_string(serial_++));
        else if (choice < 45)
            a.send_text(".history");
        else if (choice < 55)
            a.send("COL", {std::to_string(pick(999999))});
        else if (choice < 65)
            a.send("RPW", {room().empty() ? "Technik" : room(), ""});
        else if (choice < 70)
            a.send_text(".nix " + std::to_string(serial_++));
        else if (choice < 98)
            a.send("HTB");
        else {
            if (residents_[which]->web && pick(2)) residents_[which]->web->close(pick(2));
            a.close(pick(2));
            residents_.erase(residents_.begin() + static_cast<std::ptrdiff_t>(which));
        }
    }

    // A client that does not stay.
    void transient() {
        switch (pick(10)) {
        case 0: applet().close(pick(2)); break;
        case 1: applet().send_raw("LGN \"vcp2\" \"halb"); break;
        case 2: {
            applet a;
            greet(a);
            break;
        }
        case 3: {
            applet a;
            if (auto hello = greet(a)) {
                a.authenticate(challenge_answer(hello->challenge));
                a.read_line(200ms);
            }
            a.close(true);
            break;
        }
        case 4: {
            applet a;
            if (auto hello = greet(a)) {
                browser web;
                web.request_stream("10.0.0.1", hello->random_id, challenge_answer(hello->challenge));
                web.wait_for("<body>", 500ms);
                if (pick(2)) web.close(pick(2));
                a.close(pick(2));
            }
            break;
        }
        case 5: browser().send_raw("GET /10.0.0.1/1234"); break;
        case 6: {
            browser web;
            web.request(std::to_string(pick(100000)) + "/" + std::to_string(pick(100000)) + "/1/");
            web.closed(1s);
            break;
        }
        case 7: {
            applet a;
            login_form form;
            form.protocol = "vcp1";
            greet(a, form);
            break;
        }
        case 8: applet().send_raw(std::string(1100, 'g')); break;
        default: {
            applet a;
            if (auto hello = greet(a)) {
                a.authenticate(challenge_answer(hello->challenge));
                browser web;
                web.request_stream("10.0.0.1", hello->random_id, challenge_answer(hello->challenge));
                web.closed(1s);
            }
        }
        }
    }

    void drain() {
        for (auto it = residents_.begin(); it != residents_.end();) {
            (*it)->app.drain();
            if ((*it)->web) (*it)->web->drain();
            it = (*it)->app.closed(0ms) ? residents_.erase(it) : it + 1;
        }
    }

    std::mt19937 rng_;
    int index_;
    std::atomic<int>& started_;
    int quota_;
    clock_type::duration spread_;
    int serial_ = 0;
    std::vector<std::unique_ptr<resident>> residents_;
};

TEST_F(robustness_test, clients_that_come_and_go_at_random_leave_nothing_behind) {
    // 500 clients over ten seconds, from four threads.
    std::atomic<int> started{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&started, i] { churner(i, started, 125, 10s).run(); });
    for (auto& t : threads) t.join();
    std::cout << "clients started: " << started.load() << "\n";

    auto fresh = log_in("frisch");
    ASSERT_TRUE(fresh);
    fresh->say("alles ruhig?");
    // Departures of the last churning clients may still come first.
    EXPECT_TRUE(fresh->app.read_until(txt(look::say("frisch", "0000FF", "alles ruhig?"))).found);
    fresh->app.close();
    // A session that the daemon ends itself: once it is gone, the daemon has
    // been through every close that came before.
    applet probe;
    probe.send_line("XYZ");
    EXPECT_TRUE(probe.expect_closed());

    EXPECT_EQ(stop(), 0);
    EXPECT_EQ(test_support::count_lines(log(), "smooth shutdown (fds: 3)"), 1) << test_support::read_file(log());
}

}  // namespace
