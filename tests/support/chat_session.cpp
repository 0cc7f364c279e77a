#include "support/chat_session.hpp"

#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "chat/manager.hpp"
#include "chat/profile.hpp"
#include "chat/user.hpp"
#include "net/tcp_socket.hpp"
#include "program.hpp"
#include "util/c_util.hpp"

namespace test_support {

namespace {

// The applet's answer to a challenge.
constexpr long challenge_key = 0x3C96;

std::string quoted(const std::string& value) { return " \"" + vorta::c_escape(value) + "\""; }

// Everything the server has written to the applet so far.
std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t count;
    while ((count = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
        text.append(buffer, static_cast<std::size_t>(count));
    return text;
}

// Hands one applet line to the session through a connection of its own, as
// the event loop would on readiness.
void send_line(vorta::tcp_socket& feed, int feed_peer, const std::string& line) {
    const std::string framed = line + "\n";
    if (::write(feed_peer, framed.data(), framed.size()) != static_cast<ssize_t>(framed.size()))
        throw std::runtime_error("applet line not written");
    feed.read();
}

}  // namespace

chat_session::chat_session(const login_details& details) {
    int applet[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, applet) != 0) throw std::runtime_error("socketpair");
    applet_ = applet[1];
    user_ = Manager.add_user(applet[0], details.address);
    if (details.nickname.empty()) return;

    int feed_pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, feed_pair) != 0) throw std::runtime_error("socketpair");
    {
        vorta::tcp_socket feed(&Scheduler, user_, feed_pair[0], 0);
        send_line(feed, feed_pair[1],
                  "LGN" + quoted("vcp2") + quoted(details.nickname) + quoted("") + quoted(details.room) +
                      quoted("192.168.1.1") + quoted(details.user_agent) + quoted(details.referer) +
                      quoted("") + quoted("false"));
        const std::string output = drain(applet_);
        const auto start = output.find("CNT");
        if (start != std::string::npos) {
            const std::string line = output.substr(start, output.find('\n', start) - start);
            const long challenge = vorta::string_to_long(vorta::get_param(line, 3, " \"", '"'), 10);
            send_line(feed, feed_pair[1], "AUT" + quoted(vorta::long_to_string(challenge ^ challenge_key)));
        }
    }
    ::close(feed_pair[1]);
    drain(applet_);
}

chat_session::~chat_session() {
    Manager.remove(user_);
    Manager.end_of_pass();
    ::close(applet_);
}

bool chat_session::ok() const { return user_->get_room() != nullptr; }

void chat_session::load(const vorta::profile& record) const {
    user_->load_profile(record);
    drain(applet_);
}

}  // namespace test_support
