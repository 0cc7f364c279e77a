#include "chat/html_pending.hpp"

#include "chat/manager.hpp"
#include "config/configuration.hpp"
#include "net/tcp_socket.hpp"
#include "program.hpp"
#include "util/c_util.hpp"

namespace vorta {

const std::string html_pending::redirect =
    "HTTP/1.1 302 OK\r\n"
    "Cache-Control: no-cache\r\n"
    "Pragma: no-cache\r\n"
    "Location: http://localhost/\r\n"
    "Server: vortachat/2.2\r\n"
    "Expires: 0\r\n"
    "\r\n";

const std::string html_pending::stream_head =
    "HTTP/1.1 302 OK\r\n"
    "Cache-Control: no-cache\r\n"
    "Connection: Keep-Alive\r\n"
    "Pragma: no-cache\r\n"
    "Server: vortachat/2.2\r\n"
    "Content-Type: text/html\r\n"
    "Expires: 0\r\n"
    "\r\n";

html_pending::html_pending(const int& fd, const std::string& peer_address)
    : socket(std::make_shared<tcp_socket>(&Scheduler, this, fd, max_ticks)), address(peer_address) {}

void html_pending::on_read(communicator* /*connection*/, int pending) {
    if (done) return;
    try {
        read_head(pending);
    } catch (const std::exception& error) {
        write_log(std::string("error: ") + error.what());
        done = true;
        Manager.remove(this);
    }
}

void html_pending::read_head(int pending) {
    for (;;) {
        const std::string line = socket->getline(&pending);
        if (line.empty()) {
            if (pending > max_line) {
                done = true;
                Manager.remove(this);
            }
            return;
        }
        if (line_count == 0) {
            address.set_intern(get_param(line, 0));
            random_id = get_param(line, 1);
            auth_code = get_param(line, 2);
        } else if (pending == 0 && (line == "\n" || line == "\r\n")) {
            done = true;
            address.set_extern(forwarded.resolve(address.external, Config.get(configuration::all_proxies)));
            Manager.add_html_socket(address, random_id, auth_code, user_agent, socket);
            Manager.remove(this);
            return;
        } else if (user_agent.empty() && line.size() >= 12 && nocase_equal(line.substr(0, 12), "User-Agent: ")) {
            user_agent = line.substr(12, line.find_first_of("\r\n", 12) - 12);
        } else {
            forwarded.add_header(line);
        }
        if (++line_count > max_lines) {
            done = true;
            Manager.remove(this);
            return;
        }
    }
}

void html_pending::on_time_out(communicator* /*connection*/) {
    if (done) return;
    done = true;
    Manager.remove(this);
}

void html_pending::on_read_close(communicator* /*connection*/) { on_time_out(nullptr); }

std::string html_pending::get_param(const std::string& line, int index) {
    std::string::size_type start = line.find('/');
    for (int k = 0; start != std::string::npos; ++k) {
        const std::string::size_type end = line.find('/', start + 1);
        if (end == std::string::npos) break;
        if (k == index) return hex_unescape(line.substr(start + 1, end - start - 1));
        start = end;
    }
    return std::string();
}

}  // namespace vorta
