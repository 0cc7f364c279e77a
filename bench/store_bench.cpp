// The cost of the store, against the real daemon:
//  1. registered log-ins with password hashing while other visitors chat:
//     the time the log-ins take, and the 50th and 99th percentile latency of a
//     chatter's line (sent to seen) meanwhile and without log-ins;
//  2. guest log-ins with the store on and with "db.connection" empty, and the
//     ratio of the two times.
// Run it in a private network namespace (`unshare -rn build/store_bench`):
// the daemon takes the fixed ports. It is not a test: it only prints.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "store/password_hasher.hpp"
#include "store/sqlite_store.hpp"
#include "support/chat_client.hpp"
#include "support/daemon.hpp"
#include "support/temp_dir.hpp"

namespace {

using clock_type = std::chrono::steady_clock;
using test_support::applet;
using test_support::login_form;

constexpr int chatters = 100;
constexpr int log_in_threads = 4;
const std::string password = "geheim123";

double since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

// A daemon on a fresh directory, with or without a store of `accounts`
// registered nicknames "reg0", "reg1", ... (one hash for all: verifying costs
// the same).
class bench_daemon {
public:
    bench_daemon(bool store, int accounts) {
        dir_.write("permissions.conf", "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\n");
        dir_.write("rooms.conf", "Lobby\nBench\n");
        dir_.write("security.conf", "# no rules\n");
        dir_.write("replace.conf", "# no replacements\n");
        dir_.write("welcome.html", "<p>Willkommen</p>\n");
        const std::string config =
            dir_.write("vcd.conf", std::string(store ? "db.connection = sqlite:vcd.db\n" : "") +
                                       "all.host = 127.0.0.1\nall.path = " + dir_.path() +
                                       "\nfile.welcome = welcome.html\nfile.permissions = permissions.conf\n"
                                       "file.rooms = rooms.conf\nfile.security = security.conf\n"
                                       "file.replace = replace.conf\nfile.log = vcd.log\nnick.max = 15\n"
                                       "pwd.max = 15\nroom.max = 20\nua.max = 100\nref.max = 100\ncomment.max = 100\n");
        if (store && accounts > 0) {
            vorta::sqlite_store file(dir_.file("vcd.db"));
            const std::string hash = vorta::password_hasher::hash_now(password);
            for (int i = 0; i < accounts; ++i) file.add_account("reg" + std::to_string(i), hash, "");
        }
        if (test_support::daemon_process::launch(dir_.path(), {VCD_BINARY, config}, {}).status != 0) return;
        process_ = std::make_unique<test_support::daemon_process>(dir_.file("vcd.log"));
        if (process_->pid() <= 0 || !test_support::wait_listening(test_support::browser_port)) process_.reset();
    }
    ~bench_daemon() {
        if (!process_) return;
        process_->signal(SIGTERM);
        process_->wait_exit(std::chrono::seconds(30));
    }
    bool running() const { return process_ != nullptr; }
    pid_t pid() const { return process_ ? process_->pid() : 0; }

private:
    test_support::temp_dir dir_;
    std::unique_ptr<test_support::daemon_process> process_;
};

// Logs in and waits for the room list; false when the daemon did not let him in.
bool log_in(applet& a, const std::string& nickname, const std::string& typed, const std::string& room) {
    login_form form = test_support::login_as(nickname, room);
    form.password = typed;
    a.send_login(form);
    auto greeting = a.read_greeting(std::chrono::seconds(60));
    if (!greeting) return false;
    a.authenticate(test_support::challenge_answer(greeting->challenge));
    return a.read_until("NRM ", std::chrono::seconds(60)).found;
}

// `count` log-ins of `nickname(i)`, spread over a few client threads, each
// closing its connection once in. Returns the seconds it took, negative when
// one failed.
template <class Name>
double log_ins(int count, const std::string& typed, Name nickname) {
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    const auto start = clock_type::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < log_in_threads; ++t)
        threads.emplace_back([&] {
            for (int i = next++; i < count && !failed; i = next++) {
                applet a;
                if (!log_in(a, nickname(i), typed, "Lobby")) failed = true;
            }
        });
    for (auto& thread : threads) thread.join();
    return failed ? -1 : since(start);
}

