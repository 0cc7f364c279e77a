// Fan-out of the chat: N clients log in to one room (or spread over several),
// ten of them (or as many as asked) take turns saying lines, and every member
// of a sender's room receives every line. Prints, for each N and for the two
// ways the chat reaches a client (applet lines only, or a browser stream per
// client), the log-in time, the deliveries per second, the median and 99th
// percentile latency from sending a line to its arrival, and the daemon's
// resident memory per idle session.
//
// Each configuration first runs against the floor, a minimal epoll relay
// (floor_relay.hpp) that sends lines of the same size as the daemon's chat
// lines in the look under test, so that every figure is also printed as a
// ratio to the floor measured on the same machine a moment before.
//
// The program starts the daemon itself from a temporary directory, inside a
// private user and network namespace of its own, so that it never meets
// another daemon on the fixed ports of this machine. It is not a test: it
// asserts nothing and only prints what it measured.
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "floor_relay.hpp"

#ifndef VCD_BINARY
#define VCD_BINARY "vcd"
#endif

namespace {

constexpr int applet_port = 1612;
constexpr int browser_port = 1613;
constexpr int challenge_key = 0x3C96;
constexpr int max_clients = 20000;

// The room of client `index` among `rooms`.
std::string room_name(int index, int rooms) {
    return rooms == 1 ? std::string("Bench") : "Bench" + std::to_string(index % rooms);
}

std::int64_t now_ns() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

double seconds(std::int64_t ns) { return static_cast<double>(ns) / 1e9; }

bool verbose = false;

// Phase boundaries in the clock that `perf record -k CLOCK_MONOTONIC` uses, so
// that a profile of the daemon can be cut into phases.
void mark_phase(const std::string& what) {
    if (verbose) std::fprintf(stderr, "%.6f %s\n", seconds(now_ns()), what.c_str());
}

// ---------------------------------------------------------------------------
// Options

struct options {
    std::string vcd = VCD_BINARY;
    std::vector<int> sizes;
    bool applet = true;
    bool browser = true;
    int rounds = 200;
    int window = 1000;       // log-ins in progress at a time
    int rooms = 1;
    int senders = 10;
    int spread = 0;          // ms over which a round's lines are spread; 0: at once
    int runs = 1;
    bool floor = true;
    double limit = 0;        // seconds per phase; 0: depends on N
    bool keep = false;
    bool verbose = false;  // phase boundaries on standard error, for a profiler
    std::string look;      // asked for with ".newmode" right after each log-in; empty: the default
};

void usage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s [options] [path-to-vcd]\n"
                 "  -n N           number of clients (repeatable; default 100, 1000 and 5000)\n"
                 "  --applet       only the variant where the chat arrives as applet lines\n"
                 "  --browser      only the variant with a browser stream per client\n"
                 "  --rounds R     lines per sender (default 200)\n"
                 "  --rooms K      spread the clients over K rooms (client i in room i mod K)\n"
                 "  --senders S    clients 0 to S-1 say the lines (default 10)\n"
                 "  --spread MS    spread each round's lines evenly over MS milliseconds and\n"
                 "                 start a round every MS milliseconds (default: a round at\n"
                 "                 once, the next when one of the two in flight is complete)\n"
                 "  --runs M       run each configuration M times; prints the median and the\n"
                 "                 slowest ratio to the floor\n"
                 "  --no-floor     skip the relay that gives the floor\n"
                 "  --window W     log-ins in progress at a time (default 1000)\n"
                 "  --limit S      give up on a phase after S seconds (default 30 + N/40)\n"
                 "  --look L       every client switches to look L (plain, standard, photo)\n"
                 "                 right after its log-in\n"
                 "  --keep         keep the daemon's temporary directory (its log)\n"
                 "  -v             print the daemon's pid and the start of each phase\n"
                 "                 (CLOCK_MONOTONIC seconds) on standard error\n"
                 "The daemon defaults to %s.\n",
                 program, VCD_BINARY);
}

// The options that take a whole number, with its bounds.
struct number_option {
    const char* name;
    long low, high;
    int options::*field;
};

const number_option number_options[] = {
    {"--rounds", 1, 100000, &options::rounds}, {"--window", 1, 100000, &options::window},
    {"--rooms", 1, 1000, &options::rooms},     {"--senders", 1, 1000, &options::senders},
    {"--runs", 1, 100, &options::runs},        {"--spread", 0, 60000, &options::spread},
};

bool parse_options(int argc, char** argv, options& opt) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&](long low, long high, long& value) {
            if (i + 1 >= argc) return false;
            char* end = nullptr;
            value = std::strtol(argv[++i], &end, 10);
            return *end == '\0' && value >= low && value <= high;
        };
        long value = 0;
        const number_option* number = std::find_if(std::begin(number_options), std::end(number_options),
                                                   [&](const number_option& o) { return arg == o.name; });
        if (number != std::end(number_options)) {
            if (!next(number->low, number->high, value)) return false;
            opt.*(number->field) = static_cast<int>(value);
        } else if (arg == "-n") {
            if (!next(1, max_clients, value)) return false;
            opt.sizes.push_back(static_cast<int>(value));
        } else if (arg == "--applet") {
            opt.browser = false;
            opt.applet = true;
        } else if (arg == "--browser") {
            opt.applet = false;
            opt.browser = true;
        } else if (arg == "--limit") {
            if (!next(1, 86400, value)) return false;
            opt.limit = static_cast<double>(value);
        } else if (arg == "--look") {
            if (i + 1 >= argc) return false;
            opt.look = argv[++i];
        } else if (arg == "--no-floor") {
            opt.floor = false;
        } else if (arg == "--keep") {
            opt.keep = true;
        } else if (arg == "-v") {
            opt.verbose = true;
        } else if (!arg.empty() && arg[0] != '-') {
            opt.vcd = arg;
        } else {
            return false;
        }
    }
    if (opt.sizes.empty()) opt.sizes = {100, 1000, 5000};
    return *std::min_element(opt.sizes.begin(), opt.sizes.end()) >= opt.senders;
}

