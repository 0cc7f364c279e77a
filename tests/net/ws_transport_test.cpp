// The WebSocket framing between the wire and the session's lines: masking,
// fragmentation, control frames, the closing handshake, the limits, and the
// conversion between UTF-8 and the server's ISO-8859-15.
#include "net/ws_transport.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ws_frames.hpp"

namespace {

using namespace test_support;
using vorta::ws_transport;

// What one decode gave.
struct outcome {
    bool open;
    std::string lines;
    std::vector<ws_received> replies;
};

outcome feed(ws_transport& codec, const std::string& bytes) {
    outcome result;
    std::string wire;
    result.open = codec.decode(bytes, result.lines, wire);
    result.replies = ws_parse(wire);
    EXPECT_EQ(wire, "") << "a partial frame in the reply";
    return result;
}

std::vector<ws_received> encoded(ws_transport& codec, const std::vector<std::string>& writes) {
    std::string wire;
    for (const auto& text : writes) codec.encode(text, wire);
    return ws_parse(wire);
}

TEST(ws_transport, a_masked_text_frame_is_one_line) {
    ws_transport codec;
    const outcome got = feed(codec, ws_text("HTB") + ws_text("TXT \"hallo\""));
    EXPECT_TRUE(got.open);
    EXPECT_EQ(got.lines, "HTB\nTXT \"hallo\"\n");
    EXPECT_TRUE(got.replies.empty());
}

TEST(ws_transport, a_frame_split_over_several_reads_counts_once_complete) {
    ws_transport codec;
    const std::string frame = ws_text("TXT \"geteilt\"");
    std::string lines;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        const outcome got = feed(codec, frame.substr(i, 1));
        EXPECT_TRUE(got.open);
        lines += got.lines;
        EXPECT_EQ(lines.empty(), i + 1 < frame.size()) << i;
    }
    EXPECT_EQ(lines, "TXT \"geteilt\"\n");
}

TEST(ws_transport, fragments_make_one_line_and_control_frames_may_come_between_them) {
    ws_transport codec;
    const outcome got = feed(codec, ws_frame(opcode::text, "TXT \"ein", unfinished()) +
                                        ws_frame(opcode::ping, "mitten") +
                                        ws_frame(opcode::continuation, " Satz", unfinished()) +
                                        ws_frame(opcode::continuation, "\""));
    EXPECT_TRUE(got.open);
    EXPECT_EQ(got.lines, "TXT \"ein Satz\"\n");
    ASSERT_EQ(got.replies.size(), 1u);
    EXPECT_EQ(got.replies[0].code, opcode::pong);
    EXPECT_EQ(got.replies[0].payload, "mitten");
}

TEST(ws_transport, ping_is_answered_with_its_payload_and_pong_is_ignored) {
    ws_transport codec;
    const outcome got = feed(codec, ws_frame(opcode::ping, "abc") + ws_frame(opcode::pong, "unasked"));
    EXPECT_TRUE(got.open);
    EXPECT_EQ(got.lines, "");
    ASSERT_EQ(got.replies.size(), 1u);
    EXPECT_EQ(got.replies[0].code, opcode::pong);
    EXPECT_TRUE(got.replies[0].fin);
    EXPECT_FALSE(got.replies[0].masked);  // the server never masks
    EXPECT_EQ(got.replies[0].payload, "abc");
}

TEST(ws_transport, the_closing_handshake_is_answered_and_ends_the_connection) {
    ws_transport codec;
    const outcome got = feed(codec, ws_text("TXT \"tsch\xC3\xBC\x73\"") + ws_frame(opcode::close, close_payload(1001, "weg")));
    EXPECT_FALSE(got.open);
    EXPECT_EQ(got.lines, "TXT \"tsch\xFCs\"\n");  // what came before the close is read
    ASSERT_EQ(got.replies.size(), 1u);
    EXPECT_EQ(got.replies[0].code, opcode::close);
    EXPECT_EQ(got.replies[0].status(), 1001);
    // Nothing goes out after the close, not even the server's own.
    std::string wire;
    codec.encode("HTB\n", wire);
    codec.close(wire);
    EXPECT_EQ(wire, "");
}

TEST(ws_transport, the_server_closes_with_normal_closure) {
    ws_transport codec;
    std::string wire;
    codec.close(wire);
    std::vector<ws_received> frames = ws_parse(wire);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].code, opcode::close);
    EXPECT_EQ(frames[0].status(), 1000);
    codec.close(wire);
    EXPECT_EQ(wire, "");
}

