// The daemon under clients that misbehave: a browser that stops reading, many
// clients that come and go at random, and a shutdown with sessions open.
#include <atomic>
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