// ---------------------------------------------------------------------------
// Environment: namespace, descriptors, files

bool write_text(const std::string& path, const std::string& text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// A user namespace in which this user is root, and a network namespace owned
// by it with only the loopback interface, as `unshare -rn` makes.
bool enter_private_network() {
    uid_t uid = getuid();
    gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "unshare: %s\n", std::strerror(errno));
        return false;
    }
    if (!write_text("/proc/self/setgroups", "deny") ||
        !write_text("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !write_text("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
        std::fprintf(stderr, "cannot map the user into the new namespace: %s\n", std::strerror(errno));
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    if (up) {
        request.ifr_flags |= IFF_UP | IFF_RUNNING;
        up = ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    }
    ::close(fd);
    if (!up) std::fprintf(stderr, "cannot bring the loopback interface up: %s\n", std::strerror(errno));
    return up;
}

rlim_t raise_descriptor_limit() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    return limit.rlim_cur;
}

class temp_dir {
public:
    temp_dir() {
        char pattern[] = "/tmp/fanout_bench.XXXXXX";
        if (mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    ~temp_dir() {
        if (!path_.empty() && !keep_) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    bool write(const std::string& name, const std::string& content) const {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out << content;
        return static_cast<bool>(out);
    }
    void keep() { keep_ = true; }

private:
    std::string path_;
    bool keep_ = false;
};

std::string read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

long rss_kib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Field `index` (counted from 1, as in proc(5)) of /proc/<pid>/stat; -1 when
// unknown.
long stat_field(pid_t pid, int index) {
    std::string stat = read_whole("/proc/" + std::to_string(pid) + "/stat");
    std::size_t close_paren = stat.rfind(')');
    if (close_paren == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close_paren + 2));
    std::string field;
    for (int i = 3; i < index; ++i) fields >> field;
    long value = -1;
    fields >> value;
    return value;
}

// User plus system time of a process, in seconds; negative when unknown.
double cpu_seconds(pid_t pid) {
    return static_cast<double>(stat_field(pid, 14) + stat_field(pid, 15)) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Minor page faults of a process so far.
long minor_faults(pid_t pid) { return stat_field(pid, 10); }

double own_cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The processor and the load, since the daemon and this program share the
// machine with whatever else runs on it.
std::string machine() {
    std::string model = "unknown processor";
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line))
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    std::string load = read_whole("/proc/loadavg");
    load = load.substr(0, load.find(' ', load.find(' ', load.find(' ') + 1) + 1));
    return model + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " processors, load average " + load;
}

// ---------------------------------------------------------------------------
// The daemon

class daemon_run {
public:
    explicit daemon_run(temp_dir& dir) : dir_(dir) {}
    ~daemon_run() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    daemon_run(const daemon_run&) = delete;
    daemon_run& operator=(const daemon_run&) = delete;

    // Writes the configuration, runs the binary, which detaches, and finds
    // the detached process through its log. Empty on success, else the reason.
    std::string start(const std::string& binary, int rooms) {
        if (dir_.path().empty()) return "cannot make a temporary directory";
        std::string room_file;
        for (int r = 0; r < rooms; ++r) room_file += room_name(r, rooms) + " Fan-out\n";
        bool written = dir_.write("permissions.conf", "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\n") &&
                       dir_.write("rooms.conf", room_file) &&
                       dir_.write("security.conf", "# no rules\n") &&
                       dir_.write("replace.conf", "# no replacements\n") &&
                       dir_.write("welcome.html", "<p>Willkommen</p>\n") &&
                       dir_.write("vcd.conf", "all.host = 127.0.0.1\n"
                                              "all.path = " + dir_.path() + "\n"
                                              "file.welcome = welcome.html\n"
                                              "file.permissions = permissions.conf\n"
                                              "file.rooms = rooms.conf\n"
                                              "file.security = security.conf\n"
                                              "file.replace = replace.conf\n"
                                              "file.log = vcd.log\n"
                                              // A length limit the file leaves out is 0: it
                                              // would cut every nickname to nothing.
                                              "nick.max = 15\n"
                                              "pwd.max = 15\n"
                                              "room.max = 20\n"
                                              "ua.max = 100\n"
                                              "ref.max = 100\n"
                                              "comment.max = 100\n"
                                              // Every client comes from the loopback address.
                                              "limit.pending = 0\n");
        if (!written) return "cannot write the configuration";
        std::remove(dir_.file("vcd.log").c_str());

        pid_t launcher = fork();
        if (launcher < 0) return std::string("fork: ") + std::strerror(errno);
        if (launcher == 0) {
            std::signal(SIGPIPE, SIG_DFL);
            int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, 0);
                dup2(null, 1);
            }
            if (chdir(dir_.path().c_str()) != 0) _exit(126);
            std::string config = dir_.file("vcd.conf");
            execl(binary.c_str(), binary.c_str(), config.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(launcher, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return "the daemon did not start (status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                   "): " + read_whole(dir_.file("vcd.log"));

        std::int64_t deadline = now_ns() + 10'000'000'000;
        const std::string started = "daemon started (pid: ";
        while (pid_ == 0 && now_ns() < deadline) {
            std::string log = read_whole(dir_.file("vcd.log"));
            std::size_t at = log.find(started);
            if (at != std::string::npos) pid_ = static_cast<pid_t>(std::atol(log.c_str() + at + started.size()));
            if (pid_ == 0) usleep(10000);
        }
        if (pid_ == 0) return "no start in the daemon's log within 10 s";
        while (now_ns() < deadline) {
            if (listening(applet_port) && listening(browser_port)) return {};
            usleep(10000);
        }
        return "the daemon did not open its ports within 10 s";
    }

    pid_t pid() const { return pid_; }

