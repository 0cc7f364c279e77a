// The event loop over socket pairs: dispatch order, withdrawal during a pass,
// one-shot write interest, ticks, signal-safe requests, work posted by other
// threads and the end of a pass with its hooks and deferred writes; and the
// listening server on it, paused by a shortage of descriptors.
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
#include <thread>

#include "net/c_error.hpp"
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
    void poke() const { ASSERT_EQ(::write(fds[1], "x", 1), 1); }
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

// A clock that the test moves by hand.
struct scripted_scheduler : scheduler {
    using scheduler::scheduler;
    long milliseconds = 100000;
    void get_time(timeval& now) override {
        now = {milliseconds / 1000, milliseconds % 1000 * 1000};
    }
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
    // Runs `owner` again after a shutdown.
    int rerun(scheduler& owner) { return scheduler::Active = true, owner.run(); }
    scheduler loop{12};
    journal log;
    std::deque<probe> probes;
};

TEST_F(scheduler_test, ready_records_are_served_in_registration_order_read_before_write) {
    probe &a = add(loop, false, false), &b = add(loop, false, false), &c = add(loop, false, false);
    for (probe* p : {&c, &a, &b}) ASSERT_TRUE(loop.reg(p->fd(), p, false));
    for (probe* p : {&a, &b, &c}) p->poke();
    loop.set_write(a.fd());  // a socket pair is writable at once
    loop.set_write(a.fd());  // asking twice is still one call
    int reads = 0;
    // b stays busy for a few passes; the one-shot write of a is not repeated meanwhile.
    b.on_read = [&] { ++reads < 3 ? b.poke() : scheduler::shutdown(); };
    loop.run();
    EXPECT_EQ(log, (journal{"c.read", "a.read", "a.write", "b.read", "b.read", "b.read"}));
    // Paused reading resumes with its readiness.
    log.clear();
    loop.set_read(a.fd(), false);
    a.poke();
    b.poke();
    b.on_read = [&] { loop.set_read(a.fd(), true); };
    a.on_read = [] { scheduler::shutdown(); };
    rerun(loop);
    EXPECT_EQ(log, (journal{"b.read", "a.read"}));
}

TEST_F(scheduler_test, a_record_withdrawn_during_a_pass_gets_no_further_call_and_is_purged) {
    probe &a = add(loop), &b = add(loop), &c = add(loop);
    for (probe* p : {&a, &b, &c}) loop.set_write(p->fd()), p->poke();
    a.on_read = [&] { loop.unreg(b.fd()); };
    // Withdrawn in its own read, c gets no write either.
    c.on_read = [&] { loop.unreg(c.fd()), scheduler::shutdown(); };
    EXPECT_EQ(loop.run(), 1);
    EXPECT_EQ(log, (journal{"a.read", "a.write", "c.read"}));
    // A withdrawn descriptor can be registered again, and only once.
    EXPECT_TRUE(loop.reg(b.fd(), &b, false));
    EXPECT_FALSE(loop.reg(b.fd(), &b, false));
    EXPECT_FALSE(loop.reg(-1, &b, false));
}

TEST_F(scheduler_test, well_over_64_descriptors_are_served) {
    for (int i = 0; i < 150; ++i) add(loop);
    ASSERT_GT(probes.back().fd(), 200);
    probes[149].poke();
    probes[3].poke();
    probes[149].on_read = [] { scheduler::shutdown(); };
    EXPECT_EQ(loop.run(), 150);
    EXPECT_EQ(log, (journal{"d.read", "149.read"}));
}

TEST_F(scheduler_test, ticks_reach_only_records_that_want_them_and_end_a_pass_too) {
    scheduler ticking(1);
    probe &a = add(ticking, true), &c = (add(ticking), add(ticking));  // b wants no ticks
    ticking.set_timer(c.fd(), true);
    ticking.set_timer(c.fd(), true);  // no change: c already wants ticks
    int ticks = 0;
    c.on_timer = [&] {
        if (++ticks == 2) ticking.flush_later(c.fd()), scheduler::shutdown();
    };
    ticking.add_pass_end([&] { log.push_back("hook"); });
    ticking.run();
    EXPECT_EQ(log, (journal{"a.timer", "c.timer", "hook", "a.timer", "c.timer", "hook",
                            "c.write"}));
    // With no record that wants them, no tick wakes the loop.
    log.clear();
    ticking.set_timer(a.fd(), false);  // one switch off undoes the registration's wish
    ticking.set_timer(c.fd(), false);
    std::thread stopper([] { std::this_thread::sleep_for(1500ms), scheduler::shutdown(); });
    rerun(ticking);
    stopper.join();
    EXPECT_EQ(std::count(log.begin(), log.end(), "hook"), static_cast<long>(log.size()));
}

