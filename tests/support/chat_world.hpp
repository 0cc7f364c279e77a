#pragma once
// The program-wide chat objects for unit tests without a network: a
// configuration, the ranks ("visitor" and "guard" at level 10, "mod" at 50;
// guard and mod see addresses, mod may ban; "warden" at 20 may ban and lock
// nicknames; "boss" at 60 is immune and has every right) and the rooms
// ("Lobby" with the subject "Eingangshalle", "Garten"), loaded once per test
// binary; sessions sit on socket pairs whose other end the test holds.
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "render/message.hpp"

namespace vorta {
class profile;
class user;
}  // namespace vorta

namespace test_support {

using lines_t = std::vector<std::string>;

void chat_world();  // loads the world the first time it is called
// Replaces the configuration; the lines of `extra` come first and so win.
void configure(const std::string& extra);
// Runs the event loop for `slice`, then returns.
void pump(std::chrono::milliseconds slice = std::chrono::milliseconds(10));
std::string answer(const std::string& challenge);
// The applet lines that carry `text` and that take `nickname` off the list.
std::string txt(const std::string& text);
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
    peer(const std::string& address, const login_details& details) : peer(address) { login(details); }
    ~peer();  // the session ends as a dropped connection does
    peer(const peer&) = delete;
    peer& operator=(const peer&) = delete;

    void send(const std::string& line);  // appends the line feed
    // Every complete line received since the last call, without line feeds;
    // the event loop runs first when `wait`.
    lines_t lines(bool wait = true);
    // Logs in over the applet alone and drops what the log-in sent.
    void login(const std::string& nickname, const std::string& room = "") { login({nickname, room}); }
    void login(const login_details& details);
    // Loads a stored profile into the session, as a registered log-in does.
    void load(const vorta::profile& record);
    bool closed();  // the session closed its end
    bool ended() const { return eof_; }  // as far as read
    // The line that brings `m` to this session in its look.
    std::string shown(const vorta::message& m) const;

    vorta::user* session() const { return session_; }
    vorta::user* operator->() const { return session_; }
    bool in_room() const;

private:
    void read_available();  // without running the event loop

    int fd_ = -1;
    vorta::user* session_ = nullptr;
    std::string input_;
    bool eof_ = false;
};

// A session logged in to `room` with `rank`, held from before the log-in on
// as a registered user does.
std::unique_ptr<peer> arrive(const std::string& nickname, const std::string& room,
                             const std::string& rank = "visitor");

// A message from its parts in order: users (first, then second), a room, a text, a number.
inline void fill(vorta::message& m, vorta::user* u) { (m.first_user ? m.second_user : m.first_user) = u; }
inline void fill(vorta::message& m, const peer* p) { fill(m, p->session()); }
inline void fill(vorta::message& m, vorta::room* r) { m.room = r; }
inline void fill(vorta::message& m, std::string text) { m.text = std::move(text); }
inline void fill(vorta::message& m, int number) { m.number = number; }
template <typename... Parts>
vorta::message msg(vorta::mode_standard::types type, Parts... parts) {
    vorta::message m(type);
    (fill(m, parts), ...);
    return m;
}

// A line that a session receives: as it is, or as its own look renders a message.
struct expected {
    expected(std::string as_is) : line(std::move(as_is)) {}
    expected(const char* as_is) : line(as_is) {}
    expected(vorta::message shown) : m(std::move(shown)), rendered(true) {}
    std::string line;
    vorta::message m;
    bool rendered = false;
};
using seen_t = std::vector<std::pair<peer*, std::vector<expected>>>;
// One line typed by `who` (a chat text) and what each session receives.
struct step {
    peer* who;
    std::string line;
    seen_t seen;
};
// A line whose answer its typist alone receives.
inline step ask(peer* who, const std::string& line, expected answer) { return {who, line, {{who, {answer}}}}; }
// Each of `peers` receives `lines`.
seen_t each(const std::vector<peer*>& peers, const std::vector<expected>& lines);
// Plays the script; every session of `scene` not named in a step receives nothing.
// Messages render for their receiver when they name no second user, as the room does.
void play(const std::vector<peer*>& scene, const std::vector<step>& script);
void drain(const std::vector<peer*>& scene);  // drops what the sessions received so far

}  // namespace test_support