    // SIGTERM and a bounded wait; the seconds it took, or a negative number
    // when the daemon had to be killed.
    double stop(double limit_seconds) {
        if (pid_ <= 0 || reaped_) return 0;
        std::int64_t begin = now_ns();
        kill(pid_, SIGTERM);
        std::int64_t deadline = begin + static_cast<std::int64_t>(limit_seconds * 1e9);
        while (now_ns() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped_ = true;
                exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return seconds(now_ns() - begin);
            }
            usleep(5000);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        reaped_ = true;
        return -1;
    }
    int exit_status() const { return exit_status_; }

private:
    static bool listening(int port) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        sockaddr_in address = loopback(port);
        bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    temp_dir& dir_;
    pid_t pid_ = 0;
    bool reaped_ = false;
    int exit_status_ = -1;
};

// ---------------------------------------------------------------------------
// Measurements

// Latencies in microseconds: exact up to 100 ms, in steps of 100 us up to
// 10.1 s, and one bucket beyond.
class histogram {
public:
    histogram() : buckets_(fine + coarse + 1, 0) {}
    void add(std::int64_t ns) {
        auto us = static_cast<std::size_t>(std::max<std::int64_t>(ns / 1000, 0));
        std::size_t index = us < fine ? us : std::min(fine + (us - fine) / 100, fine + coarse);
        ++buckets_[index];
        ++count_;
    }
    std::uint64_t count() const { return count_; }
    // Microseconds below which the fraction q of the samples lie.
    double percentile(double q) const {
        if (count_ == 0) return 0;
        std::uint64_t rank = static_cast<std::uint64_t>(q * static_cast<double>(count_ - 1)) + 1;
        std::uint64_t seen = 0;
        for (std::size_t i = 0; i < buckets_.size(); ++i) {
            seen += buckets_[i];
            if (seen >= rank) return i < fine ? static_cast<double>(i) + 0.5
                                              : static_cast<double>(fine + (i - fine) * 100) + 50;
        }
        return static_cast<double>(fine + coarse * 100);
    }

private:
    static constexpr std::size_t fine = 100000;
    static constexpr std::size_t coarse = 100000;
    std::vector<std::uint64_t> buckets_;
    std::uint64_t count_ = 0;
};

// ---------------------------------------------------------------------------
// Clients

class bench;

// Finds the chat lines in a byte stream. A line's text is "~S-R-T~" (sender,
// round, send time in nanoseconds); nothing else the daemon sends holds a
// tilde, so the markers can be found without parsing lines or HTML, even when
// one is split between two reads.
class marker_scanner {
public:
    void feed(const char* p, std::size_t n, bench& owner, std::int64_t now);

private:
    bool inside_ = false;
    std::uint8_t length_ = 0;
    char text_[40];
};

struct endpoint {
    int fd = -1;
    bool connected = false;
    bool polling_out = false;
    std::string out;  // bytes the socket did not take yet; usually empty
};

enum class phase : std::uint8_t { idle, waiting_challenge, waiting_login, in_room, failed };

struct client {
    endpoint applet;
    endpoint stream;
    marker_scanner applet_markers;
    marker_scanner stream_markers;
    // The start of the applet line being read; only short lines matter here.
    char head[72];
    std::uint8_t head_length = 0;
    phase state = phase::idle;
};

// What one run measured; rates and times are 0 when the phase did not end.
struct figures {
    double login_s = 0;
    double rate = 0;  // deliveries per second
    double p50_ms = 0;
    double p99_ms = 0;
    double kib_per_session = 0;
    double bytes_per_delivery = 0;
};

class bench {
public:
    // `floor`: the clients talk to the relay instead of the daemon.
    bench(const options& opt, int n, bool with_stream, bool floor = false)
        : opt_(opt), n_(n), with_stream_(with_stream && !floor), floor_(floor), clients_(n), buffer_(512 * 1024),
          events_(static_cast<std::size_t>(2 * n + 1)),
          arrivals_(opt.rounds, 0), limit_ns_(static_cast<std::int64_t>(
                                        (opt.limit > 0 ? opt.limit : 30.0 + n / 40.0) * 1e9)) {
        poller_ = epoll_create1(EPOLL_CLOEXEC);
    }
    ~bench() {
        for (client& c : clients_) {
            if (c.applet.fd >= 0) ::close(c.applet.fd);
            if (c.stream.fd >= 0) ::close(c.stream.fd);
        }
        if (poller_ >= 0) ::close(poller_);
    }
    bench(const bench&) = delete;
    bench& operator=(const bench&) = delete;

    // Returns the result line; `daemon` is null for the floor.
    std::string run(daemon_run* daemon);
    const figures& result() const { return result_; }

    void arrival(int sender, int round, std::int64_t sent, std::int64_t now);
    void bad_marker() { ++bad_markers_; }

private:
    enum class outcome { done, gave_up, failed };

    void start_client(int index);
    int open_connection(int port, std::uint64_t key);
    void send(client& c, bool to_stream, std::string_view text);
    void flush(client& c, bool to_stream);
    void poll_out(client& c, bool to_stream, bool on);
    void fail(client& c, const std::string& reason);
    void on_event(std::uint64_t key, std::uint32_t events);
    void read_from(client& c, bool from_stream);
    void applet_bytes(client& c, const char* p, std::size_t n);
    void on_line(client& c, const char* line, std::size_t length);
    void send_round(int round);
    void send_line(int sender, int round);
    // The client that is sender `s`: at least two senders share a room, so
    // that no room hears one sender alone, which its flood check would end.
    std::size_t sender_client(int s) const;
    // Sends the spread lines that are due; false once all are sent.
    bool send_spread(std::int64_t start);
    // One pass of the event loop, waiting at most `wait_ms`.
    void pass(int wait_ms);
    // Runs passes until the daemon has been silent for `quiet_ms` or the
    // limit passed; false on the limit.
    bool drain(int quiet_ms, std::int64_t limit);

    outcome log_in(std::string& note);
    outcome chat(std::string& note);

    const options& opt_;
    const int n_;
    const bool with_stream_;
    const bool floor_;
    figures result_;
    int poller_ = -1;
    std::vector<client> clients_;
    std::vector<char> buffer_;
    std::vector<epoll_event> events_;  // room for every socket of the clients

