#include "support/daemon.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "support/temp_dir.hpp"

namespace test_support {

using namespace std::chrono_literals;

launch_result daemon_process::launch(const std::string& directory, const std::vector<std::string>& args,
                                     const std::vector<std::string>& env, const launch_options& options) {
    become_subreaper();
    int out[2], err[2], in[2] = {-1, -1};
    if (pipe(out) != 0) return {};
    if (pipe(err) != 0 || (options.input && pipe(in) != 0)) return {};
    pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        dup2(options.with_errors ? out[1] : err[1], 2);
        if (options.input) dup2(in[0], 0);
        for (int fd : {out[0], out[1], err[0], err[1], in[0], in[1]})
            if (fd >= 0) close(fd);
        if (chdir(directory.c_str()) != 0) _exit(126);
        // The daemon sets its own mask; a strict one here shows that it does.
        umask(077);
        if (int wanted = options.inherited_descriptor; wanted >= 0) {
            // dup2 leaves the copy open across exec.
            int null = open("/dev/null", O_RDONLY);
            if (null < 0 || dup2(null, wanted) != wanted) _exit(125);
            if (null != wanted) close(null);
        }
        if (options.descriptor_limit > 0) {
            rlimit limit{};
            getrlimit(RLIMIT_NOFILE, &limit);
            limit.rlim_cur = options.descriptor_limit;
            if (options.hard_limit_too) limit.rlim_max = options.descriptor_limit;
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(125);
        }
        std::vector<char*> argv;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const auto& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
        envp.push_back(nullptr);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (options.input) {
        // Small inputs only: they fit the pipe, so the child need not read first.
        close(in[0]);
        [[maybe_unused]] ssize_t written = write(in[1], options.input->data(), options.input->size());
        close(in[1]);
    }
    launch_result result;
    char buffer[512];
    ssize_t count;
    while ((count = read(out[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, count);
    close(out[0]);
    // Small outputs only: the child finishes its standard error meanwhile.
    while ((count = read(err[0], buffer, sizeof buffer)) > 0) result.errors.append(buffer, count);
    close(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

daemon_process::daemon_process(const std::string& log, std::chrono::milliseconds timeout, std::size_t from) {
    if (!wait_for_text(log, "daemon started (pid: ", timeout, from)) return;
    std::smatch match;
    std::string content = read_file(log).substr(from);
    static const std::regex started("daemon started \\(pid: (\\d+)\\)");
    if (std::regex_search(content, match, started)) pid_ = std::stoi(match[1]);
}

daemon_process::~daemon_process() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool daemon_process::running() const {
    if (pid_ <= 0 || reaped_) return false;
    int status;
    return waitpid(pid_, &status, WNOHANG) == 0;
}

void daemon_process::signal(int number) const {
    if (pid_ > 0 && !reaped_) kill(pid_, number);
}

int daemon_process::wait_exit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

void become_subreaper() { prctl(PR_SET_CHILD_SUBREAPER, 1); }

void bring_loopback_up() {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return;
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
    auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        std::string content = read_file(path);
        if (content.size() > from && content.find(text, from) != std::string::npos) return true;
        std::this_thread::sleep_for(10ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

int count_lines(const std::string& path, const std::string& text) {
    std::istringstream lines(read_file(path));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) count += line.find(text) != std::string::npos;
    return count;
}

int connect_local(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool wait_listening(int port, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        int fd = connect_local(port);
        if (fd >= 0) {
            close(fd);
            return true;
        }
        std::this_thread::sleep_for(10ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

std::optional<std::string> exchange(int port, const std::string& request, std::chrono::milliseconds timeout) {
    int fd = connect_local(port);
    if (fd < 0) return std::nullopt;
    timeval limit{static_cast<time_t>(timeout.count() / 1000), static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string answer;
    bool closed = false;
    if (write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        ssize_t count;
        while ((count = read(fd, buffer, sizeof buffer)) > 0) answer.append(buffer, static_cast<std::size_t>(count));
        closed = count == 0;
    }
    close(fd);
    if (!closed) return std::nullopt;
    return answer;
}

namespace {

// The fields of /proc/PID/stat after the command name, the state first.
std::vector<std::string> stat_fields(const std::string& pid) {
    const std::string stat = read_file("/proc/" + pid + "/stat");
    std::vector<std::string> fields;
    if (const auto close_paren = stat.rfind(')'); close_paren != std::string::npos) {
        std::istringstream in(stat.substr(close_paren + 1));
        for (std::string field; in >> field;) fields.push_back(field);
    }
    return fields;
}

}  // namespace

pid_t find_child(const std::string& binary) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename().string();
        const auto fields = stat_fields(pid);
        std::error_code error;
        if (fields.size() > 1 && fields[1] == std::to_string(getpid()) &&
            std::filesystem::read_symlink(entry.path() / "exe", error) == binary)
            return std::stoi(pid);
    }
    return 0;
}

bool limit_descriptors(pid_t pid) {
    std::error_code error;
    std::vector<bool> open;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::size_t fd = std::stoul(it->path().filename().string());
        if (fd >= open.size()) open.resize(fd + 1, false);
        open[fd] = true;
    }
    if (error) return false;
    // Descriptors are handed out lowest first: below the first free one there
    // is none to hand out.
    rlim_t lowest_free = 0;
    while (lowest_free < open.size() && open[lowest_free]) ++lowest_free;
    rlimit limit{lowest_free, lowest_free};
    return prlimit(pid, RLIMIT_NOFILE, &limit, nullptr) == 0;
}

long cpu_ticks(pid_t pid) {
    // utime and stime are the 14th and 15th fields, the state the 3rd.
    const auto fields = stat_fields(std::to_string(pid));
    return fields.size() > 12 ? std::stol(fields[11]) + std::stol(fields[12]) : -1;
}

}  // namespace test_support
