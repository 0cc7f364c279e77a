#pragma once
// A connection on the web port, from its requests to their answers. It reads
// an HTTP request head within bounds and answers it with a file of the
// client's directory (small files from memory, large ones in chunks as the
// peer takes them, so that a large file holds up no other connection), a
// redirect or a refusal, and then closes; after a file it may read the next
// request on the same connection (kept alive, a bounded number of times). For
// the WebSocket path it answers with the handshake, after which the manager
// makes a session on the connection, with the visitor's forwarded address
// when the peer is a trusted proxy.
#include <cstdint>
#include <memory>
#include <string>

#include "http/file_store.hpp"
#include "http/forwarded_address.hpp"
#include "http/http_request.hpp"
#include "net/observer.hpp"

namespace vorta {

class tcp_socket;

class web_pending : public observer {
public:
    // Most bytes of a request head, and most lines in it.
    static constexpr std::size_t max_head = 8192;
    static constexpr int max_lines = 100;
    // Ticks a request may take, and an answer may wait for the peer.
    static constexpr int max_ticks = 3;
    // Bytes of a file read and sent at a time.
    static constexpr std::size_t chunk_size = 64 * 1024;
    // Requests one kept-alive connection may make; the last answer closes it.
    static constexpr int max_requests = 100;

    web_pending(const int& fd, const std::string& peer_address);
    web_pending(const web_pending&) = delete;
    web_pending& operator=(const web_pending&) = delete;
    ~web_pending() override = default;

    void on_read(communicator* connection, int pending) override;
    void on_time_out(communicator* connection) override;
    void on_read_close(communicator* connection) override;
    void on_write_close(communicator* connection) override;
    void on_flush(communicator* connection) override;

private:
    enum class phase { reading, sending, closing, done };

    void read_head(int pending);
    // True when the peer may send another request after this file answer.
    bool keeps_alive() const;
    // Starts over with the next request, which may be buffered already.
    void next_request();
    void answer();
    void upgrade();
    void send_file(file_store::found found);
    void send_chunk();
    // Sends `response` and closes once it is out.
    void finish(const std::string& response);
    void end();

    std::shared_ptr<tcp_socket> socket;
    std::string address;
    http_request request;
    forwarded_address forwarded;
    std::size_t head_size = 0;
    int line_count = 0;
    phase state = phase::reading;
    file_store::found file;  // the file being sent
    std::uint64_t offset = 0;
    bool keep_alive = false;  // after the current answer, read the next request
    bool input_ended = false;
    int requests = 0;
};

}  // namespace vorta