    // Log-in
    int started_ = 0;
    int in_progress_ = 0;
    int logged_in_ = 0;
    int failed_ = 0;
    std::int64_t last_login_ns_ = 0;
    std::map<std::string, int> failures_;

    // Chat
    bool chatting_ = false;
    std::uint64_t per_round_ = 0;  // deliveries that complete a round
    std::vector<int> arrivals_;
    int rounds_sent_ = 0;
    int rounds_complete_ = 0;
    int rounds_due_ = 0;  // rounds that may be sent now
    std::int64_t spread_sent_ = 0;  // lines sent with --spread
    std::int64_t first_send_ns_ = 0;
    std::int64_t last_arrival_ns_ = 0;
    std::uint64_t deliveries_ = 0;
    std::uint64_t stray_ = 0;  // arrivals of a round that was already complete
    std::uint64_t bad_markers_ = 0;
    histogram latency_;

    std::uint64_t bytes_in_ = 0;
    std::int64_t last_byte_ns_ = 0;
    const std::int64_t limit_ns_;
};

void marker_scanner::feed(const char* p, std::size_t n, bench& owner, std::int64_t now) {
    const char* end = p + n;
    while (p < end) {
        if (!inside_) {
            p = static_cast<const char*>(std::memchr(p, '~', static_cast<std::size_t>(end - p)));
            if (p == nullptr) return;
            ++p;
            inside_ = true;
            length_ = 0;
            continue;
        }
        const char* close = static_cast<const char*>(std::memchr(p, '~', static_cast<std::size_t>(end - p)));
        std::size_t take = static_cast<std::size_t>((close != nullptr ? close : end) - p);
        if (length_ + take > sizeof text_) {
            // Not one of ours: start again at the tilde that ends it.
            owner.bad_marker();
            inside_ = false;
            if (close == nullptr) return;
            p = close;
            continue;
        }
        std::memcpy(text_ + length_, p, take);
        length_ = static_cast<std::uint8_t>(length_ + take);
        if (close == nullptr) return;
        p = close + 1;
        inside_ = false;

        long long numbers[3] = {0, 0, 0};
        int field = 0;
        bool digits = false;
        bool ok = true;
        for (std::size_t i = 0; i < length_ && ok; ++i) {
            char ch = text_[i];
            if (ch >= '0' && ch <= '9') {
                numbers[field] = numbers[field] * 10 + (ch - '0');
                digits = true;
            } else if (ch == '-' && digits && field < 2) {
                ++field;
                digits = false;
            } else {
                ok = false;
            }
        }
        if (ok && field == 2 && digits)
            owner.arrival(static_cast<int>(numbers[0]), static_cast<int>(numbers[1]), numbers[2], now);
        else
            owner.bad_marker();
    }
}

int bench::open_connection(int port, std::uint64_t key) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in address = loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLOUT;
    ev.data.u64 = key;
    if (epoll_ctl(poller_, EPOLL_CTL_ADD, fd, &ev) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void bench::start_client(int index) {
    client& c = clients_[index];
    ++started_;
    ++in_progress_;
    c.applet.fd = open_connection(applet_port, static_cast<std::uint64_t>(index) << 1);
    c.applet.polling_out = true;
    if (c.applet.fd < 0) {
        fail(c, std::string("connect: ") + std::strerror(errno));
        return;
    }
    if (floor_) {
        c.state = phase::waiting_login;
        send(c, false, "LGN " + std::to_string(index % opt_.rooms) + "\n");
        return;
    }
    c.state = phase::waiting_challenge;
    // Every client claims its own internal address: the daemon finds the
    // session of a browser request by address and random id, and random ids
    // alone collide among thousands of sessions.
    char line[192];
    int length = std::snprintf(line, sizeof line,
                               "LGN \"vcp2\" \"c%05d\" \"\" \"%s\" \"10.%d.%d.%d\" \"fanout_bench\" "
                               "\"http://localhost/bench\" \"\" \"\"\n",
                               index, room_name(index, opt_.rooms).c_str(), (index >> 16) & 255, (index >> 8) & 255,
                               index & 255);
    send(c, false, std::string_view(line, static_cast<std::size_t>(length)));
}

void bench::poll_out(client& c, bool to_stream, bool on) {
    endpoint& e = to_stream ? c.stream : c.applet;
    if (e.polling_out == on || e.fd < 0) return;
    epoll_event ev{};
    ev.events = EPOLLIN | (on ? EPOLLOUT : 0u);
    ev.data.u64 = (static_cast<std::uint64_t>(&c - clients_.data()) << 1) | (to_stream ? 1u : 0u);
    epoll_ctl(poller_, EPOLL_CTL_MOD, e.fd, &ev);
    e.polling_out = on;
}

void bench::send(client& c, bool to_stream, std::string_view text) {
    endpoint& e = to_stream ? c.stream : c.applet;
    if (e.fd < 0) return;
    if (!e.connected || !e.out.empty()) {
        e.out.append(text);
        return;
    }
    ssize_t written = ::write(e.fd, text.data(), text.size());
    if (written < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            fail(c, std::string("write: ") + std::strerror(errno));
            return;
        }
        written = 0;
    }
    if (static_cast<std::size_t>(written) < text.size()) {
        e.out.append(text.substr(static_cast<std::size_t>(written)));
        poll_out(c, to_stream, true);
    }
}

void bench::flush(client& c, bool to_stream) {
    endpoint& e = to_stream ? c.stream : c.applet;
    while (!e.out.empty()) {
        ssize_t written = ::write(e.fd, e.out.data(), e.out.size());
        if (written < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            fail(c, std::string("write: ") + std::strerror(errno));
            return;
        }
        e.out.erase(0, static_cast<std::size_t>(written));
    }
    poll_out(c, to_stream, false);
}

void bench::fail(client& c, const std::string& reason) {
    if (c.state == phase::failed) return;
    if (c.state == phase::waiting_challenge || c.state == phase::waiting_login || c.state == phase::idle)
        --in_progress_;
    if (c.state == phase::in_room) --logged_in_;
    c.state = phase::failed;
    ++failed_;
    ++failures_[reason];
    for (endpoint* e : {&c.applet, &c.stream}) {
        if (e->fd >= 0) ::close(e->fd);
        e->fd = -1;
        e->out.clear();
    }
}

void bench::on_event(std::uint64_t key, std::uint32_t events) {
    client& c = clients_[key >> 1];
    bool is_stream = (key & 1) != 0;
    endpoint& e = is_stream ? c.stream : c.applet;
    if (c.state == phase::failed || e.fd < 0) return;
    if ((events & EPOLLOUT) != 0) {
        if (!e.connected) {
            int error = 0;
            socklen_t size = sizeof error;
            getsockopt(e.fd, SOL_SOCKET, SO_ERROR, &error, &size);
            if (error != 0) {
                fail(c, std::string(is_stream ? "browser connect: " : "connect: ") + std::strerror(error));
                return;
            }
            e.connected = true;
        }
        flush(c, is_stream);
        if (c.state == phase::failed) return;
    }
    if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) read_from(c, is_stream);
}