TEST_F(scheduler_test, under_constant_traffic_every_tick_comes_in_table_order) {
    scripted_scheduler clock(1);
    add(clock, true);
    probe& busy = add(clock);
    add(clock, true);
    // An event every 100 ms, so the loop never waits a whole tick.
    int events = 0;
    busy.on_read = [&] {
        clock.milliseconds += 100;
        ++events == 35 ? scheduler::shutdown() : busy.poke();
    };
    busy.poke();
    clock.run();
    log.erase(std::remove(log.begin(), log.end(), "b.read"), log.end());
    EXPECT_EQ(log, (journal{"a.timer", "c.timer", "a.timer", "c.timer", "a.timer", "c.timer"}));
}

int thread_calls = 0, other_calls = 0;
void count_and_stop() { ++thread_calls, scheduler::shutdown(); }
void count_other() { ++other_calls; }

// Signal-safe requests run the last function once, at the start of a pass;
// work posted by other threads runs on the loop in order, none lost.
TEST_F(scheduler_test, requests_from_other_contexts_wake_the_loop_and_run_on_it) {
    probe& a = add(loop);
    scheduler::call_thread(count_other);
    scheduler::call_thread(count_and_stop);
    scheduler::call_thread(nullptr);  // ignored
    a.poke();
    loop.run();
    EXPECT_EQ(thread_calls, 1);
    EXPECT_EQ(other_calls, 0);
    EXPECT_EQ(log, (journal{"a.read"}));  // the pass it starts still serves `a`
    std::thread caller(
        [] { std::this_thread::sleep_for(100ms), scheduler::call_thread(count_and_stop); });
    rerun(loop);
    caller.join();
    EXPECT_EQ(thread_calls, 2);
    EXPECT_EQ(log.size(), 1u);

    const auto loop_thread = std::this_thread::get_id();
    std::vector<int> seen[2], expected(200);
    bool on_loop = true;
    std::vector<std::thread> workers;
    for (int w = 0; w < 2; ++w)
        workers.emplace_back([&, w] {
            for (int i = 0; i < 200; ++i)
                loop.post([&, w, i] {
                    on_loop = on_loop && std::this_thread::get_id() == loop_thread;
                    seen[w].push_back(i);
                    if (seen[0].size() + seen[1].size() == 400) scheduler::shutdown();
                });
        });
    rerun(loop);
    for (auto& worker : workers) worker.join();
    EXPECT_TRUE(on_loop);
    for (int i = 0; i < 200; ++i) expected[i] = i;
    EXPECT_EQ(seen[0], expected);
    EXPECT_EQ(seen[1], expected);
}

// A pass ends with its hooks in order, then one write per request; a request
// of a record withdrawn meanwhile is dropped, even if its descriptor comes back.
TEST_F(scheduler_test, a_pass_ends_with_its_hooks_in_order_then_one_write_per_request) {
    probe &a = add(loop), &b = add(loop), &c = add(loop), &d = add(loop);
    probe& e = add(loop, false, false);
    std::vector<bool> in_pass{loop.in_pass()};
    a.on_read = [&] {
        in_pass.push_back(loop.in_pass());
        for (probe* p : {&b, &a, &b, &c, &d}) loop.flush_later(p->fd());
        loop.unreg(c.fd());
        loop.unreg(d.fd());
        loop.reg(d.fd(), &e, false);
        loop.flush_later(d.fd());
    };
    loop.add_pass_end([&] {
        log.push_back("hook1");
        loop.flush_later(b.fd());  // already due: still one write
    });
    loop.add_pass_end([&] {
        log.push_back("hook2");
        in_pass.push_back(loop.in_pass());
        scheduler::shutdown();  // the pass is finished first
    });
    a.poke();
    EXPECT_EQ(loop.run(), 3);
    in_pass.push_back(loop.in_pass());
    EXPECT_EQ(log, (journal{"a.read", "hook1", "hook2", "b.write", "a.write", "e.write"}));
    EXPECT_EQ(in_pass, (std::vector<bool>{false, true, true, false}));
}

