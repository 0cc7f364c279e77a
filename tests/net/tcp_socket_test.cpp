#include "net/tcp_socket.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

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

// Records the socket's events; takes the lines unless told not.
struct recorder : vorta::observer {
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

std::string received(int fd) {
    std::string bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
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

    scheduler loop{12};
    recorder watcher;
    std::unique_ptr<tcp_socket> socket;
    int peer = -1;
};

TEST_F(tcp_socket_test, input_comes_out_in_whole_lines_and_at_most_4095_bytes_a_read) {
    socket->read();  // nothing to read is silent
    send("LGN \"a\"");
    socket->read();
    send(" \"b\"\nPNG\r\nTXT \"x\"\nrest");
    socket->read();
    // A zero byte cuts the rest of its read.
    send(std::string("AB\0CD\n", 6));
    socket->read();
    send("E\n");
    socket->read();
    EXPECT_EQ(watcher.lines, (strings{"LGN \"a\" \"b\"\n", "PNG\r\n", "TXT \"x\"\n", "restABE\n"}));
    EXPECT_EQ(watcher.events, (strings{"read 7", "read 29", "read 6", "read 8"}));
    // The count goes down to the start of the incomplete line.
    EXPECT_EQ(watcher.leftover, (std::vector<int>{7, 4, 6, 0}));
    watcher.take_lines = false;
    watcher.events.clear();
    send(std::string(10000, 'x'));
    for (int i = 0; i < 3; ++i) socket->read();
    EXPECT_GT(socket->buffer_capacity(), 10000u);
    send("\n");
    socket->read();
    EXPECT_EQ(socket->getline(nullptr).size(), 10001u);
    EXPECT_LE(socket->buffer_capacity(), 4096u);  // an emptied buffer shrinks
    close(peer), peer = -1;
    socket->read();
    EXPECT_EQ(watcher.events,
              (strings{"read 4095", "read 8190", "read 10000", "read 10001", "read_close"}));
}

TEST_F(tcp_socket_test, output_of_a_pass_goes_once_at_its_end_and_outside_a_pass_at_once) {
    socket->writen("CNT \"x\"\n");
    EXPECT_EQ(received(peer), "CNT \"x\"\n");
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
    EXPECT_EQ(received(peer), "ADD \"a\"\nADD \"b\"\nNRM\n");
    // Output to a closed peer is dropped.
    close(peer), peer = -1;
    socket->writen("lost\n");
    EXPECT_EQ(watcher.events, (strings{"flush", "read 4", "flush", "write_close"}));
    EXPECT_EQ(socket->pending_output(), 0u);
}

// A notice right after a write waits a while for company, unless a line
// takes it along; on a quiet connection it goes at the end of the pass.
TEST_F(tcp_socket_test, a_notice_right_after_a_write_waits_unless_a_line_takes_it_along) {
    const auto notice = [](const char* text) { return make_shared<const std::string>(text); };
    watcher.stop_on_flush = true;
    for (const auto& [soon, text] : {std::pair{60000, "ADD \"a\"\n"}, {20, "DEL \"a\"\n"}}) {
        loop.set_soon_ms(soon);
        watcher.reply = [&, text = text] { socket->writen_soon(notice(text)); };
        send("PNG\n");
        run_bounded();  // until it went
        EXPECT_EQ(received(peer), text);
    }
    loop.set_soon_ms(60000);
    watcher.reply = [&] {
        socket->writen_soon(notice("ADD \"b\"\n"));
        scheduler::shutdown();
    };
    send("PNG\n");
    run_bounded();
    EXPECT_EQ(received(peer), "");
    socket->writen("TXT \"x\"\n");
    EXPECT_EQ(received(peer), "ADD \"b\"\nTXT \"x\"\n");
}

// A peer that takes nothing stalls once the grace is over, or at once beyond
// eight times the limit; a fragment queued by reference counts as often as it
// is owed, although it is held once.
TEST_F(tcp_socket_test, a_peer_that_takes_nothing_stalls_by_the_bytes_it_owes) {
    const std::size_t limit = 100000;
    const auto fragment = make_shared<const std::string>(limit, 'b');
    for (int i = 0; i < 6; ++i) socket->writen(fragment);  // the pair's buffers take a part
    const std::size_t owed = socket->pending_output(), held = socket->buffer_capacity();
    EXPECT_TRUE(owed > limit && !socket->stalled(limit, 200ms));  // it took something just now
    std::this_thread::sleep_for(250ms);
    EXPECT_TRUE(socket->stalled(limit, 200ms) && !socket->stalled(6 * limit, 200ms));
    EXPECT_FALSE(socket->stalled(limit, std::chrono::hours(1)));
    for (int i = 0; i < 8; ++i) socket->writen(fragment);
    EXPECT_EQ(socket->pending_output(), owed + 8 * limit);
    EXPECT_TRUE(socket->stalled(limit, std::chrono::hours(1)));
    EXPECT_LT(socket->buffer_capacity() - held, limit / 10);
}

// Input before the framing is taken as framed and lines go out as frames; the
// lines before a client's close are read, then the close is reported and
// answered at the next readiness.
TEST_F(tcp_socket_test, a_framed_connection_reads_the_lines_before_its_close_then_reports_it) {
    send("GET /chat/ws HTTP/1.1\r\n\r\n" + ws_text("HTB"));
    socket->read();
    ASSERT_EQ(socket->pending_input(), 9u);  // the masked frame
    ASSERT_TRUE(socket->set_transport(std::make_unique<vorta::ws_transport>()));
    EXPECT_EQ(socket->pending_input(), 4u);
    socket->writen("HTB");
    socket->writen("\n");
    EXPECT_EQ(received(peer), "\x81\x03HTB");
    send(ws_text("TXT \"tsch\xC3\xBC\x73\"") + ws_frame(opcode::close, close_payload(1000)));
    socket->read();
    EXPECT_EQ(watcher.lines,
              (strings{"GET /chat/ws HTTP/1.1\r\n", "\r\n", "HTB\n", "TXT \"tsch\xFCs\"\n"}));
    EXPECT_EQ(watcher.events, (strings{"read 34", "flush", "read 17", "read_close"}));
    EXPECT_EQ(received(peer), "");
    watcher.stop_on_flush = true;
    run_bounded();
    EXPECT_EQ(received(peer), ws_frame(opcode::close, close_payload(1000), {.masked = false}));
}

// What the queues of many recipients owe, as rows of pieces: a shared piece
// (true) is one fragment held by every queue, the others are copied into
// pooled buffers.
using pieces = std::vector<std::pair<std::string, bool>>;
const std::pair<const char*, pieces> queue_rows[] = {
    {"one fragment", {{"<b>alice:</b> hi<br>\n", true}}},
    {"small texts gather into one buffer", {{"HTB", false}, {"\n", false}, {" ", false}}},
    {"a text longer than a buffer", {{std::string(5000, 'l'), false}, {"end\n", false}}},
    {"a text of its own", {{"<i>x</i>", true}, {std::string(600, 'o'), false}, {"<i>y</i>", true}}},
    {"protocol lines between fragments",
     {{"ADD \"a\"\n", false}, {"<i>x</i>", true}, {"ADD \"b\"\n", false}, {"<i>y</i>", true}}},
    {"more pieces than one write gathers", pieces(70, {"f\n", true})},
};

std::string owed(const output_queue& queue) {
    std::vector<iovec> vector(queue.size() + 1);
    std::string bytes;
    for (std::size_t i = 0, n = queue.gather(vector.data(), vector.size()); i < n; ++i)
        bytes.append(static_cast<const char*>(vector[i].iov_base), vector[i].iov_len);
    return bytes;
}

// The first recipient's peer takes one byte per write; the next five leave
// mid-write around the end of the first piece; the others take all at once.
TEST(output_queue, every_recipient_owes_the_same_bytes_at_every_offset_of_a_partial_write) {
    for (const auto& [name, row] : queue_rows) {
        SCOPED_TRACE(name);
        std::vector<output_queue> queues(100);
        std::vector<output_queue::shared_text> fragments;
        std::string expected;
        for (const auto& [text, shared] : row) {
            if (shared) fragments.push_back(make_shared<const std::string>(text));
            expected += text;
            for (auto& queue : queues) shared ? queue.append(fragments.back()) : queue.append(text);
        }
        const auto holders = [&](long each) {
            for (const auto& fragment : fragments) EXPECT_EQ(fragment.use_count() - 1, each);
        };
        holders(100);
        const std::size_t first = row.front().first.size();
        std::size_t leaving = 1;
        for (std::size_t offset : {std::size_t{0}, std::size_t{1}, first - 1, first, first + 1})
            queues[leaving].advance(offset), queues[leaving++].clear();
        holders(95);
        for (std::size_t offset = 0; offset < expected.size(); ++offset) {
            ASSERT_EQ(queues[0].size(), expected.size() - offset);
            ASSERT_EQ(owed(queues[0]), expected.substr(offset)) << offset;
            queues[0].advance(1);
        }
        for (std::size_t i = 6; i < queues.size(); ++i) {
            EXPECT_EQ(owed(queues[i]), expected);
            queues[i].advance(expected.size());
        }
        holders(0);
    }
}

const std::string umlauts_1024 = [] {
    std::string text;
    for (int i = 0; i < 1024; ++i) text += "\xC3\xA4";
    return text;
}();

// What a codec makes of the bytes: the lines, and the status of the close frame
// it answers with (0: one without a status; -1: none, the connection stays open).
TEST(ws_transport, lines_come_through_up_to_the_limit_and_violations_close_with_their_status) {
    const std::tuple<const char*, std::string, std::string, int> cases[] = {
        {"a line in fragments around a ping, an unasked pong, 1024 bytes and 1024 umlauts",
         ws_frame(opcode::text, "TXT \"ein", {.fin = false}) + ws_frame(opcode::ping, "mitten") +
             ws_frame(opcode::continuation, " Satz", {.fin = false}) +
             ws_frame(opcode::continuation, "\"") + ws_frame(opcode::pong, "unasked") +
             ws_text(std::string(1024, 'x')) + ws_text(umlauts_1024) + ws_text(""),
         "TXT \"ein Satz\"\n" + std::string(1024, 'x') + "\n" + std::string(1024, '\xE4') + "\n\n",
         -1},
        {"line of 1025 bytes", ws_text(std::string(1025, 'x')), "", 1009},
        {"line of 1025 umlauts", ws_text(umlauts_1024 + "\xC3\xA4"), "", 1009},
        // Refused at its first payload byte, before the rest is waited for.
        {"a frame announcing a megabyte", ws_frame(opcode::text, "x", {.announced = 1 << 20}), "",
         1009},
        {"invalid UTF-8", ws_text("TXT \"\xC3\x28\""), "", 1007},
        {"binary message", ws_frame(opcode::binary, "HTB"), "", 1003},
        {"two lines in one message", ws_text("HTB\nHTB"), "", 1008},
        {"zero byte", ws_text(std::string("HT\0B", 4)), "", 1008},
        {"fragmented ping", ws_frame(opcode::ping, "x", {.fin = false}), "", 0},
    };
    for (const auto& [what, bytes, lines, status] : cases) {
        SCOPED_TRACE(what);
        vorta::ws_transport codec;
        std::string got, wire;
        EXPECT_EQ(codec.decode(bytes, got, wire), status < 0);
        EXPECT_EQ(got, lines);
        // The server never masks; a ping is answered in kind.
        const auto replies = ws_parse(wire);
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(wire, "") << "a partial frame in the reply";
        const ws_received& reply = replies[0];
        EXPECT_FALSE(reply.masked);
        EXPECT_EQ(reply.code, status < 0 ? opcode::pong : opcode::close);
        EXPECT_EQ(status < 0 ? reply.payload == "mitten" : reply.status() == status, true);
        // After a close nothing goes out.
        codec.encode("HTB\n", wire);
        codec.close(wire);
        codec.close(wire);  // the server's own close is normal closure, once
        EXPECT_EQ(wire, status < 0 ? std::string("\x81\x03HTB\x88\x02\x03\xE8", 9) : "");
    }
}

}  // namespace