void bench::read_from(client& c, bool from_stream) {
    endpoint& e = from_stream ? c.stream : c.applet;
    for (;;) {
        ssize_t got = ::read(e.fd, buffer_.data(), buffer_.size());
        if (got > 0) {
            std::int64_t now = now_ns();
            bytes_in_ += static_cast<std::uint64_t>(got);
            last_byte_ns_ = now;
            auto n = static_cast<std::size_t>(got);
            if (from_stream) {
                c.stream_markers.feed(buffer_.data(), n, *this, now);
            } else {
                c.applet_markers.feed(buffer_.data(), n, *this, now);
                applet_bytes(c, buffer_.data(), n);
            }
            if (c.state == phase::failed || n < buffer_.size()) return;
            continue;
        }
        if (got == 0) {
            fail(c, from_stream ? "browser stream closed by the daemon" : "closed by the daemon");
            return;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) fail(c, std::string("read: ") + std::strerror(errno));
        return;
    }
}

// Splits applet bytes into lines in place; only the start of each line is
// kept across reads, since the verbs and the short lines are all that matter.
void bench::applet_bytes(client& c, const char* p, std::size_t n) {
    while (n > 0 && c.state != phase::failed) {
        const char* newline = static_cast<const char*>(std::memchr(p, '\n', n));
        std::size_t length = newline != nullptr ? static_cast<std::size_t>(newline - p) : n;
        if (newline != nullptr && c.head_length == 0) {
            on_line(c, p, length);
        } else {
            std::size_t room = sizeof c.head - c.head_length;
            std::size_t take = std::min(room, length);
            std::memcpy(c.head + c.head_length, p, take);
            c.head_length = static_cast<std::uint8_t>(c.head_length + take);
            if (newline == nullptr) return;
            on_line(c, c.head, c.head_length);
            c.head_length = 0;
        }
        p = newline + 1;
        n -= length + 1;
    }
}

// The value of the index-th quoted parameter of a line.
std::string_view parameter(std::string_view line, int index) {
    std::size_t at = 0;
    for (int k = 0; k <= index; ++k) {
        at = line.find(" \"", at);
        if (at == std::string_view::npos) return {};
        at += 2;
    }
    std::size_t end = line.find('"', at);
    return line.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
}

void bench::on_line(client& c, const char* text, std::size_t length) {
    std::string_view line(text, length);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view verb = line.substr(0, 3);
    if (verb == "TXT" || verb == "ADD" || verb == "DEL" || verb == "NRM" || verb == "COL" || verb == "SKN") return;
    if (verb == "HTB") {
        send(c, false, "HTB\n");
        return;
    }
    if (verb == "CNT" && c.state == phase::waiting_challenge) {
        std::string_view random_id = parameter(line, 2);
        long challenge = std::strtol(std::string(parameter(line, 3)).c_str(), nullptr, 10);
        long answer = challenge ^ challenge_key;
        c.state = phase::waiting_login;
        char request[160];
        if (!with_stream_) {
            int size = std::snprintf(request, sizeof request, "AUT \"%ld\"\n", answer);
            send(c, false, std::string_view(request, static_cast<std::size_t>(size)));
            return;
        }
        auto index = static_cast<int>(&c - clients_.data());
        c.stream.fd = open_connection(browser_port, (static_cast<std::uint64_t>(index) << 1) | 1u);
        c.stream.polling_out = true;
        if (c.stream.fd < 0) {
            fail(c, std::string("browser connect: ") + std::strerror(errno));
            return;
        }
        int size = std::snprintf(request, sizeof request, "GET /10.%d.%d.%d/%.*s/%ld/ HTTP/1.1\r\n\r\n",
                                 (index >> 16) & 255, (index >> 8) & 255, index & 255,
                                 static_cast<int>(random_id.size()), random_id.data(), answer);
        send(c, true, std::string_view(request, static_cast<std::size_t>(size)));
        return;
    }
    if (verb == "LGN" && c.state == phase::waiting_login) {
        c.state = phase::in_room;
        --in_progress_;
        ++logged_in_;
        last_login_ns_ = now_ns();
        if (!opt_.look.empty()) send(c, false, "TXT \".newmode " + opt_.look + "\"\n");
        return;
    }
    // "EXT", "NCK", "PWD" and anything out of order end this client.
    fail(c, "the daemon sent \"" + std::string(line.substr(0, 40)) + "\"");
}

void bench::arrival(int sender, int round, std::int64_t sent, std::int64_t now) {
    if (!chatting_ || sender < 0 || sender >= opt_.senders || round < 0 || round >= opt_.rounds) {
        ++bad_markers_;
        return;
    }
    ++deliveries_;
    latency_.add(now - sent);
    last_arrival_ns_ = now;
    int& count = arrivals_[static_cast<std::size_t>(round)];
    if (static_cast<std::uint64_t>(count) >= per_round_) {
        ++stray_;
        return;
    }
    if (static_cast<std::uint64_t>(++count) == per_round_) {
        ++rounds_complete_;
        ++rounds_due_;
    }
}

