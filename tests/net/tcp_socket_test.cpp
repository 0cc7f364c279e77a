// The line-buffered socket over a socket pair: lines in, output batched within
// a pass, buffer memory, stalls, ticks and framing; the output queue's shared
// fragments and pooled buffers; the WebSocket framing on its own: masking,
// fragmentation, control frames, the closing handshake, the limits, and the
// conversion between UTF-8 and the server's ISO-8859-15.
#include "net/tcp_socket.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <tuple>

#include "net/observer.hpp"
#include "net/scheduler.hpp"
#include "net/ws_transport.hpp"
#include "support/ws_frames.hpp"

namespace {

using namespace test_support;
using vorta::output_queue;
using vorta::scheduler;
using vorta::tcp_socket;
using strings = std::vector<std::string>;
using std::make_shared;
using namespace std::chrono_literals;

struct recorder : vorta::observer {
    void on_timer(vorta::communicator*) override { events.push_back("timer"); }
    void on_time_out(vorta::communicator*) override { events.push_back("time_out"); }
    void on_read(vorta::communicator*, int pending) override {
        events.push_back("read " + std::to_string(pending));
        if (take_lines) {
            int left = pending;
            for (std::string line; !(line = socket->getline(&left)).empty();) lines.push_back(line);
            leftover.push_back(left);
        }
        if (reply) reply();
    }
    void on_read_close(vorta::communicator*) override { events.push_back("read_close"); }
    void on_write_close(vorta::communicator*) override { events.push_back("write_close"); }
    void on_flush(vorta::communicator*) override {
        events.push_back("flush");
        if (stop_on_flush) scheduler::shutdown();
    }
    strings events, lines;
    std::vector<int> leftover;
    std::function<void()> reply;  // runs at the end of on_read
    tcp_socket* socket = nullptr;
    bool take_lines = true, stop_on_flush = false;
};

// What the peer receives: everything until its end is closed, or what is there now.
std::string received(int fd, bool to_end = true) {
    std::string bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, to_end ? 0 : MSG_DONTWAIT)) > 0;)
        bytes.append(buffer, n);
    return bytes;
}

