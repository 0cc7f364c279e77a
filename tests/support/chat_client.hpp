#pragma once
// The client side of a visitor's two connections, for black-box tests of the
// daemon: the applet's line protocol on port 1612 and the browser's endless
// page on port 1613. Every wait is bounded; nothing here blocks for longer
// than the time-out it is given (writes give up after a few seconds too).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

using std::chrono::milliseconds;

// How long one expectation waits for the daemon.
inline constexpr milliseconds patience{3000};

inline constexpr int applet_port = 1612;
inline constexpr int browser_port = 1613;
inline constexpr int web_port = 1614;

// A backslash before every backslash, double quote and single quote.
std::string c_escape(const std::string& text);
// The verb, then for each value a blank and the escaped value in double quotes.
std::string proto_line(const std::string& verb, const std::vector<std::string>& values = {});
// The unescaped values of a protocol line, in order.
std::vector<std::string> proto_values(const std::string& line);

// One TCP connection to 127.0.0.1 with a receive buffer of what came so far.
class connection {
public:
    // `receive_buffer` > 0 shrinks the socket's receive buffer before the
    // connection is made (a reader that falls behind quickly). `source`, when
    // given, is the local address it comes from (any of 127.0.0.0/8).
    explicit connection(int port, int receive_buffer = 0, const std::string& source = "");
    virtual ~connection();
    connection(const connection&) = delete;
    connection& operator=(const connection&) = delete;

    bool connected() const { return fd_ >= 0; }
    // Writes all of `bytes`; false when the connection is gone.
    bool send_raw(const std::string& bytes);
    // Waits until the peer has closed; what arrives meanwhile is kept.
    bool closed(milliseconds timeout = patience);
    // Closes at once; `reset` discards unsent data and resets the connection.
    void close(bool reset = false);
    // Shuts down the sending side only, as a peer that has said all it will.
    void shut_sending();
    // Everything received so far.
    const std::string& received() const { return in_; }

protected:
    // Appends what arrives within `timeout`; false on time-out or end of stream.
    bool receive(milliseconds timeout);
    // Appends what is there now, without waiting.
    void receive_available();

    std::string in_;
    bool eof_ = false;

private:
    int fd_ = -1;
};

// What the applet sends with "LGN".
struct login_form {
    std::string nickname;
    std::string password;
    std::string room;
    std::string internal = "10.0.0.1";
    std::string user_agent = "TestApplet/1.0";
    std::string referer = "http://www.example.org/chat.html";
    std::string comment = "test";
    std::string banned = "false";
    std::string protocol = "vcp2";
};

inline login_form login_as(const std::string& nickname, const std::string& room = "") {
    login_form form;
    form.nickname = nickname;
    form.room = room;
    return form;
}

// The daemon's "CNT" answer.
struct greeting {
    std::string protocol;
    std::string nickname;
    std::string random_id;
    int challenge = -1;
    std::string script;
};

// The answer the applet gives to a challenge.
inline int challenge_answer(int challenge) { return challenge ^ 0x3C96; }

class applet : public connection {
public:
    explicit applet(const std::string& source = "") : connection(applet_port, 0, source) {}

    void send_line(const std::string& text) { send_raw(text + "\n"); }
    void send(const std::string& verb, const std::vector<std::string>& values = {}) {
        send_line(proto_line(verb, values));
    }
    void send_text(const std::string& text) { send("TXT", {text}); }

    // The next line without its line feed, skipping the daemon's heartbeats
    // ("HTB"); nothing when none comes in time.
    std::optional<std::string> read_line(milliseconds timeout = patience);
    testing::AssertionResult expect_line(const std::string& exact, milliseconds timeout = patience);
    // Expects the lines in this order, each as the next line; HTML (a line
    // that starts with '<') comes in a "TXT" line.
    testing::AssertionResult expect_lines(const std::vector<std::string>& exact);
    // The "TXT" line that carries `html`.
    testing::AssertionResult expect_html(const std::string& html, milliseconds timeout = patience) {
        return expect_line(proto_line("TXT", {html}), timeout);
    }

    struct reading {
        bool found = false;
        std::vector<std::string> lines;  // every line read, the match last
    };
    reading read_until(const std::function<bool(const std::string&)>& match, milliseconds timeout = patience);
    reading read_until(const std::string& prefix, milliseconds timeout = patience);
    // The complete lines that are there now, without waiting.
    std::vector<std::string> drain();
    // The peer closes without sending another line first.
    testing::AssertionResult expect_closed(milliseconds timeout = patience);

    void send_login(const login_form& form);
    // Reads the "CNT" line.
    std::optional<greeting> read_greeting(milliseconds timeout = patience);
    void authenticate(int answer) { send("AUT", {std::to_string(answer)}); }
    // The daemon's heartbeats skipped so far.
    int heartbeats = 0;

private:
    std::optional<std::string> take_line();
};

class browser : public connection {
public:
    explicit browser(int receive_buffer = 0, const std::string& source = "")
        : connection(browser_port, receive_buffer, source) {}

    // "GET /<path> HTTP/1.1", the User-Agent header, `headers` (each with its
    // line end) and the blank line, in one write.
    void request(const std::string& path, const std::string& user_agent = "TestBrowser/1.0",
                 const std::string& headers = "");
    // The path of a session's stream: internal address, random id and answer,
    // each followed by a slash.
    void request_stream(const std::string& internal, const std::string& random_id, int answer,
                        const std::string& user_agent = "TestBrowser/1.0") {
        request(internal + "/" + random_id + "/" + std::to_string(answer) + "/", user_agent);
    }

    // Waits until `text` occurs in what was not yet consumed.
    bool wait_for(const std::string& text, milliseconds timeout = patience);
    // The next unconsumed bytes are `exact`; consumes them. Blanks in front
    // (the daemon's keep-alive) are skipped.
    testing::AssertionResult expect_next(const std::string& exact, milliseconds timeout = patience);
    // Consumes everything up to and including the first `text`; false when it
    // does not come in time.
    bool skip_past(const std::string& text, milliseconds timeout = patience);
    std::string unread() const { return in_.substr(consumed_); }

private:
    std::size_t consumed_ = 0;
};

}  // namespace test_support