// Each of the ten says its line of the round. Sender s is client s, so the
// round goes out in the same order each time; the daemon may still take them
// in any order, which is why at most two rounds are in flight: then no sender
// has more than four lines in a row in the room, below what the room's flood
// check allows.
void bench::send_round(int round) {
    for (int s = 0; s < opt_.senders; ++s) send_line(s, round);
    ++rounds_sent_;
}

std::size_t bench::sender_client(int s) const {
    const int per_room = std::max(2, (opt_.senders + opt_.rooms - 1) / opt_.rooms);
    const long last = long{per_room - 1} * opt_.rooms + (opt_.senders - 1) / per_room;
    if (last >= n_) return static_cast<std::size_t>(s);
    return static_cast<std::size_t>(s % per_room * opt_.rooms + s / per_room);
}

void bench::send_line(int sender, int round) {
    char line[96];
    std::int64_t now = now_ns();
    if (round == 0 && sender == 0) first_send_ns_ = now;
    int length = std::snprintf(line, sizeof line, "TXT \"~%d-%d-%lld~\"\n", sender, round, static_cast<long long>(now));
    send(clients_[sender_client(sender)], false, std::string_view(line, static_cast<std::size_t>(length)));
}

// Chatters as a crowd has them: the lines come one by one at even intervals
// instead of all at once, so that latency is measured without a queue the
// bench made itself.
bool bench::send_spread(std::int64_t start) {
    const std::int64_t lines = std::int64_t{opt_.rounds} * opt_.senders;
    const std::int64_t step = std::int64_t{opt_.spread} * 1000000 / opt_.senders;
    for (; spread_sent_ < lines && start + spread_sent_ * step <= now_ns(); ++spread_sent_)
        send_line(static_cast<int>(spread_sent_ % opt_.senders), static_cast<int>(spread_sent_ / opt_.senders));
    return spread_sent_ < lines;
}

// Every ready socket is read in the same pass: a socket served only every
// few passes would leave the daemon's output for it waiting long enough to
// count as a stalled reader, and the bench would measure itself.
void bench::pass(int wait_ms) {
    int count = epoll_wait(poller_, events_.data(), static_cast<int>(events_.size()), wait_ms);
    for (int i = 0; i < count; ++i) {
        const epoll_event& event = events_[static_cast<std::size_t>(i)];
        on_event(event.data.u64, event.events);
    }
}

bool bench::drain(int quiet_ms, std::int64_t limit) {
    std::int64_t deadline = now_ns() + limit;
    last_byte_ns_ = now_ns();
    while (now_ns() - last_byte_ns_ < static_cast<std::int64_t>(quiet_ms) * 1000000) {
        if (now_ns() > deadline) return false;
        pass(10);
    }
    return true;
}

bench::outcome bench::log_in(std::string& note) {
    std::int64_t begin = now_ns();
    std::int64_t deadline = begin + limit_ns_;
    while (logged_in_ + failed_ < n_) {
        // Connections are started in slices, so that reading what the
        // daemon sends keeps pace with them.
        for (int slice = 0; slice < 100 && started_ < n_ && in_progress_ < opt_.window; ++slice)
            start_client(started_);
        if (now_ns() > deadline) {
            char text[160];
            std::snprintf(text, sizeof text, "log-in gave up after %.0f s: %d of %d logged in", seconds(limit_ns_),
                          logged_in_, n_);
            note = text;
            return outcome::gave_up;
        }
        pass(10);
    }
    char text[96];
    if (failed_ == 0)
        std::snprintf(text, sizeof text, "login %.2f s", seconds(last_login_ns_ - begin));
    else
        std::snprintf(text, sizeof text, "log-in failed: %d of %d logged in", logged_in_, n_);
    note = text;
    return failed_ == 0 ? outcome::done : outcome::failed;
}

bench::outcome bench::chat(std::string& note) {
    std::vector<std::uint64_t> members(static_cast<std::size_t>(opt_.rooms), 0);
    for (std::size_t i = 0; i < clients_.size(); ++i)
        if (clients_[i].state == phase::in_room) ++members[i % members.size()];
    per_round_ = 0;
    for (int s = 0; s < opt_.senders; ++s) per_round_ += members[sender_client(s) % members.size()];
    chatting_ = true;
    std::int64_t deadline = now_ns() + limit_ns_;
    const std::int64_t start = now_ns();
    int in_flight = opt_.spread > 0 ? 0 : std::min(2, opt_.rounds);
    for (int r = 0; r < in_flight; ++r) send_round(r);
    while (rounds_complete_ < opt_.rounds) {
        if (failed_ > 0) {
            note = "chat stopped: a client was ended";
            return outcome::failed;
        }
        if (now_ns() > deadline) {
            char text[160];
            std::snprintf(text, sizeof text, "chat gave up after %.0f s: %d of %d rounds complete", seconds(limit_ns_),
                          rounds_complete_, opt_.rounds);
            note = text;
            return outcome::gave_up;
        }
        if (opt_.spread > 0) {
            pass(send_spread(start) ? 1 : 10);
            continue;
        }
        pass(10);
        for (; rounds_due_ > 0 && rounds_sent_ < opt_.rounds; --rounds_due_) send_round(rounds_sent_);
    }
    chatting_ = false;
    return outcome::done;
}

