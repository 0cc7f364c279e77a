#include "support/ws_client.hpp"

#include <chrono>

namespace test_support {

namespace {

using clock = std::chrono::steady_clock;

milliseconds left(clock::time_point deadline) {
    auto rest = std::chrono::duration_cast<milliseconds>(deadline - clock::now());
    return rest.count() > 0 ? rest : milliseconds(0);
}

}  // namespace

std::vector<std::string> ws_client::upgrade_headers(const std::string& origin) {
    return {"Host: chat.test:1614", "Upgrade: websocket", "Connection: Upgrade",
            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==", "Sec-WebSocket-Version: 13", "Origin: " + origin};
}

std::string ws_client::handshake(const std::vector<std::string>& headers, const std::string& path) {
    std::string request = "GET " + path + " HTTP/1.1\r\n";
    for (const auto& header : headers) request += header + "\r\n";
    send_raw(request + "\r\n");
    const auto deadline = clock::now() + patience;
    std::size_t end;
    while ((end = in_.find("\r\n\r\n")) == std::string::npos) {
        if (!receive(left(deadline))) {
            if (eof_ || clock::now() >= deadline) return in_;
        }
    }
    std::string head = in_.substr(0, end + 4);
    frames_ = in_.substr(end + 4);
    in_.clear();
    if (head.rfind("HTTP/1.1 101 ", 0) != 0) {
        closed();
        head += frames_ + in_;
        frames_.clear();
        in_.clear();
    }
    return head;
}

std::optional<ws_received> ws_client::read_frame(milliseconds timeout) {
    const auto deadline = clock::now() + timeout;
    for (;;) {
        frames_ += in_;
        in_.clear();
        for (ws_received& frame : ws_parse(frames_)) ready_.push_back(std::move(frame));
        if (!ready_.empty()) {
            ws_received frame = std::move(ready_.front());
            ready_.erase(ready_.begin());
            return frame;
        }
        if (!receive(left(deadline)) && (eof_ || clock::now() >= deadline)) return std::nullopt;
    }
}

std::optional<std::string> ws_client::read_line(milliseconds timeout) {
    const auto deadline = clock::now() + timeout;
    for (;;) {
        auto frame = read_frame(left(deadline));
        if (!frame) return std::nullopt;
        last = *frame;
        if (frame->code != opcode::text) return std::nullopt;
        if (frame->payload == "HTB") {
            send_line("HTB");
            continue;
        }
        return frame->payload;
    }
}

testing::AssertionResult ws_client::expect_line(const std::string& payload, milliseconds timeout) {
    auto line = read_line(timeout);
    if (!line) return testing::AssertionFailure() << "no text message; expected: " << payload;
    if (*line != payload) return testing::AssertionFailure() << "got: " << *line << "\nexpected: " << payload;
    return testing::AssertionSuccess();
}

std::optional<std::string> ws_client::read_until(const std::string& prefix, milliseconds timeout) {
    const auto deadline = clock::now() + timeout;
    while (auto line = read_line(left(deadline)))
        if (line->rfind(prefix, 0) == 0) return line;
    return std::nullopt;
}

testing::AssertionResult ws_client::expect_close(int status, milliseconds timeout) {
    const auto deadline = clock::now() + timeout;
    for (;;) {
        auto frame = read_frame(left(deadline));
        if (!frame) return testing::AssertionFailure() << "no close frame";
        if (frame->code == opcode::text && frame->payload == "HTB") continue;
        if (frame->code != opcode::close)
            return testing::AssertionFailure() << "frame " << frame->code << " before the close: " << frame->payload;
        if (frame->status() != status)
            return testing::AssertionFailure() << "close status " << frame->status() << ", expected " << status;
        if (!closed(left(deadline))) return testing::AssertionFailure() << "the connection stays open";
        return testing::AssertionSuccess();
    }
}

}  // namespace test_support
