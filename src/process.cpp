#include "process.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

namespace vorta {

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
    for (int fd = 0; fd < 64; ++fd) ::close(fd);
    // Keep 0, 1 and 2 taken: a stray write to standard output or error must
    // never land on a client's connection.
    int null = ::open("/dev/null", O_RDWR);
    if (null == 0) {
        ::dup2(0, 1);
        ::dup2(0, 2);
    }
    umask(022);
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