std::string bench::run(daemon_run* daemon) {
    std::string name = floor_ ? "    floor:   " : "N=" + std::to_string(n_) + (with_stream_ ? " browser: " : " applet: ");
    if (poller_ < 0) return name + "epoll: " + std::strerror(errno);
    const pid_t pid = daemon != nullptr ? daemon->pid() : 0;
    usleep(200000);  // until the probe connections of the start are gone
    long rss_before = daemon != nullptr ? rss_kib(pid) : 0;
    double cpu_start = daemon != nullptr ? cpu_seconds(pid) : 0;
    mark_phase(name + "daemon pid " + std::to_string(pid) + ", log-in");

    std::string login_note;
    std::int64_t login_begin = now_ns();
    outcome login = log_in(login_note);
    std::string line = name + login_note;
    auto report_failures = [&] {
        for (const auto& [reason, count] : failures_) line += "\n    " + std::to_string(count) + " x " + reason;
    };
    if (login != outcome::done) {
        char text[160];
        std::snprintf(text, sizeof text, " after %.2f s, %.1f MiB received", seconds(now_ns() - login_begin),
                      static_cast<double>(bytes_in_) / (1024.0 * 1024.0));
        line += text;
        if (daemon != nullptr) {
            std::snprintf(text, sizeof text, "; daemon CPU time %.2f s", cpu_seconds(pid) - cpu_start);
            line += text;
        }
        report_failures();
        return line;
    }
    result_.login_s = seconds(last_login_ns_ - login_begin);

    // Memory of idle sessions: once everything the log-ins caused is out.
    bool quiet = drain(300, limit_ns_);
    long rss_after = 0;
    double cpu_logged_in = 0;
    if (daemon != nullptr) {
        // The daemon gives freed memory back at most once a second, after a
        // pass of its loop: let a second pass, then wake it with a heartbeat.
        usleep(1100000);
        send(clients_[0], false, "HTB\n");
        drain(100, limit_ns_);
        rss_after = rss_kib(pid);
        cpu_logged_in = cpu_seconds(pid);
        result_.kib_per_session = static_cast<double>(rss_after - rss_before) / n_;
    }
    double own_logged_in = own_cpu_seconds();
    const long faults_logged_in = daemon != nullptr ? minor_faults(pid) : 0;
    if (!quiet) line += " (the daemon never went quiet after the log-ins)";

    mark_phase(name + "chat");
    std::string chat_note;
    const std::uint64_t bytes_before_chat = bytes_in_;
    outcome chatted = chat(chat_note);
    mark_phase(name + "chat done");
    double cpu_chatted = daemon != nullptr ? cpu_seconds(pid) : 0;
    const long faults_chatted = daemon != nullptr ? minor_faults(pid) : 0;
    double own_chatted = own_cpu_seconds();
    std::uint64_t expected = static_cast<std::uint64_t>(opt_.rounds) * per_round_;
    char text[512];
    if (chatted == outcome::done) {
        result_.rate = static_cast<double>(deliveries_) / seconds(last_arrival_ns_ - first_send_ns_);
        result_.p50_ms = latency_.percentile(0.50) / 1000;
        result_.p99_ms = latency_.percentile(0.99) / 1000;
        result_.bytes_per_delivery =
            static_cast<double>(bytes_in_ - bytes_before_chat) / static_cast<double>(std::max<std::uint64_t>(deliveries_, 1));
        std::snprintf(text, sizeof text, ", %.2f M deliveries/s, p50 %.2f ms, p99 %.2f ms, max %.1f ms, %.0f bytes/delivery",
                      result_.rate / 1e6, result_.p50_ms, result_.p99_ms, latency_.percentile(1.0) / 1000,
                      result_.bytes_per_delivery);
        line += text;
    } else {
        line += ", " + chat_note;
    }
    if (daemon != nullptr) {
        std::snprintf(text, sizeof text, ", %.2f KiB/session", result_.kib_per_session);
        line += text;
    }
    std::snprintf(text, sizeof text, "\n    %llu of %llu deliveries in %.2f s; %.1f MiB received in all",
                  static_cast<unsigned long long>(deliveries_), static_cast<unsigned long long>(expected),
                  seconds(last_arrival_ns_ - first_send_ns_), static_cast<double>(bytes_in_) / (1024.0 * 1024.0));
    line += text;
    if (daemon != nullptr) {
        std::snprintf(text, sizeof text,
                      "; daemon RSS %ld KiB idle, %ld KiB with %d sessions"
                      "\n    daemon CPU time: %.2f s for the log-ins, %.2f s for the chat (%.2f M deliveries per CPU "
                      "second, %ld page faults); clients' CPU time for the chat: %.2f s",
                      rss_before, rss_after, n_, cpu_logged_in - cpu_start, cpu_chatted - cpu_logged_in,
                      static_cast<double>(deliveries_) / std::max(cpu_chatted - cpu_logged_in, 0.01) / 1e6,
                      faults_chatted - faults_logged_in, own_chatted - own_logged_in);
        line += text;
    }
    if (bad_markers_ > 0 || stray_ > 0) {
        std::snprintf(text, sizeof text, "\n    %llu unreadable markers, %llu arrivals beyond the members",
                      static_cast<unsigned long long>(bad_markers_), static_cast<unsigned long long>(stray_));
        line += text;
    }
    report_failures();
    return line;
}

// ---------------------------------------------------------------------------
// The floor

// Runs the relay in a child process on the applet port; stops it on
// destruction.
class relay_run {
public:
    explicit relay_run(std::size_t line_size) {
        int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        int on = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address = loopback(applet_port);
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener, 4096) != 0) {
            error_ = std::string("relay: ") + std::strerror(errno);
            ::close(listener);
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            vorta_bench::floor_relay(listener, line_size);
            _exit(0);
        }
        ::close(listener);
        if (pid_ < 0) error_ = std::string("fork: ") + std::strerror(errno);
    }
    ~relay_run() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    relay_run(const relay_run&) = delete;
    relay_run& operator=(const relay_run&) = delete;
    const std::string& error() const { return error_; }

private:
    pid_t pid_ = -1;
    std::string error_;
};

