// The line-buffered socket over a socket pair: reading and taking lines,
// queued output and its batching within a pass of the loop, the last attempt
// on destruction, buffer memory, failures on either side, and the tick counter;
// the output queue's shared fragments and pooled buffers.
#include "net/tcp_socket.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sys/uio.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/observer.hpp"
#include "net/scheduler.hpp"
#include "net/ws_transport.hpp"
#include "support/ws_frames.hpp"

namespace {

using vorta::output_queue;
using vorta::scheduler;
using vorta::tcp_socket;

class recorder : public vorta::observer {
public:
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
    std::vector<std::string> events, lines;
    std::vector<int> leftover;
    std::function<void()> reply;  // runs at the end of on_read
    tcp_socket* socket = nullptr;
    bool take_lines = true;
    bool stop_on_flush = false;
};

// Runs the loop; one that has not stopped within five seconds is stopped, so
// that a failing test ends.
void run_bounded(scheduler& loop) {
    std::mutex mutex;
    std::condition_variable stopped;
    bool done = false;
    std::thread guard([&] {
        std::unique_lock lock(mutex);
        if (!stopped.wait_for(lock, std::chrono::seconds(5), [&] { return done; })) scheduler::shutdown();
    });
    loop.run();
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    stopped.notify_one();
    guard.join();
}

// Everything the peer receives until the socket's end is closed.
std::string read_to_end(int fd) {
    std::string received;
    char buffer[4096];
    ssize_t count;
    while ((count = ::read(fd, buffer, sizeof buffer)) > 0) received.append(buffer, count);
    return received;
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

    scheduler loop{12};
    recorder watcher;
    std::unique_ptr<tcp_socket> socket;
    int peer = -1;
};

TEST_F(tcp_socket_test, the_socket_is_non_blocking) {
    EXPECT_TRUE(fcntl(socket->get_descriptor(), F_GETFL) & O_NONBLOCK);
}

TEST_F(tcp_socket_test, a_line_split_across_reads_comes_out_whole) {
    send("LGN \"a\"");
    socket->read();
    EXPECT_TRUE(watcher.lines.empty());
    send(" \"b\"\n");
    socket->read();
    EXPECT_EQ(watcher.lines, (std::vector<std::string>{"LGN \"a\" \"b\"\n"}));
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"read 7", "read 12"}));
    EXPECT_EQ(watcher.leftover, (std::vector<int>{7, 0}));
}

TEST_F(tcp_socket_test, lines_of_one_segment_come_in_order_with_carriage_returns_kept) {
    send("PNG\r\nTXT \"x\"\nrest");
    socket->read();
    EXPECT_EQ(watcher.lines, (std::vector<std::string>{"PNG\r\n", "TXT \"x\"\n"}));
    // The count goes down to the start of the incomplete line.
    EXPECT_EQ(watcher.leftover, (std::vector<int>{4}));
    EXPECT_EQ(socket->getline(nullptr), "");
}

TEST_F(tcp_socket_test, a_zero_byte_cuts_the_rest_of_its_read) {
    send(std::string("AB\0CD\n", 6));
    socket->read();
    send("E\n");
    socket->read();
    EXPECT_EQ(watcher.lines, (std::vector<std::string>{"ABE\n"}));
}

TEST_F(tcp_socket_test, one_read_takes_at_most_4095_bytes) {
    watcher.take_lines = false;
    send(std::string(5000, 'x'));
    socket->read();
    socket->read();
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"read 4095", "read 5000"}));
}

TEST_F(tcp_socket_test, nothing_to_read_is_silent_and_a_closed_peer_is_reported) {
    socket->read();
    EXPECT_TRUE(watcher.events.empty());
    close(peer);
    peer = -1;
    socket->read();
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"read_close"}));
}

TEST_F(tcp_socket_test, output_written_at_once_reports_a_flush) {
    socket->writen("CNT \"x\"\n");
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"flush"}));
    char buffer[32];
    EXPECT_EQ(::read(peer, buffer, sizeof buffer), 8);
    EXPECT_EQ(std::string(buffer, 8), "CNT \"x\"\n");
}

TEST_F(tcp_socket_test, pending_output_is_appended_and_flushed_in_order) {
    // More than the pair buffers, so the rest waits for the peer.
    std::string first(600000, 'a'), second(300000, 'b');
    first.back() = '1';
    second.back() = '2';
    socket->writen(first);
    ASSERT_GT(socket->pending_output(), 0u);
    // The second by reference, as a broadcast fragment is queued.
    socket->writen(std::make_shared<const std::string>(second));
    EXPECT_TRUE(watcher.events.empty());

    std::string received;
    std::thread reader([&] {
        char buffer[65536];
        ssize_t count;
        while (received.size() < first.size() + second.size() &&
               (count = ::read(peer, buffer, sizeof buffer)) > 0)
            received.append(buffer, count);
    });
    watcher.stop_on_flush = true;
    loop.run();
    reader.join();
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"flush"}));
    EXPECT_EQ(socket->pending_output(), 0u);
    EXPECT_TRUE(received == first + second);
    // The large buffer is given back once it is written.
    EXPECT_LE(socket->buffer_capacity(), 4096u);
}

