#pragma once
// The program-wide chat objects set up for unit tests without a network:
// a configuration, the rank table and the rooms are loaded once per test
// binary, and sessions sit on socket pairs whose other end the test holds.
// The event loop runs in short bounded slices.
#include <chrono>
#include <string>
#include <vector>

namespace vorta {
class user;
}

namespace test_support {

// Loads the configuration, ranks ("visitor" at level 10, "mod" at 50 with
// every right) and rooms ("Lobby", "Keller") into the program-wide objects
// the first time it is called.
void chat_world();

// Runs the event loop for `slice`, then returns.
void pump(std::chrono::milliseconds slice = std::chrono::milliseconds(10));

// The client end of one session of the program-wide manager.
class peer {
public:
    explicit peer(const std::string& address = "10.0.0.1");
    ~peer();  // closes its end; the session ends with the next pump
    peer(const peer&) = delete;
    peer& operator=(const peer&) = delete;

    void send(const std::string& line);  // appends the line feed
    // Every complete line received so far (pumping first), without line feeds.
    std::vector<std::string> lines();
    // Logs in over the applet alone and drops what the log-in sent.
    void login(const std::string& nickname, const std::string& room = "");
    // True when the session closed its end.
    bool closed();

    vorta::user* session() const { return session_; }
    const std::string& challenge() const { return challenge_; }
    const std::string& random_id() const { return random_id_; }

private:
    void receive();

    int fd_ = -1;
    vorta::user* session_ = nullptr;
    std::string input_;
    bool eof_ = false;
    std::string challenge_;
    std::string random_id_;
};

// The answer to a challenge.
std::string answer(const std::string& challenge);

}  // namespace test_support
