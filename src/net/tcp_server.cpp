#include "net/tcp_server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "net/c_error.hpp"
#include "net/observer.hpp"
#include "net/scheduler.hpp"

namespace vorta {

namespace {

// Errors that concern one pending connection, not the listener: the peer went
// away, or the network reported a failure that belongs to that connection.
bool transient(int error) {
    switch (error) {
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EINTR:
        case EPROTO:
        case ECONNABORTED:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
            return true;
        default:
            return false;
    }
}

bool shortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

}  // namespace

tcp_server::tcp_server(scheduler* owner, observer* watcher, const std::string& /*host*/, const std::string& port)
    : server(owner, watcher) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<std::uint16_t>(std::atol(port.c_str())));

    descriptor_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (descriptor_ < 0) throw system_error();
    int on = 1;
    int flags = 0;
    // A queue of 5 pending connections drops arrivals during a burst of
    // visitors; take what the system allows.
    if (setsockopt(descriptor_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(descriptor_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(descriptor_, SOMAXCONN) != 0 || (flags = fcntl(descriptor_, F_GETFL)) < 0 ||
        fcntl(descriptor_, F_SETFL, flags | O_NONBLOCK) != 0) {
        c_error error = system_error();
        ::close(descriptor_);
        throw error;
    }
    if (!scheduler_->reg(descriptor_, this, false)) {
        ::close(descriptor_);
        throw c_error("tcp_server could not register sock");
    }
}

tcp_server::~tcp_server() {
    scheduler_->unreg(descriptor_);
    ::close(descriptor_);
}

void tcp_server::read() {
    // A burst of visitors is taken in one go, so that their log-ins share the
    // passes of the loop; the cap keeps the other connections served.
    for (int taken = 0; taken < accepts_per_readiness; ++taken) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        int fd = ::accept(descriptor_, reinterpret_cast<sockaddr*>(&peer), &length);
        if (fd < 0) {
            int error = errno;
            if (transient(error)) return;
            if (!shortage(error)) throw system_error();
            scheduler_->pause_read(descriptor_);
            if (!starved_) {
                starved_ = true;
                observer_->on_accept_failed(this, std::strerror(error));
            }
            return;
        }
        starved_ = false;
        std::string address = peer.sin_family == AF_INET ? inet_ntoa(peer.sin_addr) : "";
        observer_->on_accept(this, fd, address);
    }
}

}  // namespace vorta
