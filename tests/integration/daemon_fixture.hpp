#pragma once
// The real daemon with a known configuration, started for one test in the
// test's private network namespace, the visitors who log in to it, and the
// fragments of the two looks the tests meet, built from their templates.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/chat_client.hpp"
#include "support/daemon.hpp"
#include "support/temp_dir.hpp"

namespace daemon_support {

using namespace test_support;

inline const std::string blue = "0000FF", lobby_subject = "Willkommen im Chat";
// The welcome file is read with its line breaks removed.
inline const std::string welcome_text =
    "<div class=\"welcome\"><p>Willkommen im Chat, sch&ouml;n dass du da bist. Tipp: '.help'</p></div>";
inline const std::string banned_html =
    "<div class=\"msgIpBanned\">Der von dir benutzte Computer ist f&uuml;r den Chat gesperrt.</div>";
inline std::string http_302(const std::string& headers) {
    return "HTTP/1.1 302 OK\r\nCache-Control: no-cache\r\n" + headers + "Expires: 0\r\n\r\n";
}
inline const std::string home_redirect =
    http_302("Pragma: no-cache\r\nLocation: http://localhost/\r\nServer: vortachat/2.2\r\n");
inline const std::string stream_head = http_302(
    "Connection: Keep-Alive\r\nPragma: no-cache\r\nServer: vortachat/2.2\r\nContent-Type: text/html\r\n");

inline std::string txt(const std::string& html) { return proto_line("TXT", {html}); }
inline std::string div(const std::string& css_class, const std::string& body) {
    return "<div class=\"" + css_class + "\">" + body + "</div>";
}
inline std::string quit(const std::string& nick) { return div("actionQuit", nick + " verl&auml;sst den Chat."); }
inline std::string room_go(const std::string& nick, const std::string& room) {
    return div("roomGo", nick + " wechselt in den Raum " + room + ".");
}
// The answer to a command without its words: its syntax.
inline std::string syntax(const std::string& css_class, const std::string& what, const std::string& usage) {
    return div(css_class, "Syntax zum " + what + ":<br>" + usage);
}
// The room list line for the newcomer: the room, then every member.
inline std::string nrm(const std::string& room, std::vector<std::string> members) {
    members.insert(members.begin(), room);
    return proto_line("NRM", members);
}

// The fragments of the icon look that new visitors start with, or of the
// plain look. Nobody marks anybody: every chat line carries the button that
// would mark its speaker.
struct look_of {
    bool icons;

    std::string button(const std::string& name, const std::string& alt, const std::string& size,
                       const std::string& command, const std::string& extra) const {
        if (!icons) return "";
        const auto call = [&name](const std::string& what, const std::string& rest) {
            return " " + what + "=\"on_icon_" + rest + "(this, '" + name + "'";
        };
        return "<img src=\"http://static.test/" + name + ".gif\" alt=\"" + alt + "\" " + size +
               call("onmousedown", "click") + ", '" + c_escape(command) + "');\"" + call("onmouseover", "over") +
               ");\"" + call("onmouseout", "out") + ");\" " + extra + "> ";
    }
    std::string info(const std::string& command) const {
        return button("info", "Informationen anzeigen", "width=\"11\" height=\"13\"", command, "border=\"0\"");
    }
    std::string speaker(const std::string& nick) const {
        return info(".u " + nick) +
               button("unmark", "Nicht markiert", "width=\"9\" height=\"10\"", ".m " + nick, "class=\"unmark\"");
    }
    std::string say(const std::string& nick, const std::string& text, const std::string& colour = blue) const {
        return speaker(nick) + "<span class=\"internSay\">" + nick +
               ":</span> <span class=\"actionSay\" style=\"color:#" + colour + ";\">" + text + "</span><br>";
    }
    std::string me(const std::string& nick, const std::string& text) const {
        return speaker(nick) + "<span class=\"internMe\">" + nick + "</span> <span class=\"actionMe\">" + text +
               "</span><br>";
    }
    std::string enter(const std::string& nick) const {
        return div("actionEnter", info(".u " + nick) + nick + " betritt den Chat.");
    }
    std::string hello(const std::string& nick) const {
        return div("roomHello", info(".u " + nick) + nick + " betritt den Raum.");
    }
    std::string room_change(const std::string& room) const {
        return div("roomChange", "Du befindest dich nun im Raum " + info(".r " + room) + room + ".");
    }
    std::string room_info(const std::string& room, const std::string& subject,
                          const std::vector<std::string>& members) const {
        std::string html = "Raum&uuml;bersicht:<br>" + room + " [" + std::to_string(members.size()) +
                           " User; Demokratie]" + (subject.empty() ? "" : "<br>Thema: " + subject);
        for (std::size_t i = 0; i < members.size(); ++i)
            html += (i ? ", " : "<br>User: ") + info(".u " + members[i]) + members[i];
        return div("roomInfo", html);
    }
};
inline const look_of look{true}, plain{false};

// One logged-in visitor: the applet and, when asked for, the browser stream.
struct visitor {
    std::string nickname;
    applet app;
    std::unique_ptr<browser> web;
    std::vector<std::string> arrival;  // the applet's lines of the log-in, up to "NRM"