TEST_F(tcp_socket_test, a_peer_that_takes_nothing_stalls_once_the_grace_is_over) {
    using namespace std::chrono_literals;
    const std::size_t limit = 100000;
    socket->writen(std::string(6 * limit, 'a'));  // the pair's buffers take a part
    ASSERT_GT(socket->pending_output(), limit);
    EXPECT_FALSE(socket->stalled(limit, 200ms));  // it took something just now
    std::this_thread::sleep_for(250ms);
    EXPECT_TRUE(socket->stalled(limit, 200ms));
    EXPECT_FALSE(socket->stalled(6 * limit, 200ms));  // not over that limit
    // Far beyond the limit, waiting is over at once; a fragment queued by
    // reference counts as often as it is owed, although it is held once.
    EXPECT_FALSE(socket->stalled(limit, std::chrono::hours(1)));
    const std::size_t owed = socket->pending_output(), held = socket->buffer_capacity();
    const auto fragment = std::make_shared<const std::string>(limit, 'b');
    for (int i = 0; i < 8; ++i) socket->writen(fragment);
    EXPECT_EQ(socket->pending_output(), owed + 8 * limit);
    EXPECT_TRUE(socket->stalled(limit, std::chrono::hours(1)));
    EXPECT_LT(socket->buffer_capacity() - held, limit / 10);
}

TEST_F(tcp_socket_test, output_of_one_pass_is_written_once_at_its_end) {
    std::vector<std::size_t> pending;
    watcher.reply = [&] {
        socket->writen("ADD \"a\"\n");
        socket->writen(std::make_shared<const std::string>("ADD \"b\"\n"));
        socket->writen("NRM\n");
        pending.push_back(socket->pending_output());
    };
    watcher.stop_on_flush = true;
    send("PNG\n");
    run_bounded(loop);
    // Nothing went out during the read; one write at the end took it all.
    EXPECT_EQ(pending, (std::vector<std::size_t>{20}));
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"read 4", "flush"}));
    socket.reset();
    EXPECT_EQ(read_to_end(peer), "ADD \"a\"\nADD \"b\"\nNRM\n");
}

TEST_F(tcp_socket_test, output_pending_when_the_socket_is_dropped_is_still_sent) {
    // An observer that answers and drops the connection in the same event.
    watcher.reply = [&] {
        socket->writen("HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n");
        socket.reset();
        scheduler::shutdown();
    };
    send("GET / HTTP/1.0\r\n\r\n");
    run_bounded(loop);
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"read 18"}));
    EXPECT_EQ(read_to_end(peer), "HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n");
}

TEST_F(tcp_socket_test, an_emptied_input_buffer_gives_back_its_memory) {
    watcher.take_lines = false;
    send(std::string(10000, 'x'));
    for (int i = 0; i < 3; ++i) socket->read();
    EXPECT_GT(socket->buffer_capacity(), 10000u);
    send("\n");
    socket->read();
    EXPECT_EQ(socket->getline(nullptr).size(), 10001u);
    EXPECT_LE(socket->buffer_capacity(), 4096u);
}

TEST_F(tcp_socket_test, writing_to_a_closed_peer_discards_the_output) {
    close(peer);
    peer = -1;
    socket->writen("lost\n");
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"write_close"}));
    EXPECT_EQ(socket->pending_output(), 0u);
}

TEST_F(tcp_socket_test, ticks_count_up_to_the_limit_until_reset) {
    for (int i = 0; i < 4; ++i) socket->timer();
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"timer", "timer", "time_out", "time_out"}));
    EXPECT_TRUE(socket->good(4));
    EXPECT_FALSE(socket->good(3));
    socket->reset_timer();
    EXPECT_TRUE(socket->good(0));
    watcher.events.clear();
    socket->set_maxtimer(1);
    socket->timer();
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"time_out"}));
}

TEST_F(tcp_socket_test, a_limit_of_zero_stops_ticks_and_raising_it_restarts_them) {
    scheduler quick(1);
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    recorder quiet, ticking;
    tcp_socket untimed(&quick, &quiet, fds[0], 0);
    tcp_socket timed(&quick, &ticking, fds[1], 2);
    timed.set_maxtimer(0);
    untimed.set_maxtimer(5);
    struct stopper : vorta::observer {
        void on_timer(vorta::communicator*) override { scheduler::shutdown(); }
    } stop;
    untimed.set_observer(&stop);
    quick.run();
    EXPECT_TRUE(ticking.events.empty());
    EXPECT_FALSE(untimed.good(0));
}

}  // namespace