// Each of these ends the connection with a close frame of its status, and
// gives no line.
TEST(ws_transport, violations_close_with_their_status) {
    const std::string umlaut = "\xC3\xA4";
    std::string umlauts_1024, umlauts_1025;
    for (int i = 0; i < 1024; ++i) umlauts_1024 += umlaut;
    umlauts_1025 = umlauts_1024 + umlaut;
    const struct {
        const char* what;
        std::string bytes;
        int status;  // 0: a close frame without a status
    } cases[] = {
        {"unmasked frame", ws_frame(opcode::text, "HTB", unmasked()), 1002},
        {"unmasked ping", ws_frame(opcode::ping, "x", unmasked()), 1002},
        {"reserved opcode", ws_frame(0x3, "x"), 1002},
        {"continuation without a start", ws_frame(opcode::continuation, "x"), 1002},
        {"new message inside a fragmented one",
         ws_frame(opcode::text, "a", unfinished()) + ws_frame(opcode::text, "b"), 1002},
        {"line of 1025 bytes", ws_text(std::string(1025, 'x')), 1009},
        {"line of 1025 umlauts", ws_text(umlauts_1025), 1009},
        {"fragments adding up to 1025 bytes",
         ws_frame(opcode::text, std::string(1000, 'x'), unfinished()) +
             ws_frame(opcode::continuation, std::string(25, 'x')),
         1009},
        // Refused at its first payload byte, before the rest is waited for.
        {"a frame announcing a megabyte", ws_frame(opcode::text, "x", announcing(1 << 20)), 1009},
        {"invalid UTF-8", ws_text("TXT \"\xC3\x28\""), 1007},
        {"UTF-8 encoded surrogate", ws_text("\xED\xA0\x80"), 1007},
        {"overlong UTF-8", ws_text("\xC0\xAF"), 1007},
        {"invalid UTF-8 split over fragments",
         ws_frame(opcode::text, "ok \xE2\x82", unfinished()) + ws_frame(opcode::continuation, "x"), 1007},
        {"binary message", ws_frame(opcode::binary, "HTB"), 1003},
        {"two lines in one message", ws_text("HTB\nHTB"), 1008},
        {"zero byte", ws_text(std::string("HT\0B", 4)), 1008},
        {"fragmented ping", ws_frame(opcode::ping, "x", unfinished()), 0},
    };
    for (const auto& c : cases) {
        ws_transport codec;
        const outcome got = feed(codec, c.bytes);
        EXPECT_FALSE(got.open) << c.what;
        EXPECT_EQ(got.lines, "") << c.what;
        ASSERT_EQ(got.replies.size(), 1u) << c.what;
        EXPECT_EQ(got.replies[0].code, opcode::close) << c.what;
        EXPECT_EQ(got.replies[0].status(), c.status) << c.what;
    }
}

TEST(ws_transport, lines_up_to_the_limit_pass) {
    std::string umlauts;
    for (int i = 0; i < 1024; ++i) umlauts += "\xC3\xA4";
    ws_transport codec;
    const outcome got = feed(codec, ws_text(std::string(1024, 'x')) + ws_text(umlauts) + ws_text(""));
    EXPECT_TRUE(got.open);
    EXPECT_EQ(got.lines, std::string(1024, 'x') + "\n" + std::string(1024, '\xE4') + "\n\n");
}

TEST(ws_transport, incoming_utf8_becomes_iso_8859_15) {
    ws_transport codec;
    const outcome got = feed(codec, ws_text("TXT \"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xC2\xA4 \xE4\xB8\xAD\""));
    EXPECT_EQ(got.lines, "TXT \"Gr\xFC\xDF" "e \xA4 ? ?\"\n");
}

TEST(ws_transport, each_written_line_is_one_text_frame_in_utf8) {
    ws_transport codec;
    // The session writes a line and its line feed separately.
    const std::vector<ws_received> frames =
        encoded(codec, {"TXT \"Gr\xFC\xDF" "e \xA4\"", "\n", "HTB\nNCK\n", "ADD \"Ka", "i\"\n", "LGN"});
    ASSERT_EQ(frames.size(), 4u);
    const char* payloads[] = {"TXT \"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC\"", "HTB", "NCK", "ADD \"Kai\""};
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].code, opcode::text);
        EXPECT_TRUE(frames[i].fin);
        EXPECT_FALSE(frames[i].masked);
        EXPECT_EQ(frames[i].payload, payloads[i]);
    }
    // The unfinished "LGN" goes with its line feed.
    const std::vector<ws_received> rest = encoded(codec, {"\n"});
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].payload, "LGN");
}

TEST(ws_transport, exact_bytes_of_a_short_frame) {
    ws_transport codec;
    std::string wire;
    codec.encode("HTB\n", wire);
    EXPECT_EQ(wire, std::string("\x81\x03" "HTB"));
}

}  // namespace
