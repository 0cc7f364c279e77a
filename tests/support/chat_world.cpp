#include "support/chat_world.hpp"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "chat/manager.hpp"
#include "chat/profile.hpp"
#include "chat/user.hpp"
#include "config/configuration.hpp"
#include "net/scheduler.hpp"
#include "program.hpp"
#include "support/temp_dir.hpp"
#include "util/c_util.hpp"

namespace test_support {

namespace {

temp_dir& files() {
    static temp_dir dir;
    return dir;
}
std::string quoted(const std::string& value) { return " \"" + vorta::c_escape(value) + "\""; }

}  // namespace

void configure(const std::string& extra) {
    Config.reload(files().write(
        "vcd.conf",
        extra + "all.path = " + files().path() + "\nall.links = 1\nfile.log = vcd.log\n" +
            "file.welcome = welcome.html\nfile.permissions = ranks.conf\nfile.rooms = rooms.conf\n"
            "file.help = www.example.org/hilfe.html\nfile.kill = www.example.org/kill.html\n"
            "nick.min = 3\nnick.max = 12\nnick.color = 000000\n"
            // An absent limit reads as 0 and keeps nothing.
            "pwd.max = 15\nua.max = 100\nref.max = 100\ncomment.max = 100\nroom.max = 20\n"
            "photo.default = www.example.org/nophoto.gif\nphoto.width = 40\nphoto.height = 60\n"
            "photo.html = border=\"0\"\nbanner.width = 468\nbanner.height = 60\n"));
}

void chat_world() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    files().write("welcome.html", "<p>Willkommen</p>\n");
    files().write("ranks.conf",
                  "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\n"
                  "guard Wache 4 4 0 0 0 10 0 0 0 0 1\n"
                  "mod Moderator 4 4 0 0 0 50 0 15 0 0 1\n"
                  "warden Aufseher 4 4 0 0 0 20 0 30 0 2 0\n"
                  "boss Chef 8 8 1 1 1 60 1 60 1 24 1\n");
    files().write("rooms.conf", "Lobby Eingangshalle\nGarten\n");
    configure("");
    Manager.load_permissions(Config.get(vorta::configuration::file_permissions));
    Manager.load_rooms(Config.get(vorta::configuration::file_rooms));
    Scheduler.add_pass_end([] { Manager.end_of_pass(); });
    // Each step of a dialogue reads what it caused: here notices of arrivals
    // do not wait for the next ones.
    Scheduler.set_soon_ms(0);
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
    return std::to_string(vorta::string_to_long(challenge, 10) ^ 0x3C96);
}
std::string txt(const std::string& html) { return "TXT" + quoted(html); }
std::string del(const std::string& nickname) { return "DEL" + quoted(nickname); }

peer::peer(const std::string& address) {
    chat_world();
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return;
    fd_ = pair[0];
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    session_ = Manager.add_user(pair[1], address);
}

// A session that the chat removed (a kick, a vote, a kill) is gone already.
peer::~peer() {
    read_available();
    if (!eof_) {
        Manager.remove(session_);
        Manager.end_of_pass();
    }
    if (fd_ >= 0) close(fd_);
}

void peer::send(const std::string& line) {
    std::string framed = line + "\n";
    if (write(fd_, framed.data(), framed.size()) != static_cast<ssize_t>(framed.size())) eof_ = true;
}

void peer::read_available() {
    char buffer[65536];
    ssize_t count;
    while ((count = read(fd_, buffer, sizeof buffer)) > 0)
        input_.append(buffer, static_cast<std::size_t>(count));
    if (count == 0) eof_ = true;
}

lines_t peer::lines(bool wait) {
    if (wait) pump();
    read_available();
    lines_t result;
    std::string::size_type end;
    while ((end = input_.find('\n')) != std::string::npos) {
        result.push_back(input_.substr(0, end));
        input_.erase(0, end + 1);
    }
    return result;
}

bool peer::closed() {
    pump();
    read_available();
    return eof_;
}
std::string peer::shown(const vorta::message& m) const { return txt(session_->get_mode()->get(m)); }
bool peer::in_room() const { return session_->get_room() != nullptr; }

void peer::login(const login_details& details) {
    send("LGN" + quoted("vcp2") + quoted(details.nickname) + quoted("") + quoted(details.room) +
         quoted("192.168.1.2") + quoted(details.user_agent) + quoted(details.referer) + quoted("") +
         quoted("false"));
    std::string challenge;
    for (const std::string& line : lines())
        if (line.rfind("CNT ", 0) == 0) challenge = vorta::get_param(line, 3, " \"", '"');
    send("AUT" + quoted(answer(challenge)));
    lines();
}

void peer::load(const vorta::profile& record) {
    session_->load_profile(record);
    lines();
}

std::unique_ptr<peer> arrive(const std::string& nickname, const std::string& room,
                             const std::string& rank) {
    auto p = std::make_unique<peer>();
    if (rank != "visitor") {
        vorta::profile ranked(nickname);
        ranked.set_id(p->session()->get_id());  // a guest still
        ranked.set_rank(rank);
        ranked.set_colour("000000");
        p->load(ranked);
    }
    p->login(nickname, room);
    return p;
}

// Messages that name a session the step ended keep what they showed before.
void play(const std::vector<peer*>& scene, const std::vector<step>& script) {
    for (const step& s : script) {
        SCOPED_TRACE(s.who->session()->get_nickname() + " types " + s.line);
        std::vector<std::vector<std::pair<expected, std::string>>> wanted(scene.size());
        for (const auto& [p, lines] : s.seen) {
            const auto at = std::find(scene.begin(), scene.end(), p);
            ASSERT_NE(at, scene.end());
            for (expected e : lines) {
                if (e.rendered && e.m.second_user == nullptr) e.m.second_user = p->session();
                wanted[at - scene.begin()].emplace_back(e, e.rendered ? p->shown(e.m) : e.line);
            }
        }
        s.who->send(txt(s.line));
        pump();
        std::vector<lines_t> got;
        std::vector<vorta::user*> ended;
        for (peer* p : scene) {
            got.push_back(p->lines(false));
            if (p->ended()) ended.push_back(p->session());
        }
        const auto lives = [&ended](vorta::user* u) { return std::find(ended.begin(), ended.end(), u) == ended.end(); };
        for (std::size_t i = 0; i < scene.size(); ++i) {
            lines_t lines;
            for (const auto& [e, before] : wanted[i]) {
                const bool now = e.rendered && lives(scene[i]->session()) && lives(e.m.first_user) &&
                                 lives(e.m.second_user);
                lines.push_back(now ? scene[i]->shown(e.m) : before);
            }
            EXPECT_EQ(got[i], lines) << i;
        }
    }
}

seen_t each(const std::vector<peer*>& peers, const std::vector<expected>& lines) {
    seen_t seen;
    for (peer* p : peers) seen.emplace_back(p, lines);
    return seen;
}

void drain(const std::vector<peer*>& scene) {
    pump();
    for (peer* p : scene) p->lines(false);
}

}  // namespace test_support