TEST_F(scheduler_test, writes_asked_for_outside_a_pass_or_left_by_an_error_come_in_the_next_run) {
    probe &a = add(loop), &b = add(loop);
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
}

struct acceptor : vorta::observer {
    void on_accept(vorta::communicator*, int fd, std::string address) override {
        accepted.push_back(fd), addresses.push_back(address);
        if (accepted.size() == stop_after) scheduler::shutdown();
    }
    void on_accept_failed(vorta::communicator*, std::string error) override {
        failures.push_back(error);
    }
    ~acceptor() override { std::for_each(accepted.begin(), accepted.end(), close); }
    std::vector<int> accepted;
    std::vector<std::string> addresses, failures;
    std::size_t stop_after = 1;
};

// Counts the readiness calls the scheduler makes; `connect` queues clients.
struct counting_server : vorta::tcp_server {
    using tcp_server::tcp_server;
    void read() override { ++reads, tcp_server::read(); }
    int port() const {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        getsockname(get_descriptor(), reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }
    void connect(std::size_t count) {
        while (count-- > 0) clients.push_back(test_support::connect_local(port()));
    }
    ~counting_server() override { std::for_each(clients.begin(), clients.end(), close); }
    int reads = 0;
    std::vector<int> clients;
};

TEST_F(scheduler_test, a_port_is_opened_once_and_every_waiting_connection_is_taken_up_to_the_cap) {
    acceptor watcher;
    counting_server any(&loop, &watcher, "ignored", "any");  // no number: the system's choice
    EXPECT_TRUE(fcntl(any.get_descriptor(), F_GETFL) & O_NONBLOCK);
    try {
        vorta::tcp_server second(&loop, &watcher, "", std::to_string(any.port()));
        ADD_FAILURE() << "a second server opened the port";
    } catch (const vorta::c_error& error) {
        EXPECT_STREQ(error.what(), std::strerror(EADDRINUSE));
    }
    const std::size_t cap = vorta::tcp_server::accepts_per_readiness;
    any.connect(cap + 3);
    for (std::size_t accepted : {cap, cap + 3, cap + 3}) {  // at last nothing waits: no error
        any.read();
        EXPECT_EQ(watcher.accepted.size(), accepted);
    }
    EXPECT_TRUE(watcher.failures.empty());
    EXPECT_EQ(watcher.addresses[0], "127.0.0.1");
    EXPECT_FALSE(fcntl(watcher.accepted[0], F_GETFL) & O_NONBLOCK);  // blocking, as handed over
}

TEST_F(scheduler_test,
       a_descriptor_shortage_pauses_the_listener_until_one_is_freed_or_a_second_passed) {
    acceptor watcher;
    counting_server server(&loop, &watcher, "", "0");
    server.connect(3);
    // A probe that withdraws and closes its end when poked: a descriptor freed in the loop.
    probe& freeing = add(loop);
    freeing.on_read = [&] { loop.unreg(freeing.fd()), close(freeing.fds[0]), freeing.fds[0] = -1; };
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
    EXPECT_EQ(server.reads, 1) << "the listener stayed watched while nothing could be accepted";
    EXPECT_EQ(watcher.failures, (journal{std::strerror(EMFILE)}));
    EXPECT_TRUE(watcher.accepted.empty());
    // A descriptor freed in a pass ends the pause at once: one connection fits.
    freeing.poke();
    rerun(loop);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_EQ(watcher.accepted.size(), 1u);
    EXPECT_EQ(server.reads, 2);
    // The next accept ran short again; with nothing freed, the listener tries
    // again a second later and takes the rest.
    watcher.stop_after = 3;
    rerun(loop);
    EXPECT_EQ(watcher.accepted.size(), 3u);
    EXPECT_EQ(watcher.failures.size(), 2u);
}

}  // namespace
