#include "support/chat_client.hpp"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace test_support {

namespace {

using clock = std::chrono::steady_clock;

testing::AssertionResult compared(const std::optional<std::string>& got, const std::string& expected, bool eof) {
    if (got == expected) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "expected: " << testing::PrintToString(expected)
                                       << "\nreceived: " << (got ? testing::PrintToString(*got) : eof ? "(closed)" : "(time-out)");
}

}  // namespace

std::string proto_line(const std::string& verb, const std::vector<std::string>& values) {
    std::string line = verb;
    for (const auto& value : values) {
        line += " \"";
        for (char c : value) line += (c == '\\' || c == '"' || c == '\'' ? "\\" : "") + std::string(1, c);
        line += '"';
    }
    return line;
}

std::vector<std::string> proto_values(const std::string& line) {
    std::vector<std::string> values;
    for (std::size_t at = line.find(" \""); at != std::string::npos; at = line.find(" \"", at)) {
        std::string value;
        for (at += 2; at < line.size() && line[at] != '"'; ++at) {
            if (line[at] == '\\') ++at;
            if (at < line.size()) value += line[at];
        }
        if (at >= line.size()) break;  // unterminated
        values.push_back(value);
    }
    return values;
}

connection::connection(int port, int receive_buffer) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receive_buffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    timeval limit{5, 0};  // writes give up too
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) fd_ = fd;
    else if (fd >= 0) ::close(fd);
}

bool connection::send_raw(const std::string& bytes) {
    for (std::size_t sent = 0; fd_ >= 0 && sent < bytes.size();) {
        const ssize_t count = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0 && errno != EINTR) return false;
        sent += static_cast<std::size_t>(std::max<ssize_t>(count, 0));
    }
    return fd_ >= 0;
}

bool connection::wait(const std::function<bool()>& ready, milliseconds timeout) {
    const auto deadline = clock::now() + timeout;
    while (!ready()) {
        if (fd_ < 0 || eof_) return false;
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - clock::now()).count();
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(std::max<long>(left, 0))) <= 0) return ready();
        char buffer[65536];
        const ssize_t count = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (count > 0) in_.append(buffer, static_cast<std::size_t>(count));
        eof_ = count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR);
    }
    return true;
}

bool connection::closed(milliseconds timeout) { return wait([this] { return eof_; }, timeout); }

void connection::shut_sending() { ::shutdown(fd_, SHUT_WR); }

void connection::close(bool reset) {
    if (fd_ < 0) return;
    linger abort{1, 0};
    if (reset) setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd_);
    fd_ = -1;
}

void applet::send_login(const login_form& f) {
    send("LGN", {f.protocol, f.nickname, f.password, f.room, f.internal, f.user_agent, f.referer, f.comment,
                 f.banned});
}

std::optional<std::string> applet::take_line() {
    for (std::size_t end; (end = in_.find('\n')) != std::string::npos;) {
        std::string line = in_.substr(0, end);
        in_.erase(0, end + 1);
        if (line != "HTB") return line;
    }
    return std::nullopt;
}

std::optional<std::string> applet::read_line(milliseconds timeout) {
    std::optional<std::string> line;
    wait([&] { return (line = take_line()).has_value(); }, timeout);
    return line;
}

std::optional<greeting> applet::read_greeting(milliseconds timeout) {
    const auto line = read_line(timeout);
    const auto values = proto_values(line.value_or(""));
    if (!line || line->rfind("CNT ", 0) != 0 || values.size() != 5) return std::nullopt;
    return greeting{values[1], values[2], std::stoi(values[3])};
}

testing::AssertionResult applet::expect_line(const std::string& exact, milliseconds timeout) {
    return compared(read_line(timeout), exact, eof_);
}

testing::AssertionResult applet::expect_lines(const std::vector<std::string>& exact) {
    for (std::size_t i = 0; i < exact.size(); ++i) {
        auto result = expect_line(exact[i].rfind('<', 0) == 0 ? proto_line("TXT", {exact[i]}) : exact[i]);
        if (!result) return result << "\n(line " << i + 1 << " of " << exact.size() << ")";
    }
    return testing::AssertionSuccess();
}

