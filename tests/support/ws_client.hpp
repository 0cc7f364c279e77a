#pragma once
// A browser's WebSocket to the web port, for black-box tests of the daemon:
// the handshake with chosen headers, frames sent exactly as given, and the
// frames that come back. Every wait is bounded.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/chat_client.hpp"
#include "support/ws_frames.hpp"

namespace test_support {

class ws_client : public connection {
public:
    // `receive_buffer` > 0 shrinks the socket's receive buffer.
    explicit ws_client(int receive_buffer = 0, const std::string& source = "")
        : connection(web_port, receive_buffer, source) {}

    // The headers of a good upgrade request from a page of `origin`.
    static std::vector<std::string> upgrade_headers(const std::string& origin);
    // Sends "GET <path> HTTP/1.1" with `headers` and reads the answer head
    // (and, for a refusal, what follows until the daemon closes); empty when
    // nothing comes in time.
    std::string handshake(const std::vector<std::string>& headers, const std::string& path = "/chat/ws");

    // A masked text frame with `line` as it is (the caller writes UTF-8).
    void send_line(const std::string& line) { send_raw(ws_text(line)); }
    // The next frame; nothing when none comes in time.
    std::optional<ws_received> read_frame(milliseconds timeout = patience);
    // The payload of the next text message, answering and skipping the
    // daemon's heartbeats; nothing when none comes in time or another kind
    // of frame comes first (which is then kept in `last`).
    std::optional<std::string> read_line(milliseconds timeout = patience);
    testing::AssertionResult expect_line(const std::string& payload, milliseconds timeout = patience);
    // Reads lines until one starts with `prefix`; that line.
    std::optional<std::string> read_until(const std::string& prefix, milliseconds timeout = patience);
    // The next frame closes with `status` (0: without one) and the daemon then
    // closes the connection.
    testing::AssertionResult expect_close(int status, milliseconds timeout = patience);

    ws_received last;

private:
    std::string frames_;  // received bytes not yet taken as frames
    std::vector<ws_received> ready_;
};

}  // namespace test_support
