// A long run of ordinary traffic: 1,000 clients log in, chat and leave at
// random for ten minutes (one with --quick). Prints the daemon's resident
// memory (at each minute's end and its peak) and open descriptors every
// minute, then whether memory, once every client left, is within 10 % of
// where it stood after the first minute, whether the descriptors went
// back to the listeners once every client left, and whether the log holds an
// "error:" line.
//
// The program starts the daemon itself from a temporary directory, inside a
// private user and network namespace of its own (it runs itself again under
// `unshare -rn`), so that it never meets another daemon on the fixed ports.
// It is not a test: it only prints what it saw.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/chat_client.hpp"
#include "support/daemon.hpp"
#include "support/temp_dir.hpp"

#ifndef VCD_BINARY
#define VCD_BINARY "vcd"
#endif

namespace {

using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;
using test_support::applet;

constexpr int clients = 1000;
constexpr int threads = 8;
constexpr int rooms = 10;

long resident_kib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

long open_descriptors(pid_t pid) {
    std::error_code error;
    long count = 0;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
         !error && it != end; it.increment(error))
        ++count;
    return count;
}

// One thread's share of the clients: each step picks one at random and lets
// it log in, say a line, answer heartbeats or leave (politely or abruptly).
class crowd {
public:
    crowd(int index, int size, std::atomic<long>& said)
        : rng_(static_cast<unsigned>(index) * 7919u + 17u), index_(index), slots_(size), said_(said) {}

    void run(const std::atomic<bool>& going) {
        while (going) {
            step(pick(slots_.size()));
            std::this_thread::sleep_for(2ms);
        }
        slots_.clear();
    }

    int logged_in() const { return in_.load(); }

private:
    struct slot {
        std::unique_ptr<applet> app;
        std::string nickname;
        clock_type::time_point last_beat;
        int lines = 0;
    };

    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

    void step(std::size_t which) {
        slot& s = slots_[which];
        if (!s.app) {
            s.nickname = "s" + std::to_string(index_) + "x" + std::to_string(which) + "y" + std::to_string(++serial_ % 100);
            s.app = std::make_unique<applet>();
            s.app->send_login(test_support::login_as(s.nickname, "Raum" + std::to_string(pick(rooms))));
            auto greeting = s.app->read_greeting(5000ms);
            if (!greeting) {
                s.app.reset();
                return;
            }
            s.app->authenticate(test_support::challenge_answer(greeting->challenge));
            s.last_beat = clock_type::now();
            s.lines = 0;
            ++in_;
            return;
        }
        s.app->drain();
        const auto roll = pick(1000);
        if (roll < 4 || s.app->closed(0ms)) {
            // Away: a third with ".quit", the rest by dropping the connection.
            if (roll < 1) s.app->send_text(".quit");
            s.app->close(roll % 2 == 0);
            s.app.reset();
            --in_;
        } else if (roll < 400) {
            s.app->send_text("Zeile " + std::to_string(++s.lines) + " von " + s.nickname);
            ++said_;
        }
        if (s.app && clock_type::now() - s.last_beat > 20s) {
            s.app->send("HTB");
            s.last_beat = clock_type::now();
        }
    }

    std::mt19937 rng_;
    int index_;
    unsigned serial_ = 0;
    std::vector<slot> slots_;
    std::atomic<long>& said_;
    std::atomic<int> in_{0};
};

std::string configuration(test_support::temp_dir& dir) {
    std::string room_file = "# rooms\n";
    for (int i = 0; i < rooms; ++i) room_file += "Raum" + std::to_string(i) + "\n";
    dir.write("rooms.conf", room_file);
    dir.write("permissions.conf", "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\n");
    dir.write("security.conf", "# no rules\n");
    dir.write("replace.conf", "");
    return dir.write("vcd.conf", "all.host = 127.0.0.1\n"
                                 "all.path = " + dir.path() + "\n"
                                 "file.permissions = permissions.conf\n"
                                 "file.rooms = rooms.conf\n"
                                 "file.security = security.conf\n"
                                 "file.replace = replace.conf\n"
                                 "file.log = vcd.log\n");
}