// ---- a framed connection ------------------------------------------------------

namespace {

using test_support::close_payload;
using test_support::ws_frame;
using test_support::ws_text;
namespace opcode = test_support::opcode;

// What the peer has received so far, without waiting.
std::string read_now(int fd) {
    std::string received;
    char buffer[4096];
    ssize_t count;
    while ((count = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) received.append(buffer, count);
    return received;
}

TEST_F(tcp_socket_test, a_framed_connection_reads_the_lines_before_its_close_then_reports_it) {
    ASSERT_TRUE(socket->set_transport(std::make_unique<vorta::ws_transport>()));
    send(ws_text("HTB") + ws_text("TXT \"tsch\xC3\xBC\x73\"") + ws_frame(opcode::close, close_payload(1000)));
    socket->read();
    EXPECT_EQ(watcher.lines, (std::vector<std::string>{"HTB\n", "TXT \"tsch\xFCs\"\n"}));
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"read 17", "read_close"}));
    // The reply to the close waits for the peer's readiness.
    EXPECT_EQ(read_now(peer), "");
    watcher.stop_on_flush = true;
    run_bounded(loop);
    EXPECT_EQ(read_now(peer), ws_frame(opcode::close, close_payload(1000), test_support::unmasked()));
}

TEST_F(tcp_socket_test, an_observer_that_drops_a_framed_connection_while_reading_hears_no_more) {
    ASSERT_TRUE(socket->set_transport(std::make_unique<vorta::ws_transport>()));
    watcher.reply = [&] { socket.reset(); };
    send(ws_text("HTB") + ws_frame(opcode::close, close_payload(1000)));
    socket->read();
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"read 4"}));
}

TEST_F(tcp_socket_test, a_framed_connection_writes_lines_as_frames_and_closes_politely) {
    ASSERT_TRUE(socket->set_transport(std::make_unique<vorta::ws_transport>()));
    socket->writen("HTB");
    socket->writen("\n");
    socket.reset();
    EXPECT_EQ(read_to_end(peer), std::string("\x81\x03HTB") + "\x88\x02\x03\xE8");
}

TEST_F(tcp_socket_test, input_buffered_before_the_framing_is_taken_as_framed) {
    send("GET /chat/ws HTTP/1.1\r\n\r\n" + ws_text("HTB"));
    socket->read();
    ASSERT_EQ(watcher.lines, (std::vector<std::string>{"GET /chat/ws HTTP/1.1\r\n", "\r\n"}));
    ASSERT_EQ(socket->pending_input(), 9u);  // the masked frame
    ASSERT_TRUE(socket->set_transport(std::make_unique<vorta::ws_transport>()));
    EXPECT_EQ(socket->pending_input(), 4u);
    EXPECT_EQ(socket->getline(nullptr), "HTB\n");
}

TEST_F(tcp_socket_test, a_write_when_ready_waits_for_the_next_readiness) {
    socket->write_when_ready("chunk");
    EXPECT_EQ(read_now(peer), "");
    EXPECT_TRUE(watcher.events.empty());
    watcher.stop_on_flush = true;
    run_bounded(loop);
    EXPECT_EQ(read_now(peer), "chunk");
    EXPECT_EQ(watcher.events, (std::vector<std::string>{"flush"}));
}

// What a queue owes, as rows of pieces: a true `shared` piece is one fragment
// held by every queue of the row, the others are copied into pooled buffers.
struct queue_piece {
    std::string text;
    bool shared;
};
struct queue_row {
    const char* name;
    std::vector<queue_piece> pieces;
};

const queue_row queue_rows[] = {
    {"one fragment", {{"<b>alice:</b> hi<br>\n", true}}},
    {"small texts gather into one buffer", {{"HTB", false}, {"\n", false}, {" ", false}}},
    {"fragments between texts", {{"TXT ", false}, {"<i>x</i>", true}, {"\n", false}, {"<i>y</i>", true}}},
    {"a text longer than a pooled buffer", {{std::string(5000, 'l'), false}, {"end\n", false}}},
    {"a text of its own between fragments", {{"<i>x</i>", true}, {std::string(600, 'o'), false}, {"<i>y</i>", true}}},
    {"protocol lines between fragments", [] {
         std::vector<queue_piece> pieces;
         for (int i = 0; i < 100; ++i) {
             pieces.push_back({"ADD \"nick" + std::to_string(i) + "\"\n", false});
             pieces.push_back({"TXT \"<i>" + std::to_string(i) + "</i>\"\n", true});
         }
         return pieces;
     }()},
    {"more pieces than one write gathers", std::vector<queue_piece>(70, queue_piece{"f\n", true})},
};