class tcp_socket_test : public ::testing::Test {
protected:
    void SetUp() override {
        scheduler::Active = true;
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        peer = fds[1];
        socket = std::make_unique<tcp_socket>(&loop, &watcher, fds[0], 3);
        watcher.socket = socket.get();
    }
    void TearDown() override {
        socket.reset();
        if (peer >= 0) close(peer);
        scheduler::Active = true;
    }
    void send(const std::string& bytes) {
        ASSERT_EQ(::write(peer, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Runs the loop; one that has not stopped within five seconds is stopped.
    void run_bounded() {
        scheduler::Active = true;
        std::thread guard([] {
            for (int i = 0; i < 500 && scheduler::Active; ++i) std::this_thread::sleep_for(10ms);
            scheduler::shutdown();
        });
        loop.run();
        guard.join();
    }
    bool frame() { return socket->set_transport(std::make_unique<vorta::ws_transport>()); }

    scheduler loop{12};
    recorder watcher;
    std::unique_ptr<tcp_socket> socket;
    int peer = -1;
};

TEST_F(tcp_socket_test, input_comes_out_in_whole_lines) {
    EXPECT_TRUE(fcntl(socket->get_descriptor(), F_GETFL) & O_NONBLOCK);
    socket->read();  // nothing to read is silent
    send("LGN \"a\"");
    socket->read();
    send(" \"b\"\nPNG\r\nTXT \"x\"\nrest");
    socket->read();
    EXPECT_EQ(watcher.lines, (strings{"LGN \"a\" \"b\"\n", "PNG\r\n", "TXT \"x\"\n"}));
    EXPECT_EQ(watcher.events, (strings{"read 7", "read 29"}));
    // The count goes down to the start of the incomplete line.
    EXPECT_EQ(watcher.leftover, (std::vector<int>{7, 4}));
    EXPECT_EQ(socket->getline(nullptr), "");
    // A zero byte cuts the rest of its read.
    send(std::string("AB\0CD\n", 6));
    socket->read();
    send("E\n");
    socket->read();
    EXPECT_EQ(watcher.lines.back(), "restABE\n");
    close(peer), peer = -1;
    socket->read();
    EXPECT_EQ(watcher.events.back(), "read_close");
}

TEST_F(tcp_socket_test, one_read_takes_at_most_4095_bytes_and_an_emptied_buffer_shrinks) {
    watcher.take_lines = false;
    send(std::string(10000, 'x'));
    for (int i = 0; i < 3; ++i) socket->read();
    EXPECT_EQ(watcher.events, (strings{"read 4095", "read 8190", "read 10000"}));
    EXPECT_GT(socket->buffer_capacity(), 10000u);
    send("\n");
    socket->read();
    EXPECT_EQ(socket->getline(nullptr).size(), 10001u);
    EXPECT_LE(socket->buffer_capacity(), 4096u);
}

TEST_F(tcp_socket_test, output_of_a_pass_goes_once_at_its_end_and_outside_a_pass_at_once) {
    socket->writen("CNT \"x\"\n");
    EXPECT_EQ(received(peer, false), "CNT \"x\"\n");
    std::size_t pending = 0;
    watcher.reply = [&] {
        socket->writen("ADD \"a\"\n");
        socket->writen(make_shared<const std::string>("ADD \"b\"\n"));
        socket->writen("NRM\n");
        pending = socket->pending_output();
    };
    watcher.stop_on_flush = true;
    send("PNG\n");
    run_bounded();
    EXPECT_EQ(pending, 20u);  // nothing went out during the read
    EXPECT_EQ(received(peer, false), "ADD \"a\"\nADD \"b\"\nNRM\n");
    // A write when ready waits for the next readiness.
    socket->write_when_ready("chunk");
    EXPECT_EQ(received(peer, false), "");
    run_bounded();
    EXPECT_EQ(received(peer, false), "chunk");
    // Output to a closed peer is dropped.
    close(peer), peer = -1;
    socket->writen("lost\n");
    EXPECT_EQ(watcher.events, (strings{"flush", "read 4", "flush", "flush", "write_close"}));
    EXPECT_EQ(socket->pending_output(), 0u);
}

TEST_F(tcp_socket_test, a_peer_that_takes_nothing_stalls_once_the_grace_is_over) {
    const std::size_t limit = 100000;
    socket->writen(std::string(6 * limit, 'a'));  // the pair's buffers take a part
    ASSERT_GT(socket->pending_output(), limit);
    EXPECT_FALSE(socket->stalled(limit, 200ms));  // it took something just now
    std::this_thread::sleep_for(250ms);
    EXPECT_TRUE(socket->stalled(limit, 200ms));
    EXPECT_FALSE(socket->stalled(6 * limit, 200ms));  // not over that limit
    // Beyond eight times the limit waiting is over at once; a fragment queued
    // by reference counts as often as it is owed, although it is held once.
    EXPECT_FALSE(socket->stalled(limit, std::chrono::hours(1)));
    const std::size_t owed = socket->pending_output(), held = socket->buffer_capacity();
    const auto fragment = make_shared<const std::string>(limit, 'b');
    for (int i = 0; i < 8; ++i) socket->writen(fragment);
    EXPECT_EQ(socket->pending_output(), owed + 8 * limit);
    EXPECT_TRUE(socket->stalled(limit, std::chrono::hours(1)));
    EXPECT_LT(socket->buffer_capacity() - held, limit / 10);
}

TEST_F(tcp_socket_test, ticks_count_up_to_the_limit_until_reset_and_zero_stops_them) {
    for (int i = 0; i < 4; ++i) socket->timer();
    EXPECT_EQ(watcher.events, (strings{"timer", "timer", "time_out", "time_out"}));
    EXPECT_TRUE(socket->good(4));
    EXPECT_FALSE(socket->good(3));
    socket->reset_timer();
    EXPECT_TRUE(socket->good(0));
    socket->set_maxtimer(1);
    socket->timer();
    EXPECT_EQ(watcher.events.back(), "time_out");
    // A socket made without ticks starts getting them; one set to zero stops.
    scheduler quick(1);
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    recorder ticking;
    tcp_socket untimed(&quick, &ticking, fds[0], 0), timed(&quick, &ticking, fds[1], 2);
    timed.set_maxtimer(0);
    untimed.set_maxtimer(5);
    struct : vorta::observer {
        void on_timer(vorta::communicator*) override { scheduler::shutdown(); }
    } stop;
    untimed.set_observer(&stop);
    quick.run();
    EXPECT_TRUE(ticking.events.empty());
    EXPECT_FALSE(untimed.good(0));
}

TEST_F(tcp_socket_test, a_framed_connection_reads_the_lines_before_its_close_then_reports_it) {
    ASSERT_TRUE(frame());
    send(ws_text("HTB") + ws_text("TXT \"tsch\xC3\xBC\x73\"") +
         ws_frame(opcode::close, close_payload(1000)));
    socket->read();
    EXPECT_EQ(watcher.lines, (strings{"HTB\n", "TXT \"tsch\xFCs\"\n"}));
    EXPECT_EQ(watcher.events, (strings{"read 17", "read_close"}));
    EXPECT_EQ(received(peer, false), "");  // the reply to the close waits for readiness
    watcher.stop_on_flush = true;
    run_bounded();
    EXPECT_EQ(received(peer, false), ws_frame(opcode::close, close_payload(1000), unmasked()));
}

TEST_F(tcp_socket_test, an_observer_that_drops_a_framed_connection_while_reading_hears_no_more) {
    ASSERT_TRUE(frame());
    watcher.reply = [&] { socket.reset(); };
    send(ws_text("HTB") + ws_frame(opcode::close, close_payload(1000)));
    socket->read();
    EXPECT_EQ(watcher.events, (strings{"read 4"}));
}

TEST_F(tcp_socket_test, input_before_the_framing_is_taken_as_framed_and_lines_go_as_frames) {
    send("GET /chat/ws HTTP/1.1\r\n\r\n" + ws_text("HTB"));
    socket->read();
    ASSERT_EQ(watcher.lines, (strings{"GET /chat/ws HTTP/1.1\r\n", "\r\n"}));
    ASSERT_EQ(socket->pending_input(), 9u);  // the masked frame
    ASSERT_TRUE(frame());
    EXPECT_EQ(socket->pending_input(), 4u);
    EXPECT_EQ(socket->getline(nullptr), "HTB\n");
    socket->writen("HTB");
    socket->writen("\n");
    socket.reset();  // closes politely
    EXPECT_EQ(received(peer), std::string("\x81\x03HTB") + "\x88\x02\x03\xE8");
}

// What a queue owes, as rows of pieces: a shared piece (true) is one fragment
// held by every queue of the row, the others are copied into pooled buffers.
using pieces = std::vector<std::pair<std::string, bool>>;
const std::pair<const char*, pieces> queue_rows[] = {
    {"one fragment", {{"<b>alice:</b> hi<br>\n", true}}},
    {"small texts gather into one buffer", {{"HTB", false}, {"\n", false}, {" ", false}}},
    {"fragments between texts",
     {{"TXT ", false}, {"<i>x</i>", true}, {"\n", false}, {"<i>y</i>", true}}},
    {"a text longer than a buffer", {{std::string(5000, 'l'), false}, {"end\n", false}}},
    {"a text of its own", {{"<i>x</i>", true}, {std::string(600, 'o'), false}, {"<i>y</i>", true}}},
    {"protocol lines between fragments",
     [] {
         pieces row;
         for (int i = 0; i < 100; ++i) {
             row.push_back({"ADD \"nick" + std::to_string(i) + "\"\n", false});
             row.push_back({"TXT \"<i>" + std::to_string(i) + "</i>\"\n", true});
         }
         return row;
     }()},
    {"more pieces than one write gathers", pieces(70, {"f\n", true})},
};

// The queues of a row's recipients, all holding the same fragments.
struct recipients {
    recipients(const pieces& row, std::size_t count) : queues(count) {
        for (const auto& [text, shared] : row) {
            if (shared) fragments.push_back(make_shared<const std::string>(text));
            expected += text;
            for (auto& queue : queues) shared ? queue.append(fragments.back()) : queue.append(text);
        }
    }
    // How many queues still hold each fragment.
    std::vector<long> holders() const {
        std::vector<long> counts;
        for (const auto& fragment : fragments) counts.push_back(fragment.use_count() - 1);
        return counts;
    }
    std::vector<output_queue> queues;
    std::vector<output_queue::shared_text> fragments;
    std::string expected;
};

// Everything `queue` owes, as one write would take it.
std::string owed(const output_queue& queue) {
    std::vector<iovec> vector(queue.size() + 1);
    std::string bytes;
    for (std::size_t i = 0, n = queue.gather(vector.data(), vector.size()); i < n; ++i)
        bytes.append(static_cast<const char*>(vector[i].iov_base), vector[i].iov_len);
    return bytes;
}

// Partial writes at every offset and a recipient that leaves mid-write.
TEST(output_queue, every_recipient_owes_the_same_bytes_at_every_offset_of_a_partial_write) {
    for (const auto& [name, row] : queue_rows) {
        SCOPED_TRACE(name);
        recipients many(row, 100);
        EXPECT_TRUE(many.fragments.empty() || many.fragments.front().use_count() == 101);
        // The first recipient's peer takes one byte per write, the others all at once.
        output_queue& slow = many.queues.front();
        for (std::size_t offset = 0; offset < many.expected.size(); ++offset) {
            ASSERT_EQ(slow.size(), many.expected.size() - offset);
            ASSERT_EQ(owed(slow), many.expected.substr(offset)) << offset;
            slow.advance(1);
        }
        EXPECT_TRUE(slow.empty());
        for (std::size_t i = 1; i < many.queues.size(); ++i) {
            EXPECT_EQ(owed(many.queues[i]), many.expected);
            many.queues[i].advance(many.expected.size());
        }
        EXPECT_EQ(many.holders(), std::vector<long>(many.fragments.size(), 0));

        // One that leaves mid-write keeps the fragments of the other intact.
        for (std::size_t offset = 0; offset <= row.front().first.size() + 1; ++offset) {
            recipients two(row, 2);
            std::vector<long> remaining = two.holders();
            for (long& holders : remaining) holders /= 2;
            two.queues.front().advance(offset);
            two.queues.front().clear();
            EXPECT_EQ(two.holders(), remaining);
            EXPECT_EQ(owed(two.queues.back()), two.expected) << offset;
        }
        // Buffers given back are taken again by the next burst.
        std::size_t pooled = 0;
        for (int burst = 0; burst < 2; ++burst) {
            recipients more(row, 50);
            for (output_queue& queue : more.queues) queue.advance(queue.size());
            EXPECT_TRUE(burst == 0 || output_queue::pooled() == pooled);
            pooled = output_queue::pooled();
        }
    }
    EXPECT_GE(output_queue::pooled(), 50u);
}


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