    // A message for this visitor: on the stream when there is one, else as a "TXT" line.
    testing::AssertionResult expect_html(const std::string& html) {
        return web ? web->expect_next(html) : app.expect_html(html);
    }
    void say(const std::string& text) { app.send_text(text); }
};

// What one visitor must receive next, line by line (HTML in "TXT" lines).
struct sight {
    visitor* who;
    std::vector<std::string> lines;
};
// One line typed by `actor` and what it shows to whom.
struct step {
    visitor* actor;
    std::string line;
    std::vector<sight> seen;
};
// A line whose answer its typist alone sees.
inline step ask(visitor* v, const std::string& line, const std::string& answer) { return {v, line, {{v, {answer}}}}; }

class vcd_daemon : public ::testing::Test {
protected:
    void SetUp() override {
        bring_loopback_up();
        dir.write("permissions.conf", ranks());
        dir.write("rooms.conf", "# rooms\nLobby " + lobby_subject + "\nTechnik Rechner und Netze\nPlauderecke\n");
        dir.write("security.conf", security_rules());
        dir.write("replace.conf", replacements());
        dir.write("welcome.html", "<div class=\"welcome\">\n<p>Willkommen im Chat, sch&ouml;n dass du da bist. "
                                  "Tipp: '.help'</p>\n</div>\n");
        write_config();
        if (starts_at_once()) start();
    }

    // The configuration; `extra` lines come first, and so win. The limits it
    // leaves out take their fallbacks (a nickname of 15 at most).
    std::string write_config(const std::string& extra = "") {
        return dir.write("vcd.conf", extra + settings() +
                                         "all.host = 127.0.0.1\nall.www = chat.test\nall.webpath = /chat/\n"
                                         "all.path = " + dir.path() + "\nfile.welcome = welcome.html\n"
                                         "file.permissions = permissions.conf\nfile.rooms = rooms.conf\n"
                                         "file.security = security.conf\nfile.replace = replace.conf\n"
                                         "file.log = vcd.log\nfile.js = static.test/chat.js\n"
                                         "css.basic = static.test/basic.css\ncss.startskinpath = static.test/skin.css\n"
                                         "nick.min = 3\nnick.color = 0000FF\ninfo.out = static.test/info.gif\n"
                                         "info.width = 11\ninfo.height = 13\ninfo.html = border=\"0\"\n"
                                         "unmark.out = static.test/unmark.gif\nunmark.width = 9\nunmark.height = 10\n"
                                         "unmark.html = class=\"unmark\"\n");
    }

