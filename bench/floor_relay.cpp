#include "floor_relay.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace vorta_bench {

namespace {

volatile std::sig_atomic_t stop = 0;

struct peer {
    int fd = -1;
    int room = -1;
    std::string in;
    std::string out;  // gathered during a pass, or not taken yet
    bool polling = false;
    bool due = false;  // listed in `due` for the end of the pass
};

// Writes what waits; the rest waits for readiness.
void flush(int poller, peer& p) {
    ssize_t n = ::send(p.fd, p.out.data(), p.out.size(), MSG_NOSIGNAL);
    if (n > 0) p.out.erase(0, static_cast<std::size_t>(n));
    if (p.out.empty() == p.polling) return;
    p.polling = !p.out.empty();
    epoll_event ev{};
    ev.events = EPOLLIN | (p.polling ? EPOLLOUT : 0u);
    ev.data.fd = p.fd;
    epoll_ctl(poller, EPOLL_CTL_MOD, p.fd, &ev);
}

}  // namespace

void floor_relay(int listener, std::size_t line_size) {
    std::signal(SIGTERM, [](int) { stop = 1; });
    int poller = epoll_create1(0);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = listener;
    epoll_ctl(poller, EPOLL_CTL_ADD, listener, &ev);
    std::vector<peer> peers;  // by descriptor
    std::map<int, std::vector<int>> rooms;
    std::vector<int> due;
    std::vector<epoll_event> ready(1024);
    char buffer[65536];
    while (stop == 0) {
        int count = epoll_wait(poller, ready.data(), static_cast<int>(ready.size()), 100);
        for (int i = 0; i < count; ++i) {
            int fd = ready[static_cast<std::size_t>(i)].data.fd;
            if (fd == listener) {
                int client = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
                if (client < 0) continue;
                int on = 1;  // as the daemon does
                setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                if (peers.size() <= static_cast<std::size_t>(client)) peers.resize(static_cast<std::size_t>(client) + 1);
                peers[static_cast<std::size_t>(client)].fd = client;
                ev.events = EPOLLIN;
                ev.data.fd = client;
                epoll_ctl(poller, EPOLL_CTL_ADD, client, &ev);
                continue;
            }
            peer& p = peers[static_cast<std::size_t>(fd)];
            if ((ready[static_cast<std::size_t>(i)].events & EPOLLOUT) != 0) flush(poller, p);
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) continue;
            p.in.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; (end = p.in.find('\n')) != std::string::npos; p.in.erase(0, end + 1)) {
                if (p.in.compare(0, 4, "LGN ") == 0) {
                    p.room = std::atoi(p.in.c_str() + 4);
                    rooms[p.room].push_back(fd);
                    p.out += "LGN\n";
                    flush(poller, p);
                    continue;
                }
                std::string line = p.in.substr(0, end);
                if (line.size() + 1 < line_size) line.append(line_size - 1 - line.size(), ' ');
                line += '\n';
                for (int member : rooms[p.room]) {
                    peer& m = peers[static_cast<std::size_t>(member)];
                    m.out += line;
                    if (!m.due && !m.polling) due.push_back(member);
                    m.due = true;
                }
            }
        }
        // One write per recipient and pass.
        for (int fd : due) {
            peer& p = peers[static_cast<std::size_t>(fd)];
            p.due = false;
            flush(poller, p);
        }
        due.clear();
    }
    for (peer& p : peers)
        if (p.fd >= 0) ::close(p.fd);
    ::close(poller);
}

}  // namespace vorta_bench
