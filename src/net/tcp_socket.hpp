#pragma once
// A buffered, line-oriented, non-blocking TCP connection. Input is read in
// chunks of at most 4095 bytes per readiness and taken out line by line.
// Output produced during a pass of the event loop is gathered and written once
// at the end of the pass; outside a pass it is written at once. What the peer
// does not take waits until it is ready again. A text shared by many
// connections is queued by reference, not copied. A tick counter with a limit
// tells the observer when the connection has been quiet for too long.
//
// Every event is the last thing the operation that sends it does, so the
// observer may destroy the socket from inside any event. Neither buffer is
// bounded here: observers bound them with `pending_output` and the size that
// `on_read` reports.
//
// A transport, once set, frames both directions: the observer still reads
// and writes lines, and never sees the bytes on the wire.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/output_queue.hpp"
#include "net/socket.hpp"

namespace vorta {

class transport;

class tcp_socket : public socket {
public:
    // A tick limit of 0 means the connection gets no ticks.
    tcp_socket(scheduler* owner, observer* watcher, const int& descriptor, const int& maxtimer);
    // Makes one last attempt, without waiting, to send what is pending.
    ~tcp_socket() override;

    void timer() override;
    void read() override;
    void write() override;

    void reset_timer() { ticks_ = 0; }
    void set_maxtimer(int maxtimer);
    // True while no more than `limit` ticks passed since the last reset.
    bool good(int limit) const { return ticks_ <= limit; }

    // Queues `text` behind what is pending; during a pass the write comes at
    // the end of the pass, outside one it is made at once.
    void writen(std::string_view text);
    // The same for a text that stays unchanged while it is queued: without a
    // transport the socket keeps a reference to it instead of a copy.
    void writen(const output_queue::shared_text& text);
    // The same for bytes that `owner` keeps valid and unchanged.
    void writen(const std::shared_ptr<const void>& owner, std::string_view bytes);
    // Queues `text` as writen does, but on a connection that wrote less than
    // the scheduler's `soon_ms` ago lets it wait that long for company: notices
    // that come in bursts, like arrivals in a crowded room, then leave in a
    // few writes instead of one each. Output queued with writen meanwhile
    // takes it along at the end of the pass.
    void writen_soon(const output_queue::shared_text& text);
    // Queues `text` as writen does, but writes only when the descriptor next
    // reports ready: a producer that refills on `on_flush` lets the loop serve
    // the other connections between two of its chunks.
    void write_when_ready(std::string_view text);
    // From now on `framing` turns the bytes on the wire into lines and back;
    // input already buffered is taken as framed. False when that input ends
    // the connection.
    bool set_transport(std::unique_ptr<transport> framing);
    // True when a transport frames each text written: a text then has to be
    // written whole.
    bool framed() const { return transport_ != nullptr; }
    // Takes the first complete line, line feed included, out of the input
    // buffer and subtracts its length from *remaining; empty when no line is
    // complete.
    std::string getline(int* remaining);

    // From now on a zero byte is input like any other; by default it ends
    // what the read that brought it contributes.
    void keep_zero_bytes() { keep_zero_bytes_ = true; }
    // Bytes of input not yet taken by getline.
    std::size_t pending_input() const { return input_.size(); }
    // Bytes accepted by writen and not yet written.
    std::size_t pending_output() const { return output_.size(); }
    // True when more than `limit` bytes wait and the peer has taken nothing
    // for longer than `grace`, or when more than eight times `limit` wait: a
    // peer that stopped reading, as opposed to one that is busy with a burst.
    bool stalled(std::size_t limit, std::chrono::milliseconds grace) const;
    // Bytes the buffers hold reserved, used or not.
    std::size_t buffer_capacity() const { return output_.capacity() + input_.capacity(); }

private:
    // When queued output is written: at once outside a pass, else at the end
    // of the pass; soon (see writen_soon); or when the descriptor is ready.
    enum class due { pass_end, soon, ready };

    // Frames `text` when there is a transport, then queues it.
    void put(std::string_view text, due when);
    // Appends bytes for the wire.
    void queue(std::string_view bytes, due when);
    // Arranges the write of output just queued behind `waiting` bytes.
    void schedule(due when, bool waiting);
    // Hands bytes from the peer to the transport and reports what they gave.
    void receive_framed(std::string_view bytes);
    void send_output();

    int maxtimer_;
    int ticks_ = 0;
    output_queue output_;
    // When the peer last took output, or output began to wait, on the
    // scheduler's clock.
    std::int64_t progress_ = 0;
    // What waits goes only when the scheduler releases the soon writes.
    bool waiting_soon_ = false;
    std::string input_;
    bool keep_zero_bytes_ = false;
    // Shared only so that an event can tell whether the observer destroyed
    // the socket meanwhile.
    std::shared_ptr<transport> transport_;
};

}  // namespace vorta
