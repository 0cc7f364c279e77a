#include "support/chat_client.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace test_support {

namespace {

using clock = std::chrono::steady_clock;

int remaining_ms(clock::time_point deadline) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string shown(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 32 || c > 126)
            out += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
        else
            out += static_cast<char>(c);
    }
    return out;
}

}  // namespace

std::string c_escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"' || c == '\'') out += '\\';
        out += c;
    }
    return out;
}

std::string proto_line(const std::string& verb, const std::vector<std::string>& values) {
    std::string line = verb;
    for (const auto& value : values) line += " \"" + c_escape(value) + "\"";
    return line;
}

std::vector<std::string> proto_values(const std::string& line) {
    std::vector<std::string> values;
    std::size_t at = 0;
    while ((at = line.find(" \"", at)) != std::string::npos) {
        std::string value;
        std::size_t i = at + 2;
        for (; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            value += line[i];
        }
        if (i >= line.size()) break;  // unterminated
        values.push_back(value);
        at = i + 1;
    }
    return values;
}

connection::connection(int port, int receive_buffer, const std::string& source) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (receive_buffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    if (!source.empty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (inet_pton(AF_INET, source.c_str(), &local.sin_addr) != 1 ||
            ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd);
            return;
        }
    }
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

connection::~connection() { close(); }

bool connection::send_raw(const std::string& bytes) {
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        ssize_t count = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        sent += static_cast<std::size_t>(count);
    }
    return fd_ >= 0;
}

bool connection::receive(milliseconds timeout) {
    if (fd_ < 0 || eof_) return false;
    pollfd entry{fd_, POLLIN, 0};
    int ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
    if (ready <= 0) return false;
    char buffer[65536];
    ssize_t count = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (count > 0) {
        in_.append(buffer, static_cast<std::size_t>(count));
        return true;
    }
    if (count == 0 || (errno != EAGAIN && errno != EINTR)) eof_ = true;
    return false;
}

void connection::receive_available() {
    while (receive(milliseconds(0))) {
    }
}

bool connection::closed(milliseconds timeout) {
    auto deadline = clock::now() + timeout;
    while (!eof_ && fd_ >= 0) {
        if (!receive(milliseconds(remaining_ms(deadline))) && !eof_ && clock::now() >= deadline) break;
    }
    return eof_;
}

void connection::shut_sending() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

void connection::close(bool reset) {
    if (fd_ < 0) return;
    if (reset) {
        linger abort{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    ::close(fd_);
    fd_ = -1;
}

std::optional<std::string> applet::take_line() {
    for (;;) {
        std::size_t end = in_.find('\n');
        if (end == std::string::npos) return std::nullopt;
        std::string line = in_.substr(0, end);
        in_.erase(0, end + 1);
        if (line != "HTB") return line;
        ++heartbeats;
    }
}

std::optional<std::string> applet::read_line(milliseconds timeout) {
    auto deadline = clock::now() + timeout;
    for (;;) {
        if (auto line = take_line()) return line;
        if (!receive(milliseconds(remaining_ms(deadline))) && (eof_ || clock::now() >= deadline))
            return take_line();
    }
}

testing::AssertionResult applet::expect_line(const std::string& exact, milliseconds timeout) {
    auto line = read_line(timeout);
    if (!line)
        return testing::AssertionFailure() << "expected line: " << shown(exact) << "\nreceived nothing"
                                           << (eof_ ? " (connection closed)" : " (time-out)");
    if (*line != exact)
        return testing::AssertionFailure() << "expected line: " << shown(exact) << "\nreceived line: " << shown(*line);
    return testing::AssertionSuccess();
}

testing::AssertionResult applet::expect_lines(const std::vector<std::string>& exact) {
    for (std::size_t i = 0; i < exact.size(); ++i) {
        auto result = exact[i].rfind('<', 0) == 0 ? expect_html(exact[i]) : expect_line(exact[i]);
        if (!result) return result << "\n(line " << i + 1 << " of " << exact.size() << ")";
    }
    return testing::AssertionSuccess();
}

applet::reading applet::read_until(const std::function<bool(const std::string&)>& match, milliseconds timeout) {
    auto deadline = clock::now() + timeout;
    reading result;
    while (auto line = read_line(milliseconds(remaining_ms(deadline)))) {
        result.lines.push_back(*line);
        if (match(*line)) {
            result.found = true;
            break;
        }
    }
    return result;
}

applet::reading applet::read_until(const std::string& prefix, milliseconds timeout) {
    return read_until([&prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; }, timeout);
}

std::vector<std::string> applet::drain() {
    receive_available();
    std::vector<std::string> lines;
    while (auto line = take_line()) lines.push_back(*line);
    return lines;
}

testing::AssertionResult applet::expect_closed(milliseconds timeout) {
    bool gone = closed(timeout);
    if (auto line = take_line()) return testing::AssertionFailure() << "unexpected line: " << shown(*line);
    if (!gone) return testing::AssertionFailure() << "the connection stayed open";
    return testing::AssertionSuccess();
}

void applet::send_login(const login_form& form) {
    send("LGN", {form.protocol, form.nickname, form.password, form.room, form.internal, form.user_agent,
                 form.referer, form.comment, form.banned});
}

std::optional<greeting> applet::read_greeting(milliseconds timeout) {
    auto line = read_line(timeout);
    if (!line || line->rfind("CNT ", 0) != 0) return std::nullopt;
    auto values = proto_values(*line);
    if (values.size() != 5) return std::nullopt;
    greeting result{values[0], values[1], values[2], -1, values[4]};
    try {
        result.challenge = std::stoi(values[3]);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return result;
}

void browser::request(const std::string& path, const std::string& user_agent, const std::string& headers) {
    send_raw("GET /" + path + " HTTP/1.1\r\nUser-Agent: " + user_agent + "\r\n" + headers + "\r\n");
}

bool browser::wait_for(const std::string& text, milliseconds timeout) {
    auto deadline = clock::now() + timeout;
    while (in_.find(text, consumed_) == std::string::npos) {
        if (!receive(milliseconds(remaining_ms(deadline))) && (eof_ || clock::now() >= deadline))
            return in_.find(text, consumed_) != std::string::npos;
    }
    return true;
}

bool browser::skip_past(const std::string& text, milliseconds timeout) {
    if (!wait_for(text, timeout)) return false;
    consumed_ = in_.find(text, consumed_) + text.size();
    return true;
}

testing::AssertionResult browser::expect_next(const std::string& exact, milliseconds timeout) {
    auto deadline = clock::now() + timeout;
    for (;;) {
        while (consumed_ < in_.size() && in_[consumed_] == ' ' && exact.rfind(' ', 0) != 0) ++consumed_;
        if (in_.size() - consumed_ >= exact.size()) break;
        if (!receive(milliseconds(remaining_ms(deadline))) && (eof_ || clock::now() >= deadline)) break;
    }
    std::string got = in_.substr(consumed_, exact.size());
    if (got != exact)
        return testing::AssertionFailure() << "expected on the stream: " << shown(exact)
                                           << "\nreceived: " << shown(in_.substr(consumed_))
                                           << (eof_ ? " (stream closed)" : "");
    consumed_ += exact.size();
    return testing::AssertionSuccess();
}

}  // namespace test_support
