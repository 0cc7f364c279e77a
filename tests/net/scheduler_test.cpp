// The event loop driven with socket pairs: order of dispatch, withdrawal
// during a pass, one-shot write interest, ticks, the signal-safe requests and
// the end of a pass with its hooks and deferred writes.
#include "net/scheduler.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "net/communicator.hpp"

namespace {

using vorta::scheduler;

struct socket_pair {
    socket_pair() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) throw std::runtime_error("socketpair");
        near = fds[0];
        far = fds[1];
    }
    ~socket_pair() {
        close(near);
        close(far);
    }
    void poke() const { ASSERT_EQ(::write(far, "x", 1), 1); }
    int near, far;
};

// Records its calls in a shared journal and runs optional hooks.
class probe : public vorta::communicator {
public:
    probe(scheduler* owner, int fd, std::string name, std::vector<std::string>& journal)
        : communicator(owner, nullptr, fd), name_(std::move(name)), journal_(journal) {}
    void read() override {
        char buffer[64];
        ssize_t ignored = ::read(descriptor_, buffer, sizeof buffer);
        (void)ignored;
        journal_.push_back(name_ + ".read");
        if (on_read) on_read();
    }
    void write() override {
        journal_.push_back(name_ + ".write");
        if (on_write) on_write();
    }
    void timer() override {
        journal_.push_back(name_ + ".timer");
        if (on_timer) on_timer();
    }
    std::function<void()> on_read, on_write, on_timer;

private:
    std::string name_;
    std::vector<std::string>& journal_;
};

class scheduler_test : public ::testing::Test {
protected:
    void SetUp() override {
        scheduler::Active = true;
        scheduler::Thread = nullptr;
    }
    void TearDown() override { scheduler::Active = true; }
    // Ends the loop from outside after `delay`, as a signal handler would.
    static std::thread stop_after(std::chrono::milliseconds delay) {
        return std::thread([delay] {
            std::this_thread::sleep_for(delay);
            scheduler::shutdown();
        });
    }
    std::vector<std::string> journal;
};

TEST_F(scheduler_test, ready_records_are_served_in_registration_order_read_before_write) {
    scheduler loop(12);
    socket_pair a, b, c;
    // Registration order differs from descriptor order.
    probe pc(&loop, c.near, "c", journal), pa(&loop, a.near, "a", journal), pb(&loop, b.near, "b", journal);
    ASSERT_TRUE(loop.reg(c.near, &pc, false));
    ASSERT_TRUE(loop.reg(a.near, &pa, false));
    ASSERT_TRUE(loop.reg(b.near, &pb, false));
    a.poke();
    b.poke();
    c.poke();
    loop.set_write(a.near);  // a socket pair is writable at once
    pb.on_read = [] { scheduler::shutdown(); };
    loop.run();
    EXPECT_EQ(journal, (std::vector<std::string>{"c.read", "a.read", "a.write", "b.read"}));
}

TEST_F(scheduler_test, record_withdrawn_during_a_pass_gets_no_further_call_and_is_purged) {
    scheduler loop(12);
    socket_pair a, b, c;
    probe pa(&loop, a.near, "a", journal), pb(&loop, b.near, "b", journal), pc(&loop, c.near, "c", journal);
    loop.reg(a.near, &pa, false);
    loop.reg(b.near, &pb, false);
    loop.reg(c.near, &pc, false);
    loop.set_write(b.near);
    a.poke();
    b.poke();
    c.poke();
    pa.on_read = [&] { loop.unreg(b.near); };
    pc.on_read = [] { scheduler::shutdown(); };
    EXPECT_EQ(loop.run(), 2);
    EXPECT_EQ(journal, (std::vector<std::string>{"a.read", "c.read"}));
    // A descriptor can be registered again once withdrawn, and only once.
    EXPECT_TRUE(loop.reg(b.near, &pb, false));
    EXPECT_FALSE(loop.reg(b.near, &pb, false));
    EXPECT_FALSE(loop.reg(-1, &pb, false));
}

