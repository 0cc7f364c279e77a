#pragma once
// WebSocket frames for tests, written and read byte by byte, so that a test
// can also build the frames a conforming client never sends: unmasked,
// fragmented control frames, frames that announce more than they carry.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

namespace opcode {
inline constexpr int continuation = 0x0, text = 0x1, binary = 0x2, close = 0x8, ping = 0x9, pong = 0xA;
}

struct frame_options {
    bool fin = true, masked = true;
    // The length the header announces; the payload's own length when absent.
    std::optional<std::uint64_t> announced = std::nullopt;
};


// One frame's bytes.
std::string ws_frame(int code, const std::string& payload, const frame_options& options = {});
inline std::string ws_text(const std::string& payload) { return ws_frame(opcode::text, payload); }
// A close frame's payload: the status in network order, then the reason.
std::string close_payload(std::uint16_t status, const std::string& reason = "");

struct ws_received {
    int code = -1;
    bool fin = false, masked = false;
    std::string payload;
    // The status of a close frame; 0 when it carries none.
    int status() const;
};

// Takes the complete frames off the front of `bytes`; an unfinished frame
// stays there.
std::vector<ws_received> ws_parse(std::string& bytes);

}  // namespace test_support