// One run of the daemon: what it measured, and its lines of text in `line`.
figures daemon_figures(const options& opt, int n, bool with_stream, std::string& line, int& status) {
    temp_dir dir;
    daemon_run daemon(dir);
    std::string error = daemon.start(opt.vcd, opt.rooms);
    if (!error.empty()) {
        line = "N=" + std::to_string(n) + (with_stream ? " browser: " : " applet: ") + error;
        status = 1;
        if (opt.keep) dir.keep();
        return {};
    }
    figures result;
    {
        bench run(opt, n, with_stream);
        line = run.run(&daemon);
        result = run.result();
        // Stop the daemon while the clients are still connected, so that it
        // does not work through thousands of departures first.
        double stop_limit = 30.0 + n / 100.0;
        mark_phase("N=" + std::to_string(n) + (with_stream ? " browser: " : " applet: ") + "stop");
        double stopped = daemon.stop(stop_limit);
        char text[160];
        if (stopped < 0)
            std::snprintf(text, sizeof text, "\n    the daemon did not stop within %.0f s and was killed", stop_limit);
        else if (daemon.exit_status() != 0)
            std::snprintf(text, sizeof text, "\n    the daemon stopped with status %d", daemon.exit_status());
        else
            std::snprintf(text, sizeof text, "\n    daemon stopped in %.2f s", stopped);
        line += text;
    }
    if (opt.keep) {
        dir.keep();
        line += "\n    kept " + dir.path();
    }
    return result;
}

// The floor at the given line size, as a line of text and its figures.
figures floor_figures(const options& opt, int n, std::size_t line_size, std::string& line) {
    relay_run relay(line_size);
    if (!relay.error().empty()) {
        line = "    floor: " + relay.error();
        return {};
    }
    bench run(opt, n, false, true);
    line = run.run(nullptr);
    return run.result();
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double ratio(double value, double floor) { return floor > 0 ? value / floor : 0; }

// Runs one configuration opt.runs times, each time the floor first.
void measure(const options& opt, int n, bool with_stream, int& status) {
    const char* variant = with_stream ? "browser" : "applet";
    std::size_t line_size = 0;
    if (opt.floor) {
        // A short run of the daemon tells the size of its chat lines in this
        // look and variant.
        options probe = opt;
        probe.rounds = 3;
        probe.keep = false;
        std::string ignored;
        line_size = static_cast<std::size_t>(
            daemon_figures(probe, std::min(n, std::max(2 * opt.senders, 20)), with_stream, ignored, status)
                .bytes_per_delivery + 0.5);
        if (line_size == 0) {
            std::printf("N=%d %s: the probe for the line size failed: %s\n", n, variant, ignored.c_str());
            std::fflush(stdout);
            status = 1;
            return;
        }
    }
    std::vector<double> rates, p99s, floor_rates, rate_ratios, logins;
    for (int r = 0; r < opt.runs; ++r) {
        figures floor;
        if (opt.floor) {
            std::string line;
            floor = floor_figures(opt, n, line_size, line);
            std::printf("%s (lines of %zu bytes)\n", line.c_str(), line_size);
            std::fflush(stdout);
        }
        std::string line;
        figures f = daemon_figures(opt, n, with_stream, line, status);
        std::printf("%s\n", line.c_str());
        if (opt.floor) {
            std::printf("    ratio to the floor: deliveries/s %.2f, p99 %.2f (floor %.2f M/s, p99 %.2f ms)\n",
                        ratio(f.rate, floor.rate), ratio(f.p99_ms, floor.p99_ms), floor.rate / 1e6, floor.p99_ms);
            floor_rates.push_back(floor.rate);
            rate_ratios.push_back(ratio(f.rate, floor.rate));
        }
        std::fflush(stdout);
        rates.push_back(f.rate);
        p99s.push_back(f.p99_ms);
        logins.push_back(f.login_s);
    }
    if (opt.runs == 1) return;
    std::printf("N=%d %s, %d runs: median %.2f M deliveries/s, p99 %.2f ms, log-in %.2f s", n, variant, opt.runs,
                median(rates) / 1e6, median(p99s), median(logins));
    if (opt.floor)
        std::printf("; ratio to the floor: median %.2f, slowest %.2f (floor median %.2f M/s)", median(rate_ratios),
                    *std::min_element(rate_ratios.begin(), rate_ratios.end()), median(floor_rates) / 1e6);
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    options opt;
    if (!parse_options(argc, argv, opt)) {
        usage(argv[0]);
        return 2;
    }
    if (access(opt.vcd.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "%s: not an executable daemon\n", opt.vcd.c_str());
        return 2;
    }
    verbose = opt.verbose;
    if (!enter_private_network()) return 1;
    // Each client holds one descriptor, two with a browser stream; the
    // daemon, started from here, inherits the hard limit and needs as many.
    rlim_t descriptors = raise_descriptor_limit();
    const int largest = *std::max_element(opt.sizes.begin(), opt.sizes.end());
    const int per_client = opt.browser ? 2 : 1;
    const rlim_t needed = static_cast<rlim_t>(per_client) * static_cast<rlim_t>(largest) + 64;
    if (descriptors < needed) {
        std::fprintf(stderr,
                     "%d clients%s need %lu descriptors, but the limit is %lu (soft raised to hard); "
                     "raise the hard limit (ulimit -Hn as root, or limits.conf) or run fewer clients\n",
                     largest, opt.browser ? " with browser streams" : "", static_cast<unsigned long>(needed),
                     static_cast<unsigned long>(descriptors));
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);
    // The daemon detaches from its launcher; as subreaper this process gets
    // it as a child and can collect its exit status.
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    std::printf("fan-out: %d senders x %d lines into %d room%s; look: %s\n", opt.senders, opt.rounds, opt.rooms,
                opt.rooms == 1 ? "" : "s", opt.look.empty() ? "Standard (the default)" : opt.look.c_str());
    std::printf("machine: %s\n", machine().c_str());
    std::fflush(stdout);

    int status = 0;
    for (int n : opt.sizes)
        for (bool with_stream : {false, true})
            if (with_stream ? opt.browser : opt.applet) measure(opt, n, with_stream, status);
    return status;
}
