#include "net/tcp_socket.hpp"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "net/c_error.hpp"
#include "net/observer.hpp"
#include "net/scheduler.hpp"
#include "net/transport.hpp"

namespace vorta {

namespace {

// An input buffer above this size is given back once it is empty, so that idle
// connections do not keep the high-water mark of their busiest moment.
constexpr std::size_t kept_capacity = 4096;

void release_if_large(std::string& buffer) {
    if (buffer.empty() && buffer.capacity() > kept_capacity) std::string().swap(buffer);
}

int clamped(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

}  // namespace

tcp_socket::tcp_socket(scheduler* owner, observer* watcher, const int& descriptor, const int& maxtimer)
    : socket(owner, watcher, descriptor, maxtimer != 0), maxtimer_(maxtimer) {
    int flags = fcntl(descriptor_, F_GETFL);
    if (flags < 0 || fcntl(descriptor_, F_SETFL, flags | O_NONBLOCK) < 0) throw system_error();
}

tcp_socket::~tcp_socket() {
    if (transport_) {
        std::string wire;
        transport_->close(wire);
        output_.append(wire);
    }
    // Output written just before the connection is dropped (a redirect, a
    // farewell) still has a chance to leave; what the peer does not take is
    // lost. One `sendmsg` gathers a limited number of pieces: repeat while the
    // peer takes them.
    while (!output_.empty() && output_.send(descriptor_, MSG_NOSIGNAL | MSG_DONTWAIT) > 0) {
    }
}

void tcp_socket::timer() {
    ++ticks_;
    if (ticks_ < maxtimer_) {
        observer_->on_timer(this);
    } else {
        observer_->on_time_out(this);
    }
}

void tcp_socket::set_maxtimer(int maxtimer) {
    if ((maxtimer_ == 0) != (maxtimer == 0)) scheduler_->set_timer(descriptor_, maxtimer != 0);
    maxtimer_ = maxtimer;
}

void tcp_socket::read() {
    char buffer[4096];
    ssize_t count;
    do {
        count = ::read(descriptor_, buffer, sizeof buffer - 1);
    } while (count < 0 && errno == EINTR);
    if (count == 0) {
        observer_->on_read_close(this);
        return;
    }
    if (count < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        observer_->on_read_close(this);
        return;
    }
    if (transport_) {
        receive_framed(std::string_view(buffer, static_cast<std::size_t>(count)));
        return;
    }
    // A zero byte ends what this read contributes, unless it is kept.
    const auto size = static_cast<std::size_t>(count);
    input_.append(buffer, keep_zero_bytes_ ? size : strnlen(buffer, size));
    observer_->on_read(this, clamped(input_.size()));
}

bool tcp_socket::set_transport(std::unique_ptr<transport> framing) {
    transport_ = std::move(framing);
    if (input_.empty()) return true;
    std::string bytes;
    bytes.swap(input_);
    std::string wire;
    const bool open = transport_->decode(bytes, input_, wire);
    queue(wire, scheduler_->in_pass() ? due::pass_end : due::ready);
    return open;
}

// Lines that came before the end of the connection are read first; the end is
// reported only when the observer kept the socket alive through them.
void tcp_socket::receive_framed(std::string_view bytes) {
    const std::size_t before = input_.size();
    std::string wire;
    const bool open = transport_->decode(bytes, input_, wire);
    // Outside a pass a reply waits for readiness, so that no event comes
    // before the ones below.
    queue(wire, scheduler_->in_pass() ? due::pass_end : due::ready);
    if (input_.size() > before) {
        std::weak_ptr<transport> alive = transport_;
        observer_->on_read(this, clamped(input_.size()));
        if (open || alive.expired()) return;
    } else if (open) {
        return;
    }
    observer_->on_read_close(this);
}

std::string tcp_socket::getline(int* remaining) {
    std::size_t end = input_.find('\n');
    if (end == std::string::npos) return std::string();
    std::string line = input_.substr(0, end + 1);
    input_.erase(0, end + 1);
    release_if_large(input_);
    if (remaining != nullptr) *remaining -= static_cast<int>(line.size());
    return line;
}

void tcp_socket::writen(std::string_view text) { put(text, due::pass_end); }

void tcp_socket::write_when_ready(std::string_view text) { put(text, due::ready); }

void tcp_socket::put(std::string_view text, due when) {
    if (!transport_) {
        queue(text, when);
        return;
    }
    std::string wire;
    transport_->encode(text, wire);
    queue(wire, when);
}

void tcp_socket::writen(const output_queue::shared_text& text) {
    if (text != nullptr) writen(text, *text);
}

void tcp_socket::writen(const std::shared_ptr<const void>& owner, std::string_view bytes) {
    if (owner == nullptr || bytes.empty()) return;
    if (transport_) {
        put(bytes, due::pass_end);
        return;
    }
    const bool waiting = !output_.empty();
    output_.append(owner, bytes);
    schedule(due::pass_end, waiting);
}

void tcp_socket::writen_soon(const output_queue::shared_text& text) {
    if (text == nullptr || text->empty()) return;
    if (transport_) {
        put(*text, due::soon);
        return;
    }
    const bool waiting = !output_.empty();
    output_.append(text, *text);
    schedule(due::soon, waiting);
}

void tcp_socket::queue(std::string_view bytes, due when) {
    if (bytes.empty()) return;
    const bool waiting = !output_.empty();
    output_.append(bytes);
    schedule(when, waiting);
}

void tcp_socket::schedule(due when, bool waiting) {
    // Output that waits already is due at the end of the pass or when the peer
    // is ready again, unless it only waits to go soon.
    if (waiting && !(waiting_soon_ && when == due::pass_end)) return;
    if (!waiting) {
        // With nothing waiting, progress_ is the time of the last write.
        const std::int64_t now = scheduler_->clock_ms();
        const bool recent = now - progress_ < scheduler_->soon_ms();
        progress_ = now;
        if (when == due::soon && recent && scheduler_->in_pass()) {
            waiting_soon_ = true;
            scheduler_->flush_soon(descriptor_);
            return;
        }
    }
    waiting_soon_ = false;
    if (when == due::ready) {
        scheduler_->set_write(descriptor_);
    } else if (scheduler_->in_pass()) {
        scheduler_->flush_later(descriptor_);
    } else {
        send_output();
    }
}

// Called by the scheduler when the descriptor is writable or at the end of a
// pass; with nothing pending (the rest went out meanwhile) there is no event.
void tcp_socket::write() {
    if (!output_.empty()) send_output();
}

bool tcp_socket::stalled(std::size_t limit, std::chrono::milliseconds grace) const {
    const std::size_t waiting = pending_output();
    if (waiting <= limit) return false;
    return waiting > 8 * limit || scheduler_->clock_ms() - progress_ > grace.count();
}

void tcp_socket::send_output() {
    waiting_soon_ = false;
    while (!output_.empty()) {
        // MSG_NOSIGNAL: a closed peer is an error to report, never a signal.
        const ssize_t count = output_.send(descriptor_, MSG_NOSIGNAL);
        if (count > 0) {
            progress_ = scheduler_->clock_ms();
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            scheduler_->set_write(descriptor_);
            return;
        }
        output_.clear();
        observer_->on_write_close(this);
        return;
    }
    observer_->on_flush(this);
}

}  // namespace vorta
