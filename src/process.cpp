#include "process.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "net/output_queue.hpp"

namespace vorta {

namespace {

// Closes every descriptor from 3 up, for kernels without close_range: the
// open ones are listed first, since the listing holds a descriptor itself.
void close_from_three() {
    std::vector<int> open;
    if (DIR* listing = opendir("/proc/self/fd")) {
        int own = dirfd(listing);
        while (dirent* entry = readdir(listing)) {
            int fd = std::atoi(entry->d_name);
            if (fd > 2 && fd != own) open.push_back(fd);
        }
        closedir(listing);
    } else {
        long highest = sysconf(_SC_OPEN_MAX);
        for (long fd = 3; fd < highest; ++fd) open.push_back(static_cast<int>(fd));
    }
    for (int fd : open) ::close(fd);
}

}  // namespace

void daemon() {
    // The parents leave with _exit: the daemon goes on with every object they
    // share, and nothing of theirs may be torn down or flushed twice.
    pid_t child = fork();
    if (child < 0) throw std::runtime_error(std::strerror(errno));
    if (child > 0) _exit(0);
    if (setsid() == -1) throw std::runtime_error(std::strerror(errno));
    // The first child's exit would otherwise hang the new session up.
    vorta::signal(SIGHUP, SIG_IGN);
    child = fork();
    if (child < 0) throw std::runtime_error(std::strerror(errno));
    if (child > 0) _exit(0);
    // Whatever the launcher left open would stay open for the daemon's life.
    if (close_range(3, ~0U, 0) != 0) close_from_three();
    for (int fd = 0; fd <= 2; ++fd) ::close(fd);
    // Keep 0, 1 and 2 taken: a stray write to standard output or error must
    // never land on a client's connection.
    int null = ::open("/dev/null", O_RDWR);
    if (null == 0) {
        ::dup2(0, 1);
        ::dup2(0, 2);
    }
    umask(022);
}

void raise_descriptor_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

void release_free_memory() {
    static auto last = std::chrono::steady_clock::time_point();
    const auto now = std::chrono::steady_clock::now();
    if (now - last < std::chrono::seconds(1)) return;
    last = now;
    output_queue::release_spares();
    malloc_trim(0);
}

signal_handler signal(int number, signal_handler handler) {
    struct sigaction action{};
    struct sigaction previous{};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = number == SIGALRM ? 0 : SA_RESTART;
    if (sigaction(number, &action, &previous) < 0) return SIG_ERR;
    return previous.sa_handler;
}

}  // namespace vorta