TEST_F(scheduler_test, a_withdrawn_record_that_was_also_writable_gets_no_write) {
    scheduler loop(12);
    socket_pair a;
    probe pa(&loop, a.near, "a", journal);
    loop.reg(a.near, &pa, false);
    loop.set_write(a.near);
    a.poke();
    pa.on_read = [&] {
        loop.unreg(a.near);
        scheduler::shutdown();
    };
    EXPECT_EQ(loop.run(), 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"a.read"}));
}

TEST_F(scheduler_test, write_interest_is_one_shot) {
    scheduler loop(12);
    socket_pair a, b;
    probe pa(&loop, a.near, "a", journal), pb(&loop, b.near, "b", journal);
    loop.reg(a.near, &pa, false);
    loop.reg(b.near, &pb, false);
    loop.set_write(a.near);
    loop.set_write(a.near);  // asking twice is still one call
    int reads = 0;
    // b stays busy for a few passes; a must not be called again meanwhile.
    pb.on_read = [&] {
        if (++reads < 5) {
            b.poke();
        } else {
            scheduler::shutdown();
        }
    };
    b.poke();
    loop.run();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "a.write"), 1);
    EXPECT_EQ(reads, 5);
}

TEST_F(scheduler_test, well_over_64_descriptors_are_served) {
    scheduler loop(12);
    std::vector<std::unique_ptr<socket_pair>> pairs;
    std::vector<std::unique_ptr<probe>> probes;
    for (int i = 0; i < 150; ++i) {
        pairs.push_back(std::make_unique<socket_pair>());
        probes.push_back(std::make_unique<probe>(&loop, pairs.back()->near, std::to_string(i), journal));
        ASSERT_TRUE(loop.reg(pairs.back()->near, probes.back().get(), false));
    }
    ASSERT_GT(pairs.back()->near, 200);
    pairs[149]->poke();
    pairs[3]->poke();
    probes[149]->on_read = [] { scheduler::shutdown(); };
    EXPECT_EQ(loop.run(), 150);
    EXPECT_EQ(journal, (std::vector<std::string>{"3.read", "149.read"}));
    for (auto& item : probes) loop.unreg(item->get_descriptor());
}

TEST_F(scheduler_test, ticks_reach_only_records_that_want_them) {
    scheduler loop(1);
    socket_pair a, b, c;
    probe pa(&loop, a.near, "a", journal), pb(&loop, b.near, "b", journal), pc(&loop, c.near, "c", journal);
    loop.reg(a.near, &pa, true);
    loop.reg(b.near, &pb, false);
    loop.reg(c.near, &pc, false);
    loop.set_timer(c.near, true);
    loop.set_timer(c.near, true);  // no change: c already wants ticks
    int ticks = 0;
    pc.on_timer = [&] {
        if (++ticks == 2) scheduler::shutdown();
    };
    loop.run();
    EXPECT_EQ(journal, (std::vector<std::string>{"a.timer", "c.timer", "a.timer", "c.timer"}));
}

TEST_F(scheduler_test, without_tick_receivers_the_loop_waits_without_limit) {
    scheduler loop(1);
    socket_pair a;
    probe pa(&loop, a.near, "a", journal);
    loop.reg(a.near, &pa, true);
    loop.set_timer(a.near, true);
    loop.set_timer(a.near, false);  // one switch off undoes the registration's wish
    std::thread stopper = stop_after(std::chrono::milliseconds(1500));
    loop.run();
    stopper.join();
    EXPECT_TRUE(journal.empty());
}

// A clock that the test moves by hand.
class scripted_scheduler : public scheduler {
public:
    using scheduler::scheduler;
    long milliseconds = 100000;

protected:
    void get_time(timeval& now) override { now = timeval{milliseconds / 1000, milliseconds % 1000 * 1000}; }
};

