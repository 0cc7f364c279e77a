#pragma once
// Runs the real daemon for a test: starts the binary from a working directory,
// finds the detached process through its log, sends it signals and collects
// its exit status. The test process makes itself the subreaper of its
// descendants, so the daemon's exit status reaches it.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

// What the launching process leaves to the launched one, as a careless
// launcher might.
struct launch_options {
    int inherited_descriptor = -1;  // /dev/null is open on this number (-1: none)
    unsigned long descriptor_limit = 0;  // soft limit on open descriptors (0: as inherited)
    bool hard_limit_too = false;         // the hard limit becomes descriptor_limit as well
    bool with_errors = false;  // standard error joins the output
    std::optional<std::string> input = std::nullopt;  // all of standard input (none: as inherited)
};

struct launch_result {
    int status = -1;     // exit status of the launched process (the parent that detaches)
    std::string output;  // its standard output (and standard error when asked for)
    std::string errors;  // its standard error, unless joined to the output
};

class daemon_process {
public:
    // Runs `binary` with `args` in `directory` under the file mode mask 077;
    // `env` entries ("NAME=value") replace the environment.
    static launch_result launch(const std::string& directory, const std::vector<std::string>& args,
                                const std::vector<std::string>& env, const launch_options& options = {});

    // Attaches to the daemon whose "daemon started (pid: N)" line appears in
    // `log` (from byte `from` on) within the timeout; pid() is 0 when none does.
    daemon_process(const std::string& log, std::chrono::milliseconds timeout = std::chrono::seconds(10),
                   std::size_t from = 0);
    // Attaches to a known process.
    explicit daemon_process(pid_t pid) : pid_(pid) {}
    ~daemon_process();  // kills a daemon that is still running

    pid_t pid() const { return pid_; }
    bool running() const;
    void signal(int number) const;
    // Waits for the daemon to end; its exit status, or -1 on time-out.
    int wait_exit(std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    pid_t pid_ = 0;
    bool reaped_ = false;
};

// Makes the calling process the subreaper of its orphaned descendants.
void become_subreaper();

// Brings the loopback interface of the current network namespace up.
void bring_loopback_up();

// Waits until `path` contains `text` (from byte `from` on); true when it does.
bool wait_for_text(const std::string& path, const std::string& text,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10), std::size_t from = 0);

// Counts the lines of `path` that contain `text`.
int count_lines(const std::string& path, const std::string& text);

// A blocking TCP connection to 127.0.0.1:port; -1 on failure.
int connect_local(int port);

// Waits until 127.0.0.1:port accepts connections; true when it does.
bool wait_listening(int port, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Sends `request` to 127.0.0.1:port and reads until the daemon closes the
// connection: what came back, or nothing when it did not close in time.
std::optional<std::string> exchange(int port, const std::string& request,
                                     std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The first process whose parent is the calling process and that runs
// `binary`; 0 when there is none.
pid_t find_child(const std::string& binary);

// Lowers the descriptor limit of a running process to its lowest free
// descriptor, so that it cannot open another; true on success.
bool limit_descriptors(pid_t pid);

// User plus system CPU time of a process, in clock ticks.
long cpu_ticks(pid_t pid);

}  // namespace test_support
