#pragma once
// The program-wide chat objects set up for unit tests without a network: a
// configuration, the ranks ("visitor" and "guard" at level 10, "mod" at 50;
// guard and mod see addresses, mod may ban; "warden" at 20 may ban and lock
// nicknames; "boss" at 60 is immune and has every right) and the rooms
// ("Lobby" with the subject "Eingangshalle", "Garten") are loaded once per
// test binary, and sessions sit on socket pairs whose other end the test
// holds. The event loop runs in short bounded slices.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace vorta {
class message;
class profile;
class user;
}  // namespace vorta

namespace test_support {

using lines_t = std::vector<std::string>;

// Loads the configuration, ranks and rooms into the program-wide objects the
// first time it is called.
void chat_world();
// Replaces the configuration; the lines of `extra` come first, and the first
// value of a key is the one that counts.
void configure(const std::string& extra);
// Runs the event loop for `slice`, then returns.
void pump(std::chrono::milliseconds slice = std::chrono::milliseconds(10));
// The answer to a challenge.
std::string answer(const std::string& challenge);
// The applet lines that show `html` and that take `nickname` off the list.
std::string txt(const std::string& html);
std::string del(const std::string& nickname);

struct login_details {
    std::string nickname;
    std::string room;  // wanted room; the first room when unknown
    std::string user_agent = "Mozilla/4.0";
    std::string referer = "http://www.example.org/chat.html";
};

// The client end of one session of the program-wide manager.
class peer {
public:
    explicit peer(const std::string& address = "10.0.0.1");
    // Connects from `address` and logs in over the applet alone.
    peer(const std::string& address, const login_details& details);
    ~peer();  // the session ends as a dropped connection does
    peer(const peer&) = delete;
    peer& operator=(const peer&) = delete;

    void send(const std::string& line);  // appends the line feed
    // Every complete line received since the last call (pumping first),
    // without line feeds.
    lines_t lines();
    // Logs in over the applet alone and drops what the log-in sent.
    void login(const std::string& nickname, const std::string& room = "");
    void login(const login_details& details);
    // Loads a stored profile into the session, as a registered log-in does.
    void load(const vorta::profile& record);
    // True when the session closed its end.
    bool closed();
    // The line that brings `m` to this session in its look.
    std::string shown(const vorta::message& m) const;

    vorta::user* session() const { return session_; }
    vorta::user* operator->() const { return session_; }
    bool in_room() const;

private:
    // Appends what has arrived, without running the event loop.
    void read_available();

    int fd_ = -1;
    vorta::user* session_ = nullptr;
    std::string input_;
    bool eof_ = false;
};

// A session logged in to `room` with the rank `rank`, which it holds from
// before the log-in on, as a registered user does.
std::unique_ptr<peer> arrive(const std::string& nickname, const std::string& room,
                             const std::string& rank = "visitor");

}  // namespace test_support
