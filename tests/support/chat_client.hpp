#pragma once
// The client side of the daemon's three ports for black-box tests: the
// applet's line protocol, the browser's endless page and the WebSocket of the
// web port. Every wait is bounded by the time-out it is given.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/ws_frames.hpp"

namespace test_support {

using std::chrono::milliseconds;

// How long one expectation waits for the daemon.
inline constexpr milliseconds patience{3000};
inline constexpr int applet_port = 1612, browser_port = 1613, web_port = 1614;

// The verb, then each value after a blank in double quotes, backslashes before \, " and '.
std::string proto_line(const std::string& verb, const std::vector<std::string>& values = {});
// The unescaped values of a protocol line, in order.
std::vector<std::string> proto_values(const std::string& line);

// One TCP connection to 127.0.0.1 with a buffer of what came so far.
class connection {
public:
    // `receive_buffer` > 0 shrinks the socket's receive buffer: a reader that falls behind quickly.
    explicit connection(int port, int receive_buffer = 0);
    virtual ~connection() { close(); }
    connection(const connection&) = delete;
    connection& operator=(const connection&) = delete;

    bool send_raw(const std::string& bytes);  // false when the connection is gone
    bool closed(milliseconds timeout = patience);  // the peer closed; what came is kept
    void close(bool reset = false);  // `reset` discards unsent data
    void shut_sending();
    const std::string& received() const { return in_; }

protected:
    // Receives until `ready` holds, the peer closes or the time is up; whether `ready` holds.
    bool wait(const std::function<bool()>& ready, milliseconds timeout);

    std::string in_;
    bool eof_ = false;

private:
    int fd_ = -1;
};

// What the applet sends with "LGN".
struct login_form {
    std::string nickname, password, room, internal = "10.0.0.1", user_agent = "TestApplet/1.0",
        referer = "http://www.example.org/chat.html", comment = "test", banned = "false", protocol = "vcp2";
};
inline login_form login_as(const std::string& nickname, const std::string& room = "") {
    login_form form;
    form.nickname = nickname;
    form.room = room;
    return form;
}

// The daemon's "CNT" answer.
struct greeting { std::string nickname, random_id; int challenge = -1; };
inline int challenge_answer(int challenge) { return challenge ^ 0x3C96; }

class applet : public connection {
public:
    applet() : connection(applet_port) {}

    void send_line(const std::string& text) { send_raw(text + "\n"); }
    void send(const std::string& verb, const std::vector<std::string>& values = {}) {
        send_line(proto_line(verb, values));
    }
    void send_text(const std::string& text) { send("TXT", {text}); }
    void send_login(const login_form& form);
    void authenticate(int answer) { send("AUT", {std::to_string(answer)}); }

    // The next line without its line feed, skipping the heartbeats ("HTB").
    std::optional<std::string> read_line(milliseconds timeout = patience);
    std::optional<greeting> read_greeting(milliseconds timeout = patience);
    testing::AssertionResult expect_line(const std::string& exact, milliseconds timeout = patience);
    // Each as the next line; HTML (a line that starts with '<') comes in a "TXT" line.
    testing::AssertionResult expect_lines(const std::vector<std::string>& exact);
    struct reading {
        bool found = false;
        std::vector<std::string> lines;  // every line read, the match last
    };
    reading read_until(const std::function<bool(const std::string&)>& match, milliseconds timeout = patience);
    reading read_until(const std::string& prefix, milliseconds timeout = patience);
    std::vector<std::string> drain();  // the complete lines there now
    // The peer closes without sending another line first.
    testing::AssertionResult expect_closed(milliseconds timeout = patience);

private:
    std::optional<std::string> take_line();
};

class browser : public connection {
public:
    browser() : connection(browser_port) {}

    void request(const std::string& path) { send_raw("GET /" + path + " HTTP/1.1\r\nUser-Agent: Test/1.0\r\n\r\n"); }
    // Consumes everything up to and including the first `text`.
    bool skip_past(const std::string& text);
    // The next unconsumed bytes, after the keep-alive blanks, are `exact`; consumes them.
    testing::AssertionResult expect_next(const std::string& exact);

private:
    std::size_t consumed_ = 0;
};

// A browser's WebSocket: frames sent as given, and the frames that come back.
class ws_client : public connection {
public:
    ws_client() : connection(web_port) {}

    // A good upgrade request: the answer head; for a refusal, all until the daemon closes.
    std::string handshake();
    void send_line(const std::string& line) { send_raw(ws_text(line)); }
    std::optional<ws_received> read_frame(milliseconds timeout = patience);
    // The next text message, answering heartbeats; none when another kind of frame comes first.
    std::optional<std::string> read_line(milliseconds timeout = patience);
    testing::AssertionResult expect_line(const std::string& payload);
    std::optional<std::string> read_until(const std::string& prefix);
    // The next frame closes with `status` and the daemon then closes the connection.
    testing::AssertionResult expect_close(int status);

private:
    std::vector<ws_received> ready_;
};

}  // namespace test_support