struct percentiles {
    double p50 = 0, p99 = 0;
    std::size_t samples = 0;
};

// 100 visitors in one room: all but one say a line about once a second and
// drain what they get; the last one sends a probe line every 20 ms and
// times it until it comes back to him, for as long as `busy` holds.
percentiles chat_while(const std::function<bool()>& busy) {
    std::vector<std::unique_ptr<applet>> people;
    for (int i = 0; i < chatters; ++i) {
        people.push_back(std::make_unique<applet>());
        if (!log_in(*people.back(), "chat" + std::to_string(i), "", "Bench")) return {};
    }
    std::atomic<bool> done{false};
    std::thread load([&] {
        for (long round = 0; !done; ++round) {
            for (int i = 0; i + 1 < chatters && !done; ++i) {
                people[i]->send_text("Zeile " + std::to_string(round));
                people[i]->drain();
                std::this_thread::sleep_for(std::chrono::milliseconds(1000 / chatters));
            }
        }
    });
    applet& probe = *people.back();
    probe.drain();
    std::vector<double> latencies;
    while (busy()) {
        const std::string text = "probe" + std::to_string(latencies.size());
        const auto sent = clock_type::now();
        probe.send_text(text);
        auto seen = probe.read_until([&](const std::string& line) { return line.find(text + "<") != std::string::npos; },
                                     std::chrono::seconds(10));
        if (!seen.found) break;
        latencies.push_back(since(sent) * 1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    done = true;
    load.join();
    std::sort(latencies.begin(), latencies.end());
    percentiles result;
    result.samples = latencies.size();
    if (!latencies.empty()) {
        result.p50 = latencies[latencies.size() / 2];
        result.p99 = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
    }
    return result;
}

void registered_log_ins(int count) {
    bench_daemon daemon(true, count);
    if (!daemon.running()) {
        std::printf("the daemon did not start\n");
        return;
    }
    // The chat alone for five seconds, then with the log-ins.
    const auto quiet_end = clock_type::now() + std::chrono::seconds(5);
    const percentiles quiet = chat_while([&] { return clock_type::now() < quiet_end; });
    std::atomic<bool> logging_in{true};
    double taken = 0;
    std::thread logins([&] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        taken = log_ins(count, password, [](int i) { return "reg" + std::to_string(i); });
        logging_in = false;
    });
    const percentiles busy = chat_while([&] { return logging_in.load(); });
    logins.join();
    std::printf("%d registered log-ins with Argon2id (m=%zu MiB, t=%llu) while %d visitors chat: %.1f s, %.1f ms each\n",
                count, vorta::password_hasher::mem_limit >> 20, vorta::password_hasher::ops_limit, chatters, taken,
                taken * 1000 / count);
    std::printf("  chat latency without log-ins: p50 %.2f ms, p99 %.2f ms (%zu lines)\n", quiet.p50, quiet.p99,
                quiet.samples);
    std::printf("  chat latency during log-ins:  p50 %.2f ms, p99 %.2f ms (%zu lines)\n", busy.p50, busy.p99,
                busy.samples);
}

// Three runs each way, taken in turn; the best of each counts, since the
// others on the machine only ever add time.
void guest_log_ins(int count) {
    double seconds[2] = {1e9, 1e9};
    for (int run = 0; run < 3; ++run) {
        for (bool store : {false, true}) {
            bench_daemon daemon(store, 0);
            if (!daemon.running()) {
                std::printf("the daemon did not start\n");
                return;
            }
            const double taken = log_ins(count, "", [](int i) { return "gast" + std::to_string(i); });
            if (taken < 0) {
                std::printf("a guest log-in failed\n");
                return;
            }
            seconds[store] = std::min(seconds[store], taken);
        }
    }
    std::printf("%d guest log-ins (best of 3): %.2f s without a store, %.2f s with one; ratio %.2f\n", count,
                seconds[0], seconds[1], seconds[1] / seconds[0]);
}

}  // namespace

int main(int argc, char** argv) {
    test_support::bring_loopback_up();
    const int registered = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int guests = argc > 2 ? std::atoi(argv[2]) : 5000;
    if (registered > 0) registered_log_ins(registered);
    if (guests > 0) guest_log_ins(guests);
    return 0;
}
