// The WebSocket framing between the wire and the session's lines: masking,
// fragmentation, control frames, the closing handshake, the limits, and the
// conversion between UTF-8 and the server's ISO-8859-15.
#include "net/ws_transport.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/ws_frames.hpp"

namespace {

using namespace test_support;

// Decodes `bytes` on `codec`: open or not, the lines, and the frames of the reply.
struct outcome {
    explicit outcome(const std::string& bytes, vorta::ws_transport&& fresh = {})
        : outcome(bytes, fresh) {}
    outcome(const std::string& bytes, vorta::ws_transport& codec) {
        std::string wire;
        open = codec.decode(bytes, lines, wire);
        replies = ws_parse(wire);
        EXPECT_EQ(wire, "") << "a partial frame in the reply";
    }
    bool open;
    std::string lines;
    std::vector<ws_received> replies;
};

const std::string umlauts_1024 = [] {
    std::string text;
    for (int i = 0; i < 1024; ++i) text += "\xC3\xA4";
    return text;
}();

TEST(ws_transport, lines_and_control_frames_come_through_up_to_the_limit) {
    vorta::ws_transport codec;
    const std::string frame = ws_text("TXT \"geteilt\"");
    for (std::size_t i = 0; i < frame.size(); ++i) {  // counts once complete
        const outcome got(frame.substr(i, 1), codec);
        EXPECT_TRUE(got.open);
        EXPECT_EQ(got.lines, i + 1 < frame.size() ? "" : "TXT \"geteilt\"\n") << i;
    }
    const outcome got(ws_frame(opcode::text, "TXT \"ein", unfinished()) +
                      ws_frame(opcode::ping, "mitten") +
                      ws_frame(opcode::continuation, " Satz", unfinished()) +
                      ws_frame(opcode::continuation, "\"") + ws_frame(opcode::pong, "unasked") +
                      ws_text(std::string(1024, 'x')) + ws_text(umlauts_1024) + ws_text(""));
    EXPECT_TRUE(got.open);
    EXPECT_EQ(got.lines, "TXT \"ein Satz\"\n" + std::string(1024, 'x') + "\n" +
                             std::string(1024, '\xE4') + "\n\n");
    ASSERT_EQ(got.replies.size(), 1u);  // the server never masks
    const ws_received& pong = got.replies[0];
    EXPECT_EQ(std::tie(pong.code, pong.fin, pong.masked), std::tuple(opcode::pong, true, false));
    EXPECT_EQ(pong.payload, "mitten");
}

TEST(ws_transport, the_closing_handshake_is_answered_and_nothing_goes_out_after_it) {
    vorta::ws_transport codec;
    std::string wire;
    const outcome got(
        ws_text("TXT \"tsch\xC3\xBC\x73\"") + ws_frame(opcode::close, close_payload(1001, "weg")),
        codec);
    EXPECT_FALSE(got.open);
    EXPECT_EQ(got.lines, "TXT \"tsch\xFCs\"\n");  // what came before the close is read
    ASSERT_EQ(got.replies.size(), 1u);
    EXPECT_EQ(got.replies[0].code, opcode::close);
    EXPECT_EQ(got.replies[0].status(), 1001);
    codec.encode("HTB\n", wire);
    codec.close(wire);
    EXPECT_EQ(wire, "");
    // The server's own close is normal closure, once.
    vorta::ws_transport server;
    server.close(wire);
    EXPECT_EQ(wire, std::string("\x88\x02\x03\xE8", 4));
    server.close(wire);
    EXPECT_EQ(wire.size(), 4u);
}

// Each of these ends the connection with a close frame of its status (0: none) and no line.
TEST(ws_transport, violations_close_with_their_status) {
    const struct {
        const char* what;
        std::string bytes;
        int status;
    } cases[] = {
        {"unmasked frame", ws_frame(opcode::text, "HTB", unmasked()), 1002},
        {"unmasked ping", ws_frame(opcode::ping, "x", unmasked()), 1002},
        {"reserved opcode", ws_frame(0x3, "x"), 1002},
        {"continuation without a start", ws_frame(opcode::continuation, "x"), 1002},
        {"message inside a message", ws_frame(opcode::text, "a", unfinished()) + ws_text("b"),
         1002},
        {"line of 1025 bytes", ws_text(std::string(1025, 'x')), 1009},
        {"line of 1025 umlauts", ws_text(umlauts_1024 + "\xC3\xA4"), 1009},
        {"fragments of 1025 bytes",
         ws_frame(opcode::text, std::string(1000, 'x'), unfinished()) +
             ws_frame(opcode::continuation, std::string(25, 'x')),
         1009},
        // Refused at its first payload byte, before the rest is waited for.
        {"a frame announcing a megabyte", ws_frame(opcode::text, "x", announcing(1 << 20)), 1009},
        {"invalid UTF-8", ws_text("TXT \"\xC3\x28\""), 1007},
        {"UTF-8 encoded surrogate", ws_text("\xED\xA0\x80"), 1007},
        {"overlong UTF-8", ws_text("\xC0\xAF"), 1007},
        {"invalid UTF-8 over fragments",
         ws_frame(opcode::text, "ok \xE2\x82", unfinished()) + ws_frame(opcode::continuation, "x"),
         1007},
        {"binary message", ws_frame(opcode::binary, "HTB"), 1003},
        {"two lines in one message", ws_text("HTB\nHTB"), 1008},
        {"zero byte", ws_text(std::string("HT\0B", 4)), 1008},
        {"fragmented ping", ws_frame(opcode::ping, "x", unfinished()), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const outcome got(c.bytes);
        EXPECT_FALSE(got.open);
        EXPECT_EQ(got.lines, "");
        ASSERT_EQ(got.replies.size(), 1u);
        EXPECT_EQ(got.replies[0].code, opcode::close);
        EXPECT_EQ(got.replies[0].status(), c.status);
    }
}

TEST(ws_transport, iso_8859_15_lines_go_out_as_one_utf8_text_frame_each) {
    const outcome in(ws_text("TXT \"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xC2\xA4 \xE4\xB8\xAD\""));
    EXPECT_EQ(in.lines, "TXT \"Gr\xFC\xDF" "e \xA4 ? ?\"\n");

    vorta::ws_transport codec;
    std::string wire;
    // The session writes a line and its line feed separately.
    for (const char* text : {"TXT \"Gr\xFC\xDF"
                             "e \xA4\"",
                             "\n", "HTB\nNCK\n", "ADD \"Ka", "i\"\n", "LGN"})
        codec.encode(text, wire);
    EXPECT_EQ(wire.substr(0, 19), "\x81\x11TXT \"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC\"");
    std::vector<std::string> payloads;
    for (const ws_received& frame : ws_parse(wire)) {
        EXPECT_EQ(std::tie(frame.code, frame.fin, frame.masked),
                  std::tuple(opcode::text, true, false));
        payloads.push_back(frame.payload);
    }
    codec.encode("\n", wire);  // the unfinished "LGN" goes with its line feed
    EXPECT_EQ(wire, "\x81\x03LGN");
    EXPECT_EQ(payloads, (std::vector<std::string>{"TXT \"Gr\xC3\xBC\xC3\x9F"
                                                  "e \xE2\x82\xAC\"",
                                                  "HTB", "NCK", "ADD \"Kai\""}));
}

}  // namespace