    // Starts the daemon on the configuration and waits until it listens.
    void start() {
        stopped = false;
        const std::size_t logged = read_file(log()).size();
        ASSERT_EQ(run_binary({config()}).status, 0) << read_file(log());
        daemon = std::make_unique<daemon_process>(log(), logged);
        ASSERT_GT(daemon->pid(), 0) << read_file(log());
        ASSERT_TRUE(wait_listening(browser_port));
    }

    // Runs the binary with `args` in the test's directory.
    launch_result run_binary(std::vector<std::string> args, launch_options options = {},
                             std::vector<std::string> env = {}) const {
        args.insert(args.begin(), VCD_BINARY);
        // Sanitizer reports must not vanish with the daemon's closed streams.
        env.push_back("ASAN_OPTIONS=log_path=" + dir.file("asan"));
        env.push_back("UBSAN_OPTIONS=log_path=" + dir.file("ubsan"));
        return daemon_process::launch(dir.path(), args, env, options);
    }

    void TearDown() override {
        if (daemon && !stopped) {
            if (int status = daemon->wait_exit(1ms); status != -1)
                ADD_FAILURE() << "the daemon ended during the test (status " << status << ")\n" << read_file(log());
            else
                EXPECT_EQ(stop(), 0);
        }
        // A sanitizer report of the daemon lands in the directory; there must be none.
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename().string().find("san.") != std::string::npos)
                ADD_FAILURE() << read_file(entry.path().string());
    }

    // Ends the daemon with SIGTERM; its exit status.
    int stop() {
        stopped = true;
        daemon->signal(SIGTERM);
        return daemon->wait_exit();
    }

    std::string log() const { return dir.file("vcd.log"); }
    std::string config() const { return dir.file("vcd.conf"); }
    int logged(const std::string& text) const { return count_lines(log(), text); }

    virtual bool starts_at_once() const { return true; }
    virtual std::string settings() const { return ""; }
    // The rank table; every visitor has the rank named "visitor".
    virtual std::string ranks() const { return "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\n"; }
    virtual std::string security_rules() const { return "# no rules\n"; }
    virtual std::string replacements() const { return "# no replacements\n"; }

    // Logs a visitor in and reads everything the log-in sends him, up to the
    // room information; null (and a failure) when it goes otherwise.
    std::unique_ptr<visitor> log_in(const login_form& form, bool stream = false, int receive_buffer = 0) {
        auto v = std::make_unique<visitor>();
        v->nickname = form.nickname;
        v->app.send_login(form);
        const auto hello = v->app.read_greeting();
        if (!hello) return failed("no CNT line for " + form.nickname);
        const int answer = challenge_answer(hello->challenge);
        if (stream) {
            v->web = std::make_unique<browser>(receive_buffer);
            v->web->request(form.internal + "/" + hello->random_id + "/" + std::to_string(answer) + "/");
            if (!v->web->skip_past("<div class=\"roomInfo\">") || !v->web->skip_past("</div>"))
                return failed("no room information on the stream of " + form.nickname);
        } else {
            v->app.authenticate(answer);
        }
        auto arrival = v->app.read_until("NRM ");
        v->arrival = arrival.lines;
        if (!arrival.found) return failed("no NRM line for " + form.nickname);
        if (!stream && v->app.read_line().value_or("").rfind("TXT \"", 0) != 0)
            return failed("no room information for " + form.nickname);
        return v;
    }
    std::unique_ptr<visitor> log_in(const std::string& nick, const std::string& room = "", bool stream = false,
                                    int receive_buffer = 0) {
        return log_in(login_as(nick, room), stream, receive_buffer);
    }
    static std::unique_ptr<visitor> failed(const std::string& why) {
        ADD_FAILURE() << why;
        return nullptr;
    }

