#pragma once
// The WebSocket framing (RFC 6455, server side) as a transport of a
// tcp_socket, after the handshake: one text message carries one line in each
// direction. The wire speaks UTF-8 and the server ISO-8859-15, converted here
// in both directions. Control frames, fragmentation and the closing handshake
// are the codec library's; this class adds the server's limits: a message
// whose line would exceed `max_line` bytes closes with 1009, invalid UTF-8
// with 1007, a binary message with 1003, a message with a line feed or zero
// byte inside with 1008, and an unmasked client frame with 1002.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "net/transport.hpp"

struct wslay_event_context;
struct wslay_event_on_msg_recv_arg;

namespace vorta {

class ws_transport : public transport {
public:
    // Longest line, line feed excluded, in the server's bytes.
    static constexpr std::size_t max_line = 1024;

    // Throws c_error when the codec cannot be set up.
    ws_transport();
    ~ws_transport() override;
    ws_transport(const ws_transport&) = delete;
    ws_transport& operator=(const ws_transport&) = delete;

    bool decode(std::string_view bytes, std::string& lines, std::string& wire) override;
    void encode(std::string_view text, std::string& wire) override;
    void close(std::string& wire) override;

private:
    static ssize_t on_receive(wslay_event_context* context, std::uint8_t* buffer, std::size_t length, int flags,
                           void* self);
    static ssize_t on_send(wslay_event_context* context, const std::uint8_t* data, std::size_t length, int flags,
                        void* self);
    static void on_message(wslay_event_context* context, const wslay_event_on_msg_recv_arg* message,
                           void* self);

    void take(std::string_view text);
    void refuse(std::uint16_t code);
    // Lets the codec write what it queued.
    void send(std::string& wire);

    wslay_event_context* context_ = nullptr;
    std::string_view incoming_;   // bytes the codec has not read yet
    std::string* lines_ = nullptr;  // where decoded lines go during decode
    std::string* wire_ = nullptr;   // where frames go while the codec sends
    std::string unfinished_;      // outgoing text not yet ended by a line feed
};

}  // namespace vorta
