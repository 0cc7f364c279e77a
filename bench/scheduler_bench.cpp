// Cost of an event-loop pass that serves one busy connection while many idle
// ones are registered. Prints the cost per pass with 10, 1,000 and 10,000 idle
// registered descriptors (both ends of socket pairs, so that 10,000 fit under
// a descriptor limit of 20,000) and the ratio of the largest to the smallest
// case; a loop that walks idle registrations on every pass shows a ratio far
// above 1.
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "net/communicator.hpp"
#include "net/scheduler.hpp"

namespace {

using vorta::scheduler;

// Reads the byte its peer sent and sends one back through the peer, so that it
// is ready again in the next pass; stops the loop after `passes` reads.
class busy : public vorta::communicator {
public:
    busy(scheduler* owner, int fd, int peer, long passes)
        : communicator(owner, nullptr, fd), peer_(peer), left_(passes) {}
    void read() override {
        char byte;
        if (::read(descriptor_, &byte, 1) != 1) return;
        if (--left_ <= 0) {
            scheduler::shutdown();
            return;
        }
        if (::write(peer_, &byte, 1) != 1) scheduler::shutdown();
    }

private:
    int peer_;
    long left_;
};

class idle : public vorta::communicator {
public:
    using communicator::communicator;
    void read() override {}
};

double nanoseconds_per_pass(int idle_descriptors, long passes) {
    scheduler loop(12);
    std::vector<int> fds;
    std::vector<std::unique_ptr<idle>> idlers;
    for (int i = 0; i < idle_descriptors / 2; ++i) {
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
            std::perror("socketpair");
            return -1;
        }
        fds.push_back(pair[0]);
        fds.push_back(pair[1]);
        for (int fd : pair) {
            idlers.push_back(std::make_unique<idle>(&loop, nullptr, fd));
            loop.reg(fd, idlers.back().get(), false);
        }
    }
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return -1;
    busy worker(&loop, pair[0], pair[1], passes);
    loop.reg(pair[0], &worker, false);
    char byte = 'x';
    if (::write(pair[1], &byte, 1) != 1) return -1;

    scheduler::Active = true;
    auto start = std::chrono::steady_clock::now();
    loop.run();
    auto elapsed = std::chrono::steady_clock::now() - start;

    for (auto& item : idlers) loop.unreg(item->get_descriptor());
    loop.unreg(pair[0]);
    for (int fd : fds) ::close(fd);
    ::close(pair[0]);
    ::close(pair[1]);
    return std::chrono::duration<double, std::nano>(elapsed).count() / static_cast<double>(passes);
}

}  // namespace

int main() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlim_t wanted = 10100;
    if (limit.rlim_max < wanted) {
        rlimit raised{wanted, wanted};
        if (setrlimit(RLIMIT_NOFILE, &raised) != 0) {
            std::fprintf(stderr, "need a descriptor limit of %lu (ulimit -n)\n", static_cast<unsigned long>(wanted));
            return 1;
        }
    } else {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }

    const long passes = 200000;
    const int sizes[] = {10, 1000, 10000};
    double cost[3];
    for (int i = 0; i < 3; ++i) {
        nanoseconds_per_pass(sizes[i], passes / 10);  // warm-up
        cost[i] = nanoseconds_per_pass(sizes[i], passes);
        if (cost[i] < 0) return 1;
        std::printf("%6d idle descriptors: %8.0f ns per pass\n", sizes[i], cost[i]);
    }
    std::printf("ratio 10000 / 10: %.2f (target: at most 3)\n", cost[2] / cost[0]);
    return 0;
}
