#pragma once
// A browser connection on the stream port that is still sending its request.
// It reads the request head within bounds, takes the client's internal
// address, random id and challenge answer from the request path and hands the
// connection to the manager, which binds it to its session. Behind a trusted
// proxy the visitor's forwarded address stands for the peer's.
#include <memory>
#include <string>

#include "chat/ip.hpp"
#include "http/forwarded_address.hpp"
#include "net/observer.hpp"

namespace vorta {

class tcp_socket;

class html_pending : public observer {
public:
    // Longest request line or header line, line feed excluded, that is read.
    static constexpr int max_line = 2048;
    // Most lines read before the head must be complete.
    static constexpr int max_lines = 50;
    // Ticks the request may take.
    static constexpr int max_ticks = 3;

    html_pending(const int& fd, const std::string& peer_address);
    html_pending(const html_pending&) = delete;
    html_pending& operator=(const html_pending&) = delete;
    ~html_pending() override = default;

    void on_read(communicator* connection, int pending) override;
    void on_time_out(communicator* connection) override;
    void on_read_close(communicator* connection) override;

    // The index-th "/"-delimited segment of a request line, percent-decoded;
    // every segment must be followed by a "/", else it is empty.
    static std::string get_param(const std::string& line, int index);

    // The answer for a request that names no session: "302 OK" to the home page.
    static const std::string redirect;
    // The head of the streamed chat page, before its body.
    static const std::string stream_head;

private:
    void read_head(int pending);

    std::shared_ptr<tcp_socket> socket;
    ip address;
    std::string random_id;
    std::string auth_code;
    std::string user_agent;  // as the browser sent it; escaped where it reaches HTML
    forwarded_address forwarded;
    signed char line_count = 0;
    bool done = false;
};

}  // namespace vorta