int soak(int minutes) {
    test_support::bring_loopback_up();
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);

    test_support::temp_dir dir;
    const std::string config = configuration(dir);
    if (test_support::daemon_process::launch(dir.path(), {VCD_BINARY, config}, {}).status != 0) {
        std::fprintf(stderr, "the daemon did not start:\n%s", test_support::read_file(dir.file("vcd.log")).c_str());
        return 1;
    }
    test_support::daemon_process daemon(dir.file("vcd.log"));
    if (daemon.pid() == 0 || !test_support::wait_listening(test_support::applet_port)) return 1;
    std::this_thread::sleep_for(200ms);
    const long listeners = open_descriptors(daemon.pid());

    std::atomic<bool> going{true};
    std::atomic<long> said{0};
    std::vector<std::unique_ptr<crowd>> crowds;
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i) crowds.push_back(std::make_unique<crowd>(i, clients / threads, said));
    for (auto& c : crowds) workers.emplace_back([&c, &going] { c->run(going); });

    std::printf("%d clients in %d rooms for %d minute(s); daemon pid %d, %ld descriptors at rest\n", clients,
                rooms, minutes, static_cast<int>(daemon.pid()), listeners);
    std::printf("minute  resident KiB (at end, peak)  descriptors  logged in  lines said\n");
    long first_rss = 0;
    for (int minute = 1; minute <= minutes; ++minute) {
        // Sampled every second: one sample alone mostly shows where the
        // allocator stands in giving memory back.
        long peak = 0;
        for (int second = 0; second < 60; ++second) {
            std::this_thread::sleep_for(1s);
            peak = std::max(peak, resident_kib(daemon.pid()));
        }
        int in = 0;
        for (const auto& c : crowds) in += c->logged_in();
        const long rss = resident_kib(daemon.pid());
        if (minute == 1) first_rss = rss;
        std::printf("%6d  %10ld %12ld  %11ld  %9d  %10ld\n", minute, rss, peak, open_descriptors(daemon.pid()), in,
                    said.load());
        std::fflush(stdout);
    }
    going = false;
    for (auto& w : workers) w.join();
    crowds.clear();
    // Give the daemon a moment to see every connection close.
    long descriptors = 0;
    for (int i = 0; i < 50 && (descriptors = open_descriptors(daemon.pid())) > listeners; ++i)
        std::this_thread::sleep_for(100ms);
    const long last_rss = resident_kib(daemon.pid());
    const bool running = daemon.running();
    const int errors = test_support::count_lines(dir.file("vcd.log"), "error:");

    const double growth = first_rss > 0 ? 100.0 * static_cast<double>(last_rss - first_rss) / first_rss : 0;
    std::printf("resident memory after every client left: %ld KiB, %+.1f %% against minute 1 (%s)\n", last_rss, growth,
                growth <= 10.0 ? "within 10 %" : "MORE than 10 %");
    std::printf("descriptors after every client left: %ld of %ld at rest (%s)\n", descriptors, listeners,
                descriptors == listeners ? "back to the listeners" : "NOT back");
    std::printf("daemon %s; %d \"error:\" line(s) in its log\n", running ? "running" : "GONE", errors);
    daemon.signal(SIGTERM);
    daemon.wait_exit();
    return growth <= 10.0 && descriptors == listeners && running && errors == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    int minutes = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            minutes = 1;
        } else {
            std::fprintf(stderr, "usage: %s [--quick]\n  --quick  one minute instead of ten\n", argv[0]);
            return 2;
        }
    }
    if (std::getenv("SOAK_BENCH_ISOLATED") == nullptr) {
        setenv("SOAK_BENCH_ISOLATED", "1", 1);
        std::vector<char*> args{const_cast<char*>("unshare"), const_cast<char*>("-rn")};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("unshare", args.data());
        std::perror("unshare");
        return 1;
    }
    return soak(minutes);
}