TEST_F(scheduler_test, under_constant_traffic_every_tick_comes_in_table_order) {
    scripted_scheduler loop(1);
    socket_pair busy, a, c;
    probe pa(&loop, a.near, "a", journal), pb(&loop, busy.near, "busy", journal),
        pc(&loop, c.near, "c", journal);
    loop.reg(a.near, &pa, true);
    loop.reg(busy.near, &pb, false);
    loop.reg(c.near, &pc, true);
    // An event every 100 ms, so the loop never waits a whole tick.
    int events = 0;
    pb.on_read = [&] {
        loop.milliseconds += 100;
        if (++events == 35) {
            scheduler::shutdown();
        } else {
            busy.poke();
        }
    };
    busy.poke();
    loop.run();
    journal.erase(std::remove(journal.begin(), journal.end(), "busy.read"), journal.end());
    EXPECT_EQ(journal, (std::vector<std::string>{"a.timer", "c.timer", "a.timer", "c.timer", "a.timer",
                                                 "c.timer"}));
}

int thread_calls = 0;
int other_calls = 0;
void count_and_stop() {
    ++thread_calls;
    scheduler::shutdown();
}
void count_other() { ++other_calls; }

TEST_F(scheduler_test, call_thread_runs_the_last_function_once_at_the_start_of_a_pass) {
    scheduler loop(12);
    socket_pair a;
    probe pa(&loop, a.near, "a", journal);
    loop.reg(a.near, &pa, false);
    thread_calls = other_calls = 0;
    scheduler::call_thread(count_other);
    scheduler::call_thread(count_and_stop);
    scheduler::call_thread(nullptr);  // ignored
    a.poke();
    loop.run();
    EXPECT_EQ(thread_calls, 1);
    EXPECT_EQ(other_calls, 0);
    // The function runs before the wait; the pass it starts still serves `a`.
    EXPECT_EQ(journal, (std::vector<std::string>{"a.read"}));
}

TEST_F(scheduler_test, a_request_from_another_context_wakes_a_waiting_loop) {
    scheduler loop(12);
    socket_pair a;
    probe pa(&loop, a.near, "a", journal);
    loop.reg(a.near, &pa, false);
    thread_calls = 0;
    std::thread caller([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        scheduler::call_thread(count_and_stop);
    });
    loop.run();
    caller.join();
    EXPECT_EQ(thread_calls, 1);
    EXPECT_TRUE(journal.empty());
}

// Work handed back by other threads wakes a loop that waits without limit and
// runs on the loop, each thread's items in the order posted, none lost.
TEST_F(scheduler_test, work_posted_from_other_threads_runs_on_the_loop_in_order) {
    scheduler loop(12);
    const auto loop_thread = std::this_thread::get_id();
    constexpr int per_thread = 200;
    std::vector<int> seen[2];
    int ran = 0;
    bool on_loop = true;
    std::vector<std::thread> workers;
    for (int w = 0; w < 2; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < per_thread; ++i) {
                loop.post([&, w, i] {
                    on_loop = on_loop && std::this_thread::get_id() == loop_thread;
                    seen[w].push_back(i);
                    if (++ran == 2 * per_thread) scheduler::shutdown();
                });
            }
        });
    }
    loop.run();
    for (auto& worker : workers) worker.join();
    EXPECT_TRUE(on_loop);
    std::vector<int> expected(per_thread);
    for (int i = 0; i < per_thread; ++i) expected[i] = i;
    EXPECT_EQ(seen[0], expected);
    EXPECT_EQ(seen[1], expected);
}

TEST_F(scheduler_test, paused_reading_resumes_with_its_readiness) {
    scheduler loop(12);
    socket_pair a, b;
    probe pa(&loop, a.near, "a", journal), pb(&loop, b.near, "b", journal);
    loop.reg(a.near, &pa, false);
    loop.reg(b.near, &pb, false);
    loop.set_read(a.near, false);
    a.poke();
    b.poke();
    pb.on_read = [&] { loop.set_read(a.near, true); };
    pa.on_read = [] { scheduler::shutdown(); };
    loop.run();
    EXPECT_EQ(journal, (std::vector<std::string>{"b.read", "a.read"}));
}