// The queues of a row's recipients, all holding the same fragments.
struct recipients {
    explicit recipients(const queue_row& row, std::size_t count) : queues(count) {
        for (const queue_piece& piece : row.pieces) {
            auto fragment = std::make_shared<const std::string>(piece.text);
            if (piece.shared) fragments.push_back(fragment);
            expected += piece.text;
            for (auto& queue : queues) {
                if (piece.shared) {
                    queue.append(fragment);
                } else {
                    queue.append(piece.text);
                }
            }
        }
    }
    // How many queues still hold each fragment.
    std::vector<long> holders() const {
        std::vector<long> counts;
        for (const auto& fragment : fragments) counts.push_back(fragment.use_count() - 1);
        return counts;
    }
    std::vector<output_queue> queues;
    std::vector<std::shared_ptr<const std::string>> fragments;
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

TEST(output_queue_test, every_recipient_owes_the_same_bytes_at_every_offset_of_a_partial_write) {
    for (const queue_row& row : queue_rows) {
        recipients many(row, 100);
        // Held once, however many queues owe it.
        if (!many.fragments.empty()) {
            EXPECT_EQ(many.fragments.front().use_count(), 101) << row.name;
        }
        // The first recipient's peer takes one byte per write, the others
        // take everything at once.
        output_queue& slow = many.queues.front();
        for (std::size_t offset = 0; offset < many.expected.size(); ++offset) {
            ASSERT_EQ(slow.size(), many.expected.size() - offset) << row.name;
            ASSERT_EQ(owed(slow), many.expected.substr(offset)) << row.name << " at " << offset;
            slow.advance(1);
        }
        EXPECT_TRUE(slow.empty()) << row.name;
        for (std::size_t i = 1; i < many.queues.size(); ++i) {
            EXPECT_EQ(owed(many.queues[i]), many.expected) << row.name;
            many.queues[i].advance(many.expected.size());
        }
        EXPECT_EQ(many.holders(), std::vector<long>(many.fragments.size(), 0)) << row.name;
    }
}

TEST(output_queue_test, a_recipient_that_leaves_mid_write_keeps_the_fragments_of_the_others_intact) {
    for (const queue_row& row : queue_rows) {
        for (std::size_t offset = 0; offset <= row.pieces.front().text.size() + 1; ++offset) {
            recipients two(row, 2);
            // What the other one holds.
            std::vector<long> remaining = two.holders();
            for (long& holders : remaining) holders /= 2;
            two.queues.front().advance(offset);
            two.queues.front().clear();  // the session ends with its output half written
            EXPECT_EQ(two.holders(), remaining) << row.name;
            EXPECT_EQ(owed(two.queues.back()), two.expected) << row.name << " at " << offset;
        }
    }
}

TEST(output_queue_test, buffers_are_recycled_from_one_burst_to_the_next) {
    for (const queue_row& row : queue_rows) {
        const bool copies = std::any_of(row.pieces.begin(), row.pieces.end(), [](const queue_piece& piece) {
            return !piece.shared && piece.text.size() > output_queue::small_text &&
                   piece.text.size() <= output_queue::block;
        });
        std::size_t pooled = 0;
        for (int burst = 0; burst < 3; ++burst) {
            recipients many(row, 50);
            // What a queue holds for itself stays below what it owes, beside
            // the list of pieces.
            EXPECT_LT(many.queues.front().capacity(),
                      2 * many.expected.size() + output_queue::block + 100 * row.pieces.size())
                << row.name;
            for (output_queue& queue : many.queues) queue.advance(queue.size());
            // Every queue gave its buffer back, and the next burst took them again.
            if (copies) {
                EXPECT_GE(output_queue::pooled(), many.queues.size()) << row.name;
            }
            if (burst > 0) {
                EXPECT_EQ(output_queue::pooled(), pooled) << row.name;
            }
            pooled = output_queue::pooled();
        }
    }
}

TEST_F(tcp_socket_test, a_fragment_shared_by_many_connections_reaches_each_peer_byte_for_byte) {
    for (const queue_row& row : queue_rows) {
        recipients many(row, 1);
        std::vector<int> peers;
        std::vector<std::unique_ptr<tcp_socket>> sockets;
        for (int i = 0; i < 20; ++i) {
            int fds[2];
            ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
            peers.push_back(fds[1]);
            sockets.push_back(std::make_unique<tcp_socket>(&loop, &watcher, fds[0], 0));
            for (std::size_t p = 0, f = 0; p < row.pieces.size(); ++p) {
                if (row.pieces[p].shared) {
                    sockets.back()->writen(many.fragments[f++]);
                } else {
                    sockets.back()->writen(row.pieces[p].text);
                }
            }
        }
        sockets.clear();
        for (int fd : peers) {
            EXPECT_EQ(read_to_end(fd), many.expected) << row.name;
            close(fd);
        }
    }
}

}  // namespace
