// The listening server: opening a port, accepting, and a shortage of
// descriptors that pauses the listener instead of ending the loop.
#include "net/tcp_server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net/c_error.hpp"
#include "net/observer.hpp"
#include "net/scheduler.hpp"
#include "support/daemon.hpp"

namespace {

using vorta::scheduler;
using vorta::tcp_server;
using test_support::connect_local;

int local_port(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

class acceptor : public vorta::observer {
public:
    void on_accept(vorta::communicator*, int fd, std::string address) override {
        accepted.push_back(fd);
        addresses.push_back(address);
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

// Counts the readiness calls the scheduler makes.
struct counting_server : tcp_server {
    using tcp_server::tcp_server;
    void read() override { ++reads, tcp_server::read(); }
    int reads = 0;
};

class tcp_server_test : public ::testing::Test {
protected:
    void SetUp() override { scheduler::Active = true; }
    void TearDown() override { scheduler::Active = true; }
    scheduler loop{12};
    acceptor watcher;
};

TEST_F(tcp_server_test, a_port_is_opened_once_and_every_waiting_connection_is_taken_up_to_the_cap) {
    tcp_server any(&loop, &watcher, "ignored", "any");  // no number: the system's choice
    EXPECT_GT(local_port(any.get_descriptor()), 0);
    EXPECT_TRUE(fcntl(any.get_descriptor(), F_GETFL) & O_NONBLOCK);
    try {
        tcp_server second(&loop, &watcher, "", std::to_string(local_port(any.get_descriptor())));
        ADD_FAILURE() << "a second server opened the port";
    } catch (const vorta::c_error& error) {
        EXPECT_STREQ(error.what(), std::strerror(EADDRINUSE));
    }
    const std::size_t cap = tcp_server::accepts_per_readiness;
    std::vector<int> clients;
    for (std::size_t i = 0; i < cap + 3; ++i)
        clients.push_back(connect_local(local_port(any.get_descriptor())));
    for (std::size_t accepted : {cap, cap + 3, cap + 3}) {  // at last nothing waits: no error
        any.read();
        EXPECT_EQ(watcher.accepted.size(), accepted);
    }
    EXPECT_EQ(watcher.addresses[0], "127.0.0.1");
    EXPECT_FALSE(fcntl(watcher.accepted[0], F_GETFL) & O_NONBLOCK);  // blocking, as handed over
    for (int fd : clients) close(fd);
}

// Withdraws and closes its descriptor when the peer writes: a descriptor freed
// somewhere in the loop.
struct closer : vorta::communicator {
    closer(scheduler* owner, int fd) : communicator(owner, nullptr, fd) {
        owner->reg(fd, this, false);
    }
    void read() override { scheduler_->unreg(descriptor_), close(descriptor_); }
};

TEST_F(tcp_server_test,
       a_descriptor_shortage_pauses_the_listener_until_one_is_freed_or_a_second_passed) {
    counting_server server(&loop, &watcher, "", "0");
    int port = local_port(server.get_descriptor());
    std::vector<int> clients;
    for (int i = 0; i < 3; ++i) clients.push_back(connect_local(port));
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    closer freeing(&loop, pair[0]);

    // The stopper starts first: making a thread may itself need a descriptor.
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        scheduler::shutdown();
    });
    // Leave the process no descriptor for the accepted connections.
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    int probe = dup(0);
    rlimit tight{static_cast<rlim_t>(probe), saved.rlim_max};
    close(probe);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    loop.run();
    stopper.join();
    EXPECT_EQ(server.reads, 1) << "the listener stayed watched while nothing could be accepted";
    EXPECT_EQ(watcher.failures, (std::vector<std::string>{std::strerror(EMFILE)}));
    EXPECT_TRUE(watcher.accepted.empty());

    // A descriptor freed in a pass ends the pause at once: one connection fits.
    scheduler::Active = true;
    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    loop.run();
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_EQ(watcher.accepted.size(), 1u);
    EXPECT_EQ(server.reads, 2);

    // The next accept ran short again; with nothing freed, the listener tries
    // again a second later and takes the rest.
    scheduler::Active = true;
    watcher.stop_after = 3;
    loop.run();
    EXPECT_EQ(watcher.accepted.size(), 3u);
    EXPECT_EQ(watcher.failures.size(), 2u);
    for (int fd : clients) close(fd);
    close(pair[1]);
}

}  // namespace
