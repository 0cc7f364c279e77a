#include "support/ws_frames.hpp"

#include <wslay/wslay.h>

#include <memory>

namespace test_support {

namespace {

struct io {
    std::string* out = nullptr;
    const std::string* in = nullptr;
    std::size_t offset = 0;
};

ssize_t collect(const std::uint8_t* data, std::size_t length, int, void* user) {
    static_cast<io*>(user)->out->append(reinterpret_cast<const char*>(data), length);
    return static_cast<ssize_t>(length);
}

// One byte at a time, so that the frame layer never holds bytes beyond the
// frame it reads and the offset tells where a complete frame ends.
ssize_t supply(std::uint8_t* buffer, std::size_t length, int, void* user) {
    auto& state = *static_cast<io*>(user);
    if (length == 0 || state.offset >= state.in->size()) return -1;
    buffer[0] = static_cast<std::uint8_t>(state.in->data()[state.offset++]);
    return 1;
}

// Any key serves; a fixed one keeps the bytes reproducible.
int mask_key(std::uint8_t* buffer, std::size_t length, void*) {
    for (std::size_t i = 0; i < length; ++i) buffer[i] = static_cast<std::uint8_t>(0x37 + 0x51 * i);
    return 0;
}

// A frame context over `state`, freed with its owner.
auto context_of(io& state) {
    static wslay_frame_callbacks callbacks{collect, supply, mask_key};
    wslay_frame_context_ptr context = nullptr;
    wslay_frame_context_init(&context, &callbacks, &state);
    return std::unique_ptr<wslay_frame_context, void (*)(wslay_frame_context_ptr)>(
        context, wslay_frame_context_free);
}

}  // namespace

std::string ws_frame(int code, const std::string& payload, const frame_options& options) {
    std::string out;
    io state{&out, nullptr, 0};
    wslay_frame_iocb frame{};
    frame.fin = options.fin;
    frame.opcode = static_cast<std::uint8_t>(code);
    frame.mask = options.masked;
    frame.payload_length = options.announced.value_or(payload.size());
    frame.data = reinterpret_cast<const std::uint8_t*>(payload.data());
    frame.data_length = payload.size();
    wslay_frame_send(context_of(state).get(), &frame);
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
    // One context reads the whole buffer; only complete frames are taken off it.
    io state{nullptr, &bytes, 0};
    const auto context = context_of(state);
    std::size_t consumed = 0;
    ws_received current;
    for (bool started = false;;) {
        wslay_frame_iocb frame{};
        const ssize_t count = wslay_frame_recv(context.get(), &frame);
        if (count < 0) {
            if (count == WSLAY_ERR_WANT_READ && state.offset < bytes.size()) continue;
            break;
        }
        if (!started) current = ws_received{frame.opcode, frame.fin != 0, frame.mask != 0, {}};
        started = true;
        current.payload.append(reinterpret_cast<const char*>(frame.data), frame.data_length);
        if (current.payload.size() == frame.payload_length) {
            frames.push_back(current);
            started = false;
            consumed = state.offset;
        }
    }
    bytes.erase(0, consumed);
    return frames;
}

}  // namespace test_support