    // What the members already in the room see when `nick` logs in.
    static testing::AssertionResult expect_arrival(visitor& member, const std::string& nick,
                                                   const look_of& in = look) {
        auto added = member.app.expect_line(proto_line("ADD", {nick}));
        return added ? member.expect_html(in.enter(nick)) : added;
    }

    // Logs `nick` in to `room` and switches him to the plain look; the
    // visitors of `present`, already in that room, see him arrive.
    std::unique_ptr<visitor> enter(const std::string& nick, const std::string& room,
                                   const std::vector<visitor*>& present, bool stream = false) {
        auto v = log_in(nick, room, stream);
        if (v == nullptr) return v;
        for (visitor* member : present) EXPECT_TRUE(expect_arrival(*member, nick, plain)) << member->nickname;
        v->say(".nm plain");
        EXPECT_TRUE(v->expect_html(div("msgModeChanged", "Mode wurde auf Plain ge&auml;ndert.")));
        return v;
    }
    // Logs the named visitors in to the first room, in this order, in the plain look.
    std::vector<std::unique_ptr<visitor>> gather(const std::vector<std::string>& nicks) {
        std::vector<std::unique_ptr<visitor>> people;
        std::vector<visitor*> present;
        for (const std::string& nick : nicks) {
            auto v = enter(nick, "", present);
            if (v == nullptr) break;
            present.push_back(v.get());
            people.push_back(std::move(v));
        }
        return people;
    }

    static void play(const std::vector<step>& script) {
        for (const step& s : script) {
            SCOPED_TRACE(s.actor->nickname + " types " + s.line);
            s.actor->say(s.line);
            for (const sight& v : s.seen) EXPECT_TRUE(v.who->app.expect_lines(v.lines)) << v.who->nickname;
        }
    }
    // Nothing else is on its way to these visitors: the answer to a question
    // asked now is the next line each of them reads.
    static void expect_quiet(const std::vector<visitor*>& visitors) {
        for (visitor* v : visitors) {
            v->say(".ver");
            EXPECT_TRUE(v->app.expect_html(div("actionVersion", "vorta chat 2.2.0 D"))) << v->nickname;
        }
    }

    // The lines of a room change: the mover's list and notice, the arrival
    // for those in the new room, `departure` for those left behind.
    static std::vector<sight> moved(visitor* mover, const std::string& room, const std::vector<visitor*>& there,
                                    const std::vector<visitor*>& left, const std::string& departure) {
        std::vector<std::string> names;
        for (visitor* v : there) names.push_back(v->nickname);
        names.push_back(mover->nickname);
        std::vector<sight> seen{{mover, {nrm(room, names), plain.room_change(room)}}};
        for (visitor* v : there) seen.push_back({v, {proto_line("ADD", {mover->nickname}), plain.hello(mover->nickname)}});
        for (visitor* v : left) seen.push_back({v, {proto_line("DEL", {mover->nickname}), departure}});
        return seen;
    }
    // The first of `movers` makes the room and the others follow him there;
    // the visitors of `stay` see them leave.
    static std::vector<step> follow(const std::string& room, const std::vector<visitor*>& movers,
                                    const std::vector<visitor*>& stay) {
        std::vector<step> script;
        for (std::size_t i = 0; i < movers.size(); ++i) {
            std::vector<visitor*> there(movers.begin(), movers.begin() + static_cast<long>(i));
            std::vector<visitor*> left(movers.begin() + static_cast<long>(i) + 1, movers.end());
            left.insert(left.end(), stay.begin(), stay.end());
            const std::string& nick = movers[i]->nickname;
            const std::string departure =
                i ? room_go(nick, room) : div("roomNew", nick + " erstellt den Raum " + room + " und wechselt in diesen.");
            script.push_back({movers[i], (i ? ".g " : ".nr ") + room, moved(movers[i], room, there, left, departure)});
        }
        return script;
    }

    temp_dir dir;
    std::unique_ptr<daemon_process> daemon;
    bool stopped = false;
};

}  // namespace daemon_support
