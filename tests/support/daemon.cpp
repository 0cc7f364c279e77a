#include "support/daemon.hpp"

#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <sstream>
#include <thread>

#include "support/temp_dir.hpp"

namespace test_support {

namespace {

template <typename Done>
bool poll_until(Done done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

}  // namespace

launch_result daemon_process::launch(const std::string& directory, const std::vector<std::string>& args,
                                     const std::vector<std::string>& env, const launch_options& options) {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    int out[2], in[2] = {-1, -1};
    if (pipe(out) != 0 || (options.input && pipe(in) != 0)) return {};
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        if (options.input) dup2(in[0], 0);
        for (int fd : {out[0], out[1], in[0], in[1]})
            if (fd >= 0) close(fd);
        // The daemon sets its own mask; a strict one here shows that it does.
        umask(077);
        if (chdir(directory.c_str()) != 0) _exit(126);
        // dup2 leaves the copy open across exec.
        if (options.inherited_descriptor >= 0 && dup2(open("/dev/null", O_RDONLY), options.inherited_descriptor) < 0)
            _exit(125);
        std::vector<char*> argv, envp;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        for (const auto& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    if (options.input) {
        // Small inputs only: they fit the pipe, so the child need not read first.
        close(in[0]);
        [[maybe_unused]] ssize_t written = write(in[1], options.input->data(), options.input->size());
        close(in[1]);
    }
    launch_result result;
    char buffer[512];
    for (ssize_t count; (count = read(out[0], buffer, sizeof buffer)) > 0;) result.output.append(buffer, count);
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

daemon_process::daemon_process(const std::string& log, std::size_t from) {
    const std::string started = "daemon started (pid: ";
    if (wait_for_text(log, started, 10s, from)) {
        const std::string content = read_file(log);
        pid_ = std::stoi(content.substr(content.find(started, from) + started.size()));
    }
}

daemon_process::~daemon_process() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool daemon_process::running() const {
    int status;
    return pid_ > 0 && !reaped_ && waitpid(pid_, &status, WNOHANG) == 0;
}

void daemon_process::signal(int number) const {
    if (pid_ > 0 && !reaped_) kill(pid_, number);
}

int daemon_process::wait_exit(std::chrono::milliseconds timeout) {
    int status = 0;
    if (pid_ <= 0 || !poll_until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout)) return -1;
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void bring_loopback_up() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (ioctl(fd, SIOCGIFFLAGS, &request) == 0) {
        request.ifr_flags |= IFF_UP | IFF_RUNNING;
        ioctl(fd, SIOCSIFFLAGS, &request);
    }
    close(fd);
}

bool wait_for_text(const std::string& path, const std::string& text, std::chrono::milliseconds timeout,
                   std::size_t from) {
    return poll_until([&] { return read_file(path).find(text, from) != std::string::npos; }, timeout);
}

int count_lines(const std::string& path, const std::string& text) {
    std::istringstream lines(read_file(path));
    int count = 0;
    for (std::string line; std::getline(lines, line);) count += line.find(text) != std::string::npos;
    return count;
}

int connect_local(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    close(fd);
    return -1;
}

bool wait_listening(int port) {
    return poll_until([port] {
        const int fd = connect_local(port);
        return fd >= 0 && close(fd) == 0;
    }, 10s);
}

std::optional<std::string> exchange(int port, const std::string& request) {
    const int fd = connect_local(port);
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string answer;
    ssize_t count = -1;
    if (fd >= 0 && write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        while ((count = read(fd, buffer, sizeof buffer)) > 0) answer.append(buffer, static_cast<std::size_t>(count));
    }
    close(fd);
    return count == 0 ? std::optional(answer) : std::nullopt;
}

}  // namespace test_support
