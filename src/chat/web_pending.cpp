#include "chat/web_pending.hpp"

#include <sys/socket.h>
#include <unistd.h>

#include "chat/manager.hpp"
#include "config/configuration.hpp"
#include "http/file_cache.hpp"
#include "http/http_response.hpp"
#include "http/ws_handshake.hpp"
#include "net/scheduler.hpp"
#include "net/tcp_socket.hpp"
#include "net/ws_transport.hpp"
#include "program.hpp"

namespace vorta {

namespace {

// Where the WebSocket is, below the chat's web path.
constexpr const char* socket_path = "ws";

// One thread serves every connection: one cache for all of them.
file_cache& cache() {
    static file_cache files;
    return files;
}

}  // namespace

// A zero byte in a request is refused like any other malformed byte, not cut off.
web_pending::web_pending(const int& fd, const std::string& peer_address)
    : socket(std::make_shared<tcp_socket>(&Scheduler, this, fd, max_ticks)), address(peer_address) {
    socket->keep_zero_bytes();
}

void web_pending::on_read(communicator* /*connection*/, int pending) {
    try {
        if (state == phase::reading) {
            read_head(pending);
        } else if (static_cast<std::size_t>(pending) > max_head) {
            // Nothing after the head is read; a peer that keeps sending is dropped.
            end();
        }
    } catch (const std::exception& error) {
        write_log(std::string("error: ") + error.what());
        end();
    }
}

void web_pending::read_head(int pending) {
    for (;;) {
        std::string line = socket->getline(&pending);
        if (line.empty()) {
            if (static_cast<std::size_t>(pending) > max_head - head_size)
                finish(http_response::error(line_count == 0 ? 414 : 431));
            return;
        }
        head_size += line.size();
        if (head_size > max_head || ++line_count > max_lines) {
            finish(http_response::error(431));
            return;
        }
        line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (request.method().empty()) {
            // Empty lines before the request line are tolerated.
            if (!line.empty() && !request.set_request_line(line)) {
                finish(http_response::error(400));
                return;
            }
        } else if (line.empty()) {
            ++requests;
            answer();
            return;
        } else if (!request.add_header(line)) {
            finish(http_response::error(400));
            return;
        } else {
            forwarded.add_header(line);
        }
    }
}

void web_pending::answer() {
    const std::string path = request.path();
    const std::string& webpath = Config.get(configuration::all_webpath);
    const bool head_only = request.method() == "HEAD";
    if (path == webpath + socket_path) {
        upgrade();
    } else if (request.method() != "GET" && !head_only) {
        finish(http_response::error(405, "Allow: GET, HEAD\r\n"));
    } else if (path.empty() || path.front() != '/') {
        finish(http_response::error(400, {}, !head_only));
    } else if ((path == "/" && webpath != "/") || path + "/" == webpath) {
        finish(http_response::head(path == "/" ? 302 : 301, "Location: " + webpath + "\r\nContent-Length: 0\r\n"));
    } else if (path.compare(0, webpath.size(), webpath) != 0) {
        finish(http_response::error(404, {}, !head_only));
    } else {
        file_store store(Config.get(configuration::file_www));
        file_store::found found = store.open(std::string_view(path).substr(webpath.size()), path);
        if (found.status == 200) {
            send_file(std::move(found));
        } else if (found.status == 301) {
            finish(http_response::head(301, "Location: " + found.location + "\r\nContent-Length: 0\r\n"));
        } else {
            finish(http_response::error(found.status, {}, !head_only));
        }
    }
}

void web_pending::upgrade() {
    ws_handshake::answer reply = ws_handshake::answer_to(request, Config.get(configuration::all_www));
    if (reply.status != 101) {
        finish(reply.response);
        return;
    }
    state = phase::done;
    socket->writen(reply.response);
    // Frames that came with the handshake belong to the session already.
    if (socket->set_transport(std::make_unique<ws_transport>()))
        Manager.add_ws_user(socket, forwarded.resolve(address, Config.get(configuration::all_proxies)));
    Manager.remove(this);
}

// HTTP/1.1 keeps a connection unless it says "close"; HTTP/1.0 only when it
// asks for it.
bool web_pending::keeps_alive() const {
    if (requests >= max_requests || input_ended || request.lists("Connection", "close")) return false;
    return request.version() == "HTTP/1.1" || request.lists("Connection", "keep-alive");
}

void web_pending::send_file(file_store::found found) {
    keep_alive = keeps_alive();
    std::string headers = "Content-Type: " + found.type + "\r\nContent-Length: " + std::to_string(found.size) +
                          "\r\nCache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\n";
    if (keep_alive && request.version() != "HTTP/1.1") headers += "Connection: keep-alive\r\n";
    // Head and contents leave in one write at the end of the pass.
    socket->writen(http_response::head(200, headers, keep_alive));
    if (request.method() == "HEAD" || found.size == 0) {
        state = phase::closing;
        return;
    }
    if (file_cache::text contents = cache().contents(found)) {
        socket->writen(contents);
        state = phase::closing;
        return;
    }
    file = std::move(found);
    offset = 0;
    state = phase::sending;
}

// Called when the previous chunk is out; the next one waits for the peer.
void web_pending::send_chunk() {
    std::string data(static_cast<std::size_t>(std::min<std::uint64_t>(chunk_size, file.size - offset)), '\0');
    const ssize_t count = pread(file.fd, data.data(), data.size(), static_cast<off_t>(offset));
    if (count <= 0) {
        // The file shrank or cannot be read: the peer sees a short answer.
        end();
        return;
    }
    data.resize(static_cast<std::size_t>(count));
    offset += static_cast<std::uint64_t>(count);
    if (offset >= file.size) {
        state = phase::closing;
        file = file_store::found();
    }
    socket->write_when_ready(data);
}

void web_pending::finish(const std::string& response) {
    state = phase::closing;
    socket->writen(response);
}

void web_pending::on_flush(communicator* /*connection*/) {
    socket->reset_timer();
    if (state == phase::sending) {
        send_chunk();
    } else if (state == phase::closing) {
        if (keep_alive) {
            next_request();
        } else {
            end();
        }
    }
}

void web_pending::next_request() {
    request = http_request();
    forwarded = forwarded_address();
    head_size = 0;
    line_count = 0;
    keep_alive = false;
    state = phase::reading;
    // Input is bounded while an answer goes out, so its size fits.
    if (socket->pending_input() > 0) read_head(static_cast<int>(socket->pending_input()));
    // A peer that sent its last request gets no more time to send another.
    if (state == phase::reading && input_ended) end();
}

void web_pending::on_time_out(communicator* /*connection*/) { end(); }

// A peer that shut down its sending side after the request still gets the
// answer; reading stops, since the end of input stays readable.
void web_pending::on_read_close(communicator* /*connection*/) {
    if (state == phase::sending || state == phase::closing) {
        input_ended = true;
        Scheduler.set_read(socket->get_descriptor(), false);
        return;
    }
    end();
}

void web_pending::on_write_close(communicator* /*connection*/) { end(); }

void web_pending::end() {
    if (state == phase::done) return;
    state = phase::done;
    // The socket closes only when the manager drops this object, at the end
    // of a later pass: the peer learns now that the answer is complete.
    if (socket->pending_output() == 0) ::shutdown(socket->get_descriptor(), SHUT_WR);
    Manager.remove(this);
}

}  // namespace vorta