applet::reading applet::read_until(const std::string& prefix, milliseconds timeout) {
    return read_until([&prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; }, timeout);
}

applet::reading applet::read_until(const std::function<bool(const std::string&)>& match, milliseconds timeout) {
    const auto deadline = clock::now() + timeout;
    reading result;
    while (!result.found) {
        auto line = read_line(std::max(milliseconds(0), std::chrono::duration_cast<milliseconds>(deadline - clock::now())));
        if (!line) break;
        result.found = match(*line);
        result.lines.push_back(*line);
    }
    return result;
}

std::vector<std::string> applet::drain() {
    std::vector<std::string> lines;
    while (auto line = read_line(milliseconds(0))) lines.push_back(*line);
    return lines;
}

testing::AssertionResult applet::expect_closed(milliseconds timeout) {
    const bool gone = closed(timeout);
    if (auto line = take_line()) return testing::AssertionFailure() << "unexpected line: " << testing::PrintToString(*line);
    return gone ? testing::AssertionSuccess() : testing::AssertionFailure() << "the connection stayed open";
}

bool browser::skip_past(const std::string& text) {
    if (!wait([&] { return in_.find(text, consumed_) != std::string::npos; }, patience)) return false;
    consumed_ = in_.find(text, consumed_) + text.size();
    return true;
}

testing::AssertionResult browser::expect_next(const std::string& exact) {
    wait([&] {
        while (consumed_ < in_.size() && in_[consumed_] == ' ' && exact.rfind(' ', 0) != 0) ++consumed_;
        return in_.size() - consumed_ >= exact.size();
    }, patience);
    const std::string got = in_.substr(consumed_, exact.size());
    consumed_ += got == exact ? exact.size() : 0;
    return compared(got == exact ? got : in_.substr(consumed_), exact, eof_);
}

std::string ws_client::handshake() {
    send_raw("GET /chat/ws HTTP/1.1\r\nHost: chat.test:1614\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n"
             "Origin: http://chat.test:1614\r\n\r\n");
    if (!wait([this] { return in_.find("\r\n\r\n") != std::string::npos; }, patience)) return in_;
    if (in_.rfind("HTTP/1.1 101 ", 0) != 0) return closed(), in_;
    const std::string head = in_.substr(0, in_.find("\r\n\r\n") + 4);
    in_.erase(0, head.size());
    return head;
}

std::optional<ws_received> ws_client::read_frame(milliseconds timeout) {
    wait([this] {
        for (ws_received& frame : ws_parse(in_)) ready_.push_back(std::move(frame));
        return !ready_.empty();
    }, timeout);
    if (ready_.empty()) return std::nullopt;
    const ws_received frame = ready_.front();
    ready_.erase(ready_.begin());
    return frame;
}

std::optional<std::string> ws_client::read_line(milliseconds timeout) {
    while (auto frame = read_frame(timeout)) {
        if (frame->code != opcode::text) return std::nullopt;
        if (frame->payload != "HTB") return frame->payload;
        send_line("HTB");
    }
    return std::nullopt;
}

testing::AssertionResult ws_client::expect_line(const std::string& payload) {
    return compared(read_line(), payload, eof_);
}

std::optional<std::string> ws_client::read_until(const std::string& prefix) {
    while (auto line = read_line())
        if (line->rfind(prefix, 0) == 0) return line;
    return std::nullopt;
}

testing::AssertionResult ws_client::expect_close(int status) {
    auto frame = read_frame();
    while (frame && frame->code == opcode::text && frame->payload == "HTB") frame = read_frame();
    if (!frame || frame->code != opcode::close || frame->status() != status)
        return testing::AssertionFailure() << "expected a close frame with " << status << ", got "
                                           << (frame ? testing::PrintToString(frame->payload) : "nothing");
    return closed() ? testing::AssertionSuccess() : testing::AssertionFailure() << "the connection stays open";
}

}  // namespace test_support
