#include "support/ws_frames.hpp"

namespace test_support {

// Any key serves; a fixed one keeps the bytes reproducible.
const char mask_key[4] = {'\x37', '\x88', '\xD9', '\x2A'};

std::string ws_frame(int code, const std::string& payload, const frame_options& options) {
    const std::uint64_t length = options.announced.value_or(payload.size());
    const int mask_bit = options.masked ? 0x80 : 0;
    std::string out{static_cast<char>((options.fin ? 0x80 : 0) | code)};
    const int extra = length < 126 ? 0 : length < 65536 ? 2 : 8;
    out += static_cast<char>(mask_bit | (extra == 0 ? static_cast<int>(length) : extra == 2 ? 126 : 127));
    for (int i = extra - 1; i >= 0; --i) out += static_cast<char>(length >> (8 * i));
    if (options.masked) out.append(mask_key, 4);
    for (std::size_t i = 0; i < payload.size(); ++i)
        out += static_cast<char>(payload[i] ^ (options.masked ? mask_key[i % 4] : 0));
    return out;
}

std::string close_payload(std::uint16_t status, const std::string& reason) {
    return std::string{static_cast<char>(status >> 8), static_cast<char>(status & 0xFF)} + reason;
}

int ws_received::status() const {
    if (payload.size() < 2) return 0;
    return static_cast<unsigned char>(payload[0]) << 8 | static_cast<unsigned char>(payload[1]);
}

std::vector<ws_received> ws_parse(std::string& bytes) {
    std::vector<ws_received> frames;
    std::size_t at = 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
    while (bytes.size() - at >= 2) {
        ws_received frame{byte(0) & 0x0F, (byte(0) & 0x80) != 0, (byte(1) & 0x80) != 0, {}};
        std::uint64_t length = byte(1) & 0x7F;
        const std::size_t extra = length == 126 ? 2 : length == 127 ? 8 : 0, key = 2 + extra;
        const std::size_t head = key + (frame.masked ? 4 : 0);
        if (bytes.size() - at < head) break;
        for (std::size_t i = 0; i < extra; ++i) length = (i ? length : 0) << 8 | byte(2 + i);
        if (bytes.size() - at - head < length) break;
        frame.payload = bytes.substr(at + head, length);
        for (std::size_t i = 0; frame.masked && i < frame.payload.size(); ++i) frame.payload[i] ^= bytes[at + key + i % 4];
        frames.push_back(std::move(frame));
        at += head + length;
    }
    bytes.erase(0, at);
    return frames;
}

}  // namespace test_support
