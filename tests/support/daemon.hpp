#pragma once
// Runs the real daemon for a test: starts the binary from a working directory,
// finds the detached process through its log, sends it signals and collects
// its exit status (the test process is the subreaper of its descendants).
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

using namespace std::chrono_literals;

// What the launching process leaves to the launched one, as a careless launcher might.
struct launch_options {
    int inherited_descriptor = -1;       // /dev/null is open on this number (-1: none)
    std::optional<std::string> input = std::nullopt;  // all of standard input
};

struct launch_result {
    int status = -1;     // exit status of the launched process (the parent that detaches)
    std::string output;  // its standard output and standard error
};

class daemon_process {
public:
    // Runs `args` in `directory` under the mask 077; `env` ("NAME=value") is the environment.
    static launch_result launch(const std::string& directory, const std::vector<std::string>& args,
                                const std::vector<std::string>& env, const launch_options& options = {});

    // Attaches to the daemon whose "daemon started (pid: N)" line appears in
    // `log` from byte `from` on within 10 s; pid() is 0 when none does.
    explicit daemon_process(const std::string& log, std::size_t from = 0);
    ~daemon_process();  // kills a daemon that is still running

    pid_t pid() const { return pid_; }
    bool running() const;
    void signal(int number) const;
    // Waits for the daemon to end; its exit status, or -1 on time-out.
    int wait_exit(std::chrono::milliseconds timeout = 10s);

private:
    pid_t pid_ = 0;
    bool reaped_ = false;
};

void bring_loopback_up();
// Waits until `path` contains `text` (from byte `from` on).
bool wait_for_text(const std::string& path, const std::string& text, std::chrono::milliseconds timeout = 10s,
                   std::size_t from = 0);
int count_lines(const std::string& path, const std::string& text);  // lines that contain `text`
int connect_local(int port);  // a blocking connection to 127.0.0.1:port; -1 on failure
bool wait_listening(int port);
// Sends `request` and reads until the daemon closes: what came back; nothing after 5 s.
std::optional<std::string> exchange(int port, const std::string& request);

}  // namespace test_support
