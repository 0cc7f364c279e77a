#include "net/ws_transport.hpp"

#include <wslay/wslay.h>

#include <algorithm>

#include "net/c_error.hpp"
#include "util/charset.hpp"

namespace vorta {

namespace {

// Every character of a line takes at most three bytes in UTF-8 (the euro sign
// does): no longer message can hold a line the server would take.
constexpr std::uint64_t max_message = 3 * ws_transport::max_line;

constexpr std::uint16_t normal_closure = 1000;
constexpr std::uint16_t unsupported_data = 1003;
constexpr std::uint16_t policy_violation = 1008;
constexpr std::uint16_t message_too_big = 1009;

}  // namespace

ws_transport::ws_transport() {
    wslay_event_callbacks callbacks{};
    callbacks.recv_callback = &ws_transport::on_receive;
    callbacks.send_callback = &ws_transport::on_send;
    callbacks.on_msg_recv_callback = &ws_transport::on_message;
    if (wslay_event_context_server_init(&context_, &callbacks, this) != 0)
        throw c_error("no memory for a WebSocket connection");
    wslay_event_config_set_max_recv_msg_length(context_, max_message);
}

ws_transport::~ws_transport() { wslay_event_context_free(context_); }

bool ws_transport::decode(std::string_view bytes, std::string& lines, std::string& wire) {
    incoming_ = bytes;
    lines_ = &lines;
    // A failure has queued the closing frame already; it goes out below.
    const int failed = wslay_event_recv(context_);
    lines_ = nullptr;
    incoming_ = std::string_view();
    send(wire);
    return failed == 0 && wslay_event_get_read_enabled(context_) && !wslay_event_get_close_sent(context_);
}

void ws_transport::encode(std::string_view text, std::string& wire) {
    // The session writes a line and its line feed in separate calls.
    for (std::string_view::size_type end; (end = text.find('\n')) != std::string_view::npos;
         text.remove_prefix(end + 1)) {
        std::string utf8;
        if (unfinished_.empty()) {
            utf8 = latin9_to_utf8(text.substr(0, end));
        } else {
            unfinished_.append(text.substr(0, end));
            utf8 = latin9_to_utf8(unfinished_);
            unfinished_.clear();
        }
        wslay_event_msg message{WSLAY_TEXT_FRAME, reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()};
        // Refused only once the connection is closing: the line is then moot.
        wslay_event_queue_msg(context_, &message);
    }
    unfinished_.append(text);
    send(wire);
}

void ws_transport::close(std::string& wire) {
    wslay_event_queue_close(context_, normal_closure, nullptr, 0);
    send(wire);
}

void ws_transport::send(std::string& wire) {
    wire_ = &wire;
    wslay_event_send(context_);
    wire_ = nullptr;
}

ssize_t ws_transport::on_receive(wslay_event_context* context, std::uint8_t* buffer, std::size_t length,
                                 int /*flags*/, void* self) {
    auto& me = *static_cast<ws_transport*>(self);
    if (me.incoming_.empty()) {
        wslay_event_set_error(context, WSLAY_ERR_WOULDBLOCK);
        return -1;
    }
    const std::size_t count = std::min(length, me.incoming_.size());
    me.incoming_.copy(reinterpret_cast<char*>(buffer), count);
    me.incoming_.remove_prefix(count);
    return static_cast<ssize_t>(count);
}

// The socket's output buffer takes everything, so the codec keeps nothing.
ssize_t ws_transport::on_send(wslay_event_context* context, const std::uint8_t* data, std::size_t length,
                              int /*flags*/, void* self) {
    auto& me = *static_cast<ws_transport*>(self);
    if (me.wire_ == nullptr) {
        wslay_event_set_error(context, WSLAY_ERR_WOULDBLOCK);
        return -1;
    }
    me.wire_->append(reinterpret_cast<const char*>(data), length);
    return static_cast<ssize_t>(length);
}

void ws_transport::on_message(wslay_event_context* /*context*/, const wslay_event_on_msg_recv_arg* message,
                              void* self) {
    auto& me = *static_cast<ws_transport*>(self);
    if (message->opcode == WSLAY_TEXT_FRAME) {
        me.take(std::string_view(reinterpret_cast<const char*>(message->msg), message->msg_length));
    } else if (message->opcode == WSLAY_BINARY_FRAME) {
        me.refuse(unsupported_data);
    }
}

// The codec has checked the UTF-8 already.
void ws_transport::take(std::string_view text) {
    if (lines_ == nullptr) return;
    if (text.find_first_of(std::string_view("\n\0", 2)) != std::string_view::npos) {
        refuse(policy_violation);
        return;
    }
    std::string line = utf8_to_latin9(text);
    if (line.size() > max_line) {
        refuse(message_too_big);
        return;
    }
    lines_->append(line);
    lines_->push_back('\n');
}

void ws_transport::refuse(std::uint16_t code) {
    wslay_event_queue_close(context_, code, nullptr, 0);
    wslay_event_shutdown_read(context_);
}

}  // namespace vorta
