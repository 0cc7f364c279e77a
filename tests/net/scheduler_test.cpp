#include "net/scheduler.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <thread>

#include "net/communicator.hpp"
#include "net/observer.hpp"
#include "net/tcp_server.hpp"
#include "support/daemon.hpp"

namespace {

using vorta::scheduler;
using journal = std::vector<std::string>;
using namespace std::chrono_literals;

struct socket_pair {
    socket_pair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
    ~socket_pair() { close(fds[0]), close(fds[1]); }
    int fds[2];
};

// One end of its own socket pair; records its calls and runs optional hooks.
class probe : public socket_pair, public vorta::communicator {
public:
    probe(scheduler* owner, std::string name, journal& log)
        : communicator(owner, nullptr, fds[0]), name_(std::move(name)), log_(log) {}
    void read() override {
        char buffer[64];
        if (::read(descriptor_, buffer, sizeof buffer) < 0) log_.push_back("read failed");
        call(".read", on_read);
    }
    void write() override { call(".write", on_write); }
    void timer() override { call(".timer", on_timer); }
    void poke() const { ASSERT_EQ(::write(fds[1], "x", 1), 1); }
    int fd() const { return descriptor_; }
    std::function<void()> on_read, on_write, on_timer;

private:
    void call(const char* what, const std::function<void()>& hook) {
        log_.push_back(name_ + what);
        if (hook) hook();
    }
    std::string name_;
    journal& log_;
};

struct scripted_scheduler : scheduler {
    using scheduler::scheduler;
    long milliseconds = 100000;
    void get_time(timeval& t) override { t = {milliseconds / 1000, milliseconds % 1000 * 1000}; }
};

class scheduler_test : public ::testing::Test {
protected:
    void SetUp() override { scheduler::Active = true, scheduler::Thread = nullptr; }
    void TearDown() override { scheduler::Active = true; }
    // A probe named "a", "b", ... in the order made, registered unless told not.
    probe& add(scheduler& owner, bool ticks = false, bool registered = true) {
        const std::size_t n = probes.size();
        probe& p =
            probes.emplace_back(&owner, n < 26 ? std::string(1, 'a' + n) : std::to_string(n), log);
        EXPECT_TRUE(!registered || owner.reg(p.fd(), &p, ticks));
        return p;
    }
    int rerun(scheduler& owner) { return scheduler::Active = true, owner.run(); }
    scheduler loop{12};
    journal log;
    std::deque<probe> probes;
};

TEST_F(scheduler_test, ready_records_are_served_in_table_order_and_a_withdrawn_one_gets_no_call) {
    probe &a = add(loop, false, false), &b = add(loop, false, false), &c = add(loop, false, false);
    for (probe* p : {&c, &a, &b}) ASSERT_TRUE(loop.reg(p->fd(), p, false));
    for (probe* p : {&a, &b, &c}) p->poke();
    loop.set_write(a.fd());  // a socket pair is writable at once
    loop.set_write(a.fd());  // asking twice is still one call
    int reads = 0;
    // b stays busy for a few passes; the one-shot write of a is not repeated meanwhile.
    b.on_read = [&] { ++reads < 3 ? b.poke() : scheduler::shutdown(); };
    loop.run();
    // Paused reading resumes with its readiness.
    loop.set_read(a.fd(), false);
    a.poke(), b.poke();
    b.on_read = [&] { loop.set_read(a.fd(), true); };
    a.on_read = [] { scheduler::shutdown(); };
    rerun(loop);
    EXPECT_EQ(log, (journal{"c.read", "a.read", "a.write", "b.read", "b.read", "b.read", "b.read",
                            "a.read"}));
    // Withdrawn in its own read, c gets no write; b, withdrawn before its turn, no read.
    log.clear();
    for (probe* p : {&a, &b, &c}) loop.set_write(p->fd()), p->poke();
    c.on_read = [&] { loop.unreg(c.fd()); };
    a.on_read = [&] { loop.unreg(b.fd()), scheduler::shutdown(); };
    EXPECT_EQ(rerun(loop), 1);
    EXPECT_EQ(log, (journal{"c.read", "a.read", "a.write"}));
    // A withdrawn descriptor can be registered again, and only once.
    EXPECT_TRUE(loop.reg(b.fd(), &b, false));
    EXPECT_FALSE(loop.reg(b.fd(), &b, false));
    EXPECT_FALSE(loop.reg(-1, &b, false));
    // A request from a signal handler or another thread wakes the waiting loop.
    std::thread caller([] {
        std::this_thread::sleep_for(100ms);
        scheduler::call_thread(nullptr);  // ignored
        scheduler::call_thread([] { scheduler::shutdown(); });
    });
    rerun(loop);
    caller.join();
}

// Ticks of one second on a scripted clock while b, which wants none, reads every `step` ms,
// `reads` times. Wishes of a, b, c: 't' from the start, 'o' switched on (twice) and 'f' off at
// the fifth read, '-' none. The timer calls, with the milliseconds since the start.
const struct {
    const char* what;
    const char* wishes;
    int step, reads;
    journal timers;
} tick_rows[] = {
    {"every second in table order, to those that want them", "t-t", 100, 35,
     {"a@1000", "c@1000", "a@2000", "c@2000", "a@3000", "c@3000"}},
    {"late ones come one a pass, none lost", "--t", 2500, 3, {"c@2500", "c@5000", "c@7500"}},
    {"a wish switched off ends at once", "f-o", 300, 10, {"a@1200", "c@2100", "c@3000"}},
    {"the first comes an interval after the first wish", "o--", 300, 10, {"a@2700"}},
};

TEST_F(scheduler_test, ticks_follow_the_clock_and_the_wishes_of_the_records) {
    for (const auto& row : tick_rows) {
        SCOPED_TRACE(row.what);
        scripted_scheduler clock(1);
        log.clear();
        for (int i = 0; i < 3; ++i) {
            probe& p = add(clock, row.wishes[i] == 't' || row.wishes[i] == 'f');
            p.on_timer = [&] {
                log.back() = log.back()[0] + ("@" + std::to_string(clock.milliseconds - 100000));
            };
        }
        int reads = 0;
        probes[1].on_read = [&] {
            clock.milliseconds += row.step;
            for (int i = 0, fifth = ++reads == 5; i < 3 && fifth; ++i)
                for (int twice = 0; twice < 2 && std::strchr("of", row.wishes[i]); ++twice)
                    clock.set_timer(probes[i].fd(), row.wishes[i] == 'o');
            reads >= row.reads ? scheduler::shutdown() : probes[1].poke();
        };
        probes[1].poke();
        rerun(clock);
        log.erase(std::remove(log.begin(), log.end(), "b.read"), log.end());
        EXPECT_EQ(log, row.timers);
        probes.clear();
    }
}

// A tick serves a large table in batches a gap apart, each record once an
// interval; the record where the walk goes on may be withdrawn meanwhile.
TEST_F(scheduler_test, a_tick_walks_a_large_table_in_batches) {
    scripted_scheduler clock(1);
    const int receivers = scheduler::tick_batch + 10;
    std::map<long, int> batches;  // milliseconds: ticks then
    std::vector<int> ticks(receivers, 2);
    for (int i = 0; i < receivers; ++i)
        add(clock, true).on_timer = [&, i] {
            ++batches[clock.milliseconds - 100000], --ticks[i];
            if (i == 0) clock.unreg(probes[scheduler::tick_batch].fd());
        };
    probe& busy = add(clock);
    busy.on_read = [&] { (clock.milliseconds += 5) >= 102100 ? scheduler::shutdown() : busy.poke(); };
    busy.poke();
    rerun(clock);
    EXPECT_EQ(batches, (std::map<long, int>{{1000, 256}, {1020, 9}, {2000, 256}, {2020, 9}}));
    ticks[scheduler::tick_batch] -= 2;
    EXPECT_EQ(ticks, std::vector<int>(receivers, 0));
}

// Writes asked for outside a pass, or left by an error, come in the next run.
// A pass ends with its hooks in order, then one write per request; a request
// of a record withdrawn meanwhile is dropped, even if its descriptor comes back.
TEST_F(scheduler_test, a_pass_ends_with_its_hooks_in_order_then_one_write_per_request) {
    probe &a = add(loop), &b = add(loop), &c = add(loop), &d = add(loop);
    probe& e = add(loop, false, false);
    a.on_read = [&] {
        loop.flush_later(b.fd());
        throw std::runtime_error("read failed");
    };
    a.poke();
    EXPECT_THROW(loop.run(), std::runtime_error);
    EXPECT_FALSE(loop.in_pass());
    b.on_write = [] { scheduler::shutdown(); };
    rerun(loop);
    loop.flush_later(a.fd());
    a.on_write = [] { scheduler::shutdown(); };
    rerun(loop);
    EXPECT_EQ(log, (journal{"a.read", "b.write", "a.write"}));

    log.clear();
    a.on_write = b.on_write = nullptr;
    a.on_read = [&] {
        EXPECT_TRUE(loop.in_pass());
        for (probe* p : {&b, &a, &b, &c, &d}) loop.flush_later(p->fd());
        loop.unreg(c.fd()), loop.unreg(d.fd());
        loop.reg(d.fd(), &e, false);
        loop.flush_later(d.fd());
    };
    loop.add_pass_end([&] {
        log.push_back("hook1");
        loop.flush_later(b.fd());  // already due: still one write
    });
    loop.add_pass_end([&] {
        log.push_back("hook2");
        EXPECT_TRUE(loop.in_pass());
        scheduler::shutdown();  // the pass is finished first
    });
    a.poke();
    EXPECT_EQ(rerun(loop), 3);
    EXPECT_EQ(log, (journal{"a.read", "hook1", "hook2", "b.write", "a.write", "e.write"}));
}

// A write asked for soon comes at the end of the first pass soon_ms later,
// once however often asked, in the order asked; the request of a record
// withdrawn meanwhile is dropped, even if its descriptor comes back.
TEST_F(scheduler_test, writes_asked_for_soon_come_a_while_later_in_the_order_asked) {
    scripted_scheduler clock(1);
    probe &a = add(clock), &b = add(clock), &c = add(clock);
    probe& e = add(clock, false, false);
    for (probe* p : {&a, &b, &e})
        p->on_write = [&, p] {
            log.back() += "@" + std::to_string(clock.milliseconds - 100000);
            if (p == &a) scheduler::shutdown();
        };
    const std::vector<std::function<void()>> steps{
        [&] { clock.flush_soon(b.fd()), clock.flush_soon(c.fd()), clock.flush_soon(b.fd()); },
        [&] { clock.flush_soon(a.fd()), clock.unreg(c.fd()), clock.reg(c.fd(), &e, false); },
        [] {}, [] {}, [] {}};
    // Milliseconds each step takes; a pass reads the clock when first asked.
    const std::vector<long> after{60, 0, 39, 1, 60};
    std::size_t step = 0;
    a.on_read = [&] {
        steps[step]();
        clock.milliseconds += after[step++];
        if (step < steps.size()) a.poke();
    };
    a.poke();
    rerun(clock);
    log.erase(std::remove(log.begin(), log.end(), "a.read"), log.end());
    EXPECT_EQ(log, (journal{"b.write@100", "a.write@160"}));
}

// Takes connections until `stop_after`; `connect` queues clients to a server.
struct acceptor : vorta::observer {
    void on_accept(vorta::communicator*, int fd, std::string address) override {
        accepted.push_back(fd), addresses.push_back(address);
        if (accepted.size() == stop_after) scheduler::shutdown();
    }
    void on_accept_failed(vorta::communicator*, std::string error) override {
        failures.push_back(error);
    }
    void connect(const vorta::tcp_server& server, std::size_t count) {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        getsockname(server.get_descriptor(), reinterpret_cast<sockaddr*>(&address), &length);
        while (count-- > 0) clients.push_back(test_support::connect_local(ntohs(address.sin_port)));
    }
    ~acceptor() override {
        for (auto* fds : {&accepted, &clients}) std::for_each(fds->begin(), fds->end(), close);
    }
    std::vector<int> accepted, clients;
    std::vector<std::string> addresses, failures;
    std::size_t stop_after = 1;
};

// Each readiness takes the waiting connections up to the cap. A shortage of
// descriptors is reported once and pauses the listener until a descriptor is
// freed in a pass, or else for a second.
TEST_F(scheduler_test, a_listener_takes_up_to_the_cap_and_pauses_in_a_descriptor_shortage) {
    acceptor watcher;
    vorta::tcp_server server(&loop, &watcher, "ignored", "any");  // no number: the system's choice
    EXPECT_TRUE(fcntl(server.get_descriptor(), F_GETFL) & O_NONBLOCK);
    const std::size_t cap = vorta::tcp_server::accepts_per_readiness;
    watcher.stop_after = cap + 4;
    watcher.connect(server, cap + 3);
    for (std::size_t accepted : {cap, cap + 3, cap + 3}) {  // at last nothing waits: no error
        server.read();
        EXPECT_EQ(watcher.accepted.size(), accepted);
    }
    EXPECT_TRUE(watcher.failures.empty());
    EXPECT_EQ(watcher.addresses[0], "127.0.0.1");
    EXPECT_FALSE(fcntl(watcher.accepted[0], F_GETFL) & O_NONBLOCK);  // blocking, as handed over
    watcher.connect(server, 3);
    // A probe that withdraws and closes its end when poked: a descriptor freed in the loop.
    probe& freeing = add(loop);
    freeing.on_read = [&] { loop.unreg(freeing.fd()), close(freeing.fds[0]), freeing.fds[0] = -1; };
    int passes = 0;
    loop.add_pass_end([&] { ++passes; });
    // The stopper starts first: making a thread may itself need a descriptor.
    std::thread stopper([] { std::this_thread::sleep_for(300ms), scheduler::shutdown(); });
    // Leave the process no descriptor for the accepted connections.
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    const int spare = dup(0);
    rlimit tight{static_cast<rlim_t>(spare), saved.rlim_max};
    close(spare);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    loop.run();
    stopper.join();
    EXPECT_LT(passes, 5) << "the listener stayed watched while nothing could be accepted";
    EXPECT_EQ(watcher.failures, (journal{std::strerror(EMFILE)}));
    freeing.poke();
    rerun(loop);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    watcher.stop_after = cap + 6;
    rerun(loop);
    EXPECT_EQ(watcher.accepted.size(), cap + 6);
    EXPECT_EQ(watcher.failures.size(), 2u);
}

}  // namespace