TEST_F(scheduler_test, a_pass_ends_with_its_hooks_in_order_then_one_write_per_request) {
    scheduler loop(12);
    socket_pair a, b;
    probe pa(&loop, a.near, "a", journal), pb(&loop, b.near, "b", journal);
    loop.reg(a.near, &pa, false);
    loop.reg(b.near, &pb, false);
    std::vector<bool> in_pass;
    pa.on_read = [&] {
        in_pass.push_back(loop.in_pass());
        loop.flush_later(b.near);
        loop.flush_later(a.near);
        loop.flush_later(b.near);
    };
    loop.add_pass_end([&] {
        journal.push_back("hook1");
        loop.flush_later(b.near);  // already due: still one write
    });
    loop.add_pass_end([&] {
        journal.push_back("hook2");
        in_pass.push_back(loop.in_pass());
        scheduler::shutdown();  // the pass is finished first
    });
    a.poke();
    in_pass.push_back(loop.in_pass());
    loop.run();
    in_pass.push_back(loop.in_pass());
    EXPECT_EQ(journal, (std::vector<std::string>{"a.read", "hook1", "hook2", "b.write", "a.write"}));
    EXPECT_EQ(in_pass, (std::vector<bool>{false, true, true, false}));
}

TEST_F(scheduler_test, a_tick_pass_ends_with_the_hooks_and_writes_too) {
    scheduler loop(1);
    socket_pair a;
    probe pa(&loop, a.near, "a", journal);
    loop.reg(a.near, &pa, true);
    pa.on_timer = [&] {
        loop.flush_later(a.near);
        scheduler::shutdown();
    };
    loop.add_pass_end([&] { journal.push_back("hook"); });
    loop.run();
    EXPECT_EQ(journal, (std::vector<std::string>{"a.timer", "hook", "a.write"}));
}

TEST_F(scheduler_test, a_write_asked_for_by_a_withdrawn_record_is_not_made) {
    scheduler loop(12);
    socket_pair a, b, c;
    probe pa(&loop, a.near, "a", journal), pb(&loop, b.near, "b", journal), pc(&loop, c.near, "c", journal),
        pd(&loop, c.near, "d", journal);
    loop.reg(a.near, &pa, false);
    loop.reg(b.near, &pb, false);
    loop.reg(c.near, &pc, false);
    pa.on_read = [&] {
        loop.flush_later(b.near);
        loop.unreg(b.near);
        // The request of c does not pass to the next registration of its
        // descriptor; that one asks for itself.
        loop.flush_later(c.near);
        loop.unreg(c.near);
        loop.reg(c.near, &pd, false);
        loop.flush_later(c.near);
        scheduler::shutdown();
    };
    a.poke();
    EXPECT_EQ(loop.run(), 2);
    EXPECT_EQ(journal, (std::vector<std::string>{"a.read", "d.write"}));
}

TEST_F(scheduler_test, a_write_asked_for_outside_a_pass_comes_before_the_wait) {
    scheduler loop(12);
    socket_pair a;
    probe pa(&loop, a.near, "a", journal);
    loop.reg(a.near, &pa, false);
    loop.flush_later(a.near);
    pa.on_write = [] { scheduler::shutdown(); };
    loop.run();
    EXPECT_EQ(journal, (std::vector<std::string>{"a.write"}));
}

TEST_F(scheduler_test, writes_due_when_an_error_ends_the_loop_come_in_the_next_run) {
    scheduler loop(12);
    socket_pair a, b;
    probe pa(&loop, a.near, "a", journal), pb(&loop, b.near, "b", journal);
    loop.reg(a.near, &pa, false);
    loop.reg(b.near, &pb, false);
    pa.on_read = [&] {
        loop.flush_later(b.near);
        throw std::runtime_error("read failed");
    };
    a.poke();
    EXPECT_THROW(loop.run(), std::runtime_error);
    EXPECT_FALSE(loop.in_pass());
    pb.on_write = [] { scheduler::shutdown(); };
    loop.run();
    EXPECT_EQ(journal, (std::vector<std::string>{"a.read", "b.write"}));
}

}  // namespace
