#include "support/chat_world.hpp"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "chat/manager.hpp"
#include "config/configuration.hpp"
#include "net/scheduler.hpp"
#include "program.hpp"
#include "support/temp_dir.hpp"
#include "util/c_util.hpp"

namespace test_support {

void chat_world() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    static temp_dir dir;
    dir.write("welcome.html", "<p>Willkommen</p>\n");
    dir.write("ranks.conf",
              "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\n"
              "mod Moderator 8 8 1 1 1 50 1 60 1 24 1\n");
    dir.write("rooms.conf", "Lobby Der Treffpunkt\nKeller\n");
    Config.load(dir.write("vcd.conf", "all.path = " + dir.path() +
                                          "\n"
                                          "file.welcome = welcome.html\n"
                                          "file.permissions = ranks.conf\n"
                                          "file.rooms = rooms.conf\n"
                                          "nick.min = 3\nnick.max = 12\nnick.color = 000000\n"
                                          "pwd.max = 15\nua.max = 40\ncomment.max = 40\nref.max = 40\n"
                                          "room.max = 20\nfile.log = vcd.log\n"));
    Manager.load_permissions(Config.get(vorta::configuration::file_permissions));
    Manager.load_rooms(Config.get(vorta::configuration::file_rooms));
    Scheduler.add_pass_end([] { Manager.end_of_pass(); });
}

void pump(std::chrono::milliseconds slice) {
    vorta::scheduler::Active = true;
    std::thread stopper([slice] {
        std::this_thread::sleep_for(slice);
        vorta::scheduler::shutdown();
    });
    Scheduler.run();
    stopper.join();
}

std::string answer(const std::string& challenge) {
    return std::to_string(std::stol(challenge) ^ 0x3C96);
}

peer::peer(const std::string& address) {
    chat_world();
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return;
    fd_ = pair[0];
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    session_ = Manager.add_user(pair[1], address);
}

peer::~peer() {
    if (fd_ >= 0) close(fd_);
    pump();
}

void peer::send(const std::string& line) {
    std::string framed = line + "\n";
    if (write(fd_, framed.data(), framed.size()) != static_cast<ssize_t>(framed.size())) eof_ = true;
}

void peer::receive() {
    pump();
    char buffer[65536];
    ssize_t count;
    while ((count = read(fd_, buffer, sizeof buffer)) > 0) input_.append(buffer, static_cast<std::size_t>(count));
    if (count == 0) eof_ = true;
}

std::vector<std::string> peer::lines() {
    receive();
    std::vector<std::string> result;
    std::string::size_type end;
    while ((end = input_.find('\n')) != std::string::npos) {
        result.push_back(input_.substr(0, end));
        input_.erase(0, end + 1);
    }
    return result;
}

bool peer::closed() {
    receive();
    return eof_;
}

void peer::login(const std::string& nickname, const std::string& room) {
    send("LGN \"vcp2\" \"" + nickname + "\" \"\" \"" + room + "\" \"192.168.1.2\" \"agent\" \"http://page/\" \"\" \"\"");
    for (const std::string& line : lines()) {
        if (line.rfind("CNT ", 0) != 0) continue;
        random_id_ = vorta::get_param(line, 2, " \"", '"');
        challenge_ = vorta::get_param(line, 3, " \"", '"');
    }
    send("AUT \"" + answer(challenge_) + "\"");
    lines();
}

}  // namespace test_support
