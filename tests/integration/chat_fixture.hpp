#pragma once
// The real daemon with a known configuration, started for one chat test in
// the test's private network namespace, and the HTML fragments that the look
// new visitors start with (icons beside names) gives for the events the tests
// provoke. The fragments depend on the configuration written here.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/chat_client.hpp"
#include "support/daemon.hpp"
#include "support/temp_dir.hpp"

namespace chat_support {

using test_support::applet;
using test_support::browser;
using test_support::c_escape;
using test_support::challenge_answer;
using test_support::login_form;
using test_support::proto_line;

// The welcome file is read with its line breaks removed.
inline const std::string welcome_file =
    "<div class=\"welcome\">\n<p>Willkommen im Chat, sch&ouml;n dass du da bist. Tipp: '.help'</p>\n</div>\n";
inline const std::string welcome_text =
    "<div class=\"welcome\"><p>Willkommen im Chat, sch&ouml;n dass du da bist. Tipp: '.help'</p></div>";

inline const std::string lobby_subject = "Willkommen im Chat";
inline const std::string technik_subject = "Rechner und Netze";

inline const std::string home_redirect =
    "HTTP/1.1 302 OK\r\nCache-Control: no-cache\r\nPragma: no-cache\r\nLocation: http://localhost/\r\n"
    "Server: vortachat/2.2\r\nExpires: 0\r\n\r\n";
inline const std::string stream_head =
    "HTTP/1.1 302 OK\r\nCache-Control: no-cache\r\nConnection: Keep-Alive\r\nPragma: no-cache\r\n"
    "Server: vortachat/2.2\r\nContent-Type: text/html\r\nExpires: 0\r\n\r\n";
// The page head after the document type declaration.
inline const std::string page_head =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-15\">"
    "<title>vorta chat</title>"
    "<link rel=\"stylesheet\" type=\"text/css\" href=\"http://static.test/basic.css\">"
    "<link rel=\"stylesheet\" type=\"text/css\" href=\"http://static.test/skin.css\">"
    "<script type=\"text/javascript\" src=\"http://static.test/chat.js\"></script>"
    "<script type=\"text/javascript\">autoscroll(true);</script></head><body><!--" +
    std::string(1000, ' ') + "-->" + welcome_text;

// Fragments of the start look.
namespace look {

inline std::string info(const std::string& command) {
    return "<img src=\"http://static.test/info.gif\" alt=\"Informationen anzeigen\" width=\"11\" height=\"13\" "
           "onmousedown=\"on_icon_click(this, 'info', '" + c_escape(command) + "');\" "
           "onmouseover=\"on_icon_over(this, 'info');\" onmouseout=\"on_icon_out(this, 'info');\" border=\"0\"> ";
}
// Nobody in these tests marks anybody: every chat line carries the button
// that would mark its speaker.
inline std::string unmarked(const std::string& nickname) {
    return "<img src=\"http://static.test/unmark.gif\" alt=\"Nicht markiert\" width=\"9\" height=\"10\" "
           "onmousedown=\"on_icon_click(this, 'unmark', '.m " + c_escape(nickname) + "');\" "
           "onmouseover=\"on_icon_over(this, 'unmark');\" onmouseout=\"on_icon_out(this, 'unmark');\" "
           "class=\"unmark\"> ";
}
inline std::string say(const std::string& nickname, const std::string& colour, const std::string& text) {
    return info(".u " + nickname) + unmarked(nickname) + "<span class=\"internSay\">" + nickname +
           ":</span> <span class=\"actionSay\" style=\"color:#" + colour + ";\">" + text + "</span><br>";
}
inline std::string me(const std::string& nickname, const std::string& text) {
    return info(".u " + nickname) + unmarked(nickname) + "<span class=\"internMe\">" + nickname +
           "</span> <span class=\"actionMe\">" + text + "</span><br>";
}
inline std::string enter(const std::string& nickname) {
    return "<div class=\"actionEnter\">" + info(".u " + nickname) + nickname + " betritt den Chat.</div>";
}
inline std::string hello(const std::string& nickname) {
    return "<div class=\"roomHello\">" + info(".u " + nickname) + nickname + " betritt den Raum.</div>";
}
inline std::string quit(const std::string& nickname) {
    return "<div class=\"actionQuit\">" + nickname + " verl&auml;sst den Chat.</div>";
}
inline std::string disconnected(const std::string& nickname) {
    return "<div class=\"msgDisconnected\">Die Verbindung zu " + nickname + " wurde unterbrochen.</div>";
}
inline std::string spammer(const std::string& nickname) {
    return "<div class=\"msgSpammer\">" + nickname + " ist ein Spammer und wird automatisch aus dem Chat gekickt.</div>";
}
inline std::string room_go(const std::string& nickname, const std::string& room) {
    return "<div class=\"roomGo\">" + nickname + " wechselt in den Raum " + room + ".</div>";
}
inline std::string room_change(const std::string& room) {
    return "<div class=\"roomChange\">Du befindest dich nun im Raum " + info(".r " + room) + room + ".</div>";
}
inline std::string room_info(const std::string& room, const std::string& subject,
                             const std::vector<std::string>& members) {
    std::string html = "<div class=\"roomInfo\">Raum&uuml;bersicht:<br>" + room + " [" +
                       std::to_string(members.size()) + " User; Demokratie]";
    if (!subject.empty()) html += "<br>Thema: " + subject;
    if (!members.empty()) {
        html += "<br>User: ";
        for (std::size_t i = 0; i < members.size(); ++i)
            html += (i ? ", " : "") + info(".u " + members[i]) + members[i];
    }
    return html + "</div>";
}
inline const std::string room_info_start = "<div class=\"roomInfo\">";
inline const std::string shutdown = "<div class=\"msgShutdown\">Der Chat-Server wird heruntergefahren.</div>";

}  // namespace look

// The room list line for the newcomer: the room, then every member.
inline std::string nrm(const std::string& room, const std::vector<std::string>& members) {
    std::vector<std::string> values{room};
    values.insert(values.end(), members.begin(), members.end());
    return proto_line("NRM", values);
}
inline std::string txt(const std::string& html) { return proto_line("TXT", {html}); }

// One logged-in visitor: the applet and, when asked for, the browser stream.
struct visitor {
    std::string nickname;
    test_support::greeting greeting;
    applet app;
    std::unique_ptr<browser> web;
    std::vector<std::string> arrival;  // the applet's lines of the log-in, up to "NRM"

    // A message for this visitor: on the stream when there is one, else as a
    // "TXT" line.
    testing::AssertionResult expect_html(const std::string& html) {
        return web ? web->expect_next(html) : app.expect_html(html);
    }
    void say(const std::string& text) { app.send_text(text); }
};

class chat_daemon : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::bring_loopback_up();
        dir.write("permissions.conf", ranks());
        dir.write("rooms.conf", "# rooms\nLobby " + lobby_subject + "\nTechnik " + technik_subject + "\nPlauderecke\n");
        dir.write("security.conf", security_rules());
        dir.write("replace.conf", replacements());
        dir.write("welcome.html", welcome_file);
        dir.write("vcd.conf", settings() +
            "all.host = 127.0.0.1\n"
            "all.www = chat.test\n"
            "all.webpath = /chat/\n"
            "all.path = " + dir.path() + "\n"
            "file.welcome = welcome.html\n"
            "file.permissions = permissions.conf\n"
            "file.rooms = rooms.conf\n"
            "file.security = security.conf\n"
            "file.replace = replace.conf\n"
            "file.log = vcd.log\n"
            "file.js = static.test/chat.js\n"
            "css.basic = static.test/basic.css\n"
            "css.startskinpath = static.test/skin.css\n"
            "nick.min = 3\n"
            "nick.color = 0000FF\n"
            // The other limits take their fallbacks (a nickname of 15 at most).
            "info.out = static.test/info.gif\n"
            "info.width = 11\n"
            "info.height = 13\n"
            "info.html = border=\"0\"\n"
            "unmark.out = static.test/unmark.gif\n"
            "unmark.width = 9\n"
            "unmark.height = 10\n"
            "unmark.html = class=\"unmark\"\n");
        start();
    }

    // Starts the daemon on the configuration and waits until it listens.
    void start() {
        stopped = false;
        const std::size_t logged = test_support::read_file(log()).size();
        auto launched = run_binary({config()});
        ASSERT_EQ(launched.status, 0) << test_support::read_file(log());
        daemon = std::make_unique<test_support::daemon_process>(log(), std::chrono::seconds(10), logged);
        ASSERT_GT(daemon->pid(), 0) << test_support::read_file(log());
        ASSERT_TRUE(test_support::wait_listening(test_support::browser_port));
    }

    // Runs the binary with `args` in the test's directory, as `launch_with`
    // says, `input` on its standard input.
    test_support::launch_result run_binary(std::vector<std::string> args,
                                           std::optional<std::string> input = std::nullopt) const {
        args.insert(args.begin(), VCD_BINARY);
        test_support::launch_options options = launch_with();
        options.input = std::move(input);
        // Sanitizer reports must not vanish with the daemon's closed streams.
        return test_support::daemon_process::launch(
            dir.path(), args,
            {"ASAN_OPTIONS=log_path=" + dir.file("asan"), "UBSAN_OPTIONS=log_path=" + dir.file("ubsan")}, options);
    }

    void TearDown() override {
        if (daemon && !stopped) {
            // Still running, unless it ended during the test.
            int status = daemon->wait_exit(std::chrono::milliseconds(1));
            if (status != -1)
                ADD_FAILURE() << "the daemon ended during the test (status " << status << ")\n"
                              << test_support::read_file(log());
            else
                EXPECT_EQ(stop(), 0);
        }
        // A sanitizer report of the daemon lands in the directory; there must be none.
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            std::string name = entry.path().filename().string();
            if (name.rfind("asan", 0) == 0 || name.rfind("ubsan", 0) == 0)
                ADD_FAILURE() << test_support::read_file(entry.path().string());
        }
    }

    std::string log() const { return dir.file("vcd.log"); }
    std::string config() const { return dir.file("vcd.conf"); }

    // Configuration lines that come before the common ones, and so win.
    virtual std::string settings() const { return ""; }

    // How the daemon is started (its descriptor limit, say).
    virtual test_support::launch_options launch_with() const { return {}; }
    // The rank table; every visitor has the rank named "visitor".
    virtual std::string ranks() const { return "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\n"; }
    // The security file and the replacement file the daemon starts with.
    virtual std::string security_rules() const { return "# no rules\n"; }
    virtual std::string replacements() const { return "# no replacements\n"; }

    // Ends the daemon with SIGTERM; its exit status.
    int stop() {
        stopped = true;
        daemon->signal(SIGTERM);
        return daemon->wait_exit();
    }

    // Logs a visitor in and reads everything the log-in sends him, up to the
    // room information; null (and a failure) when it goes otherwise.
    // `receive_buffer` > 0 shrinks the stream's receive buffer.
    std::unique_ptr<visitor> log_in(const std::string& nickname, const std::string& room = "",
                                    bool stream = false, int receive_buffer = 0) {
        return log_in(test_support::login_as(nickname, room), stream, receive_buffer);
    }
    std::unique_ptr<visitor> log_in(const login_form& form, bool stream = false, int receive_buffer = 0) {
        const std::string& nickname = form.nickname;
        auto v = std::make_unique<visitor>();
        v->nickname = nickname;
        v->app.send_login(form);
        auto greeting = v->app.read_greeting();
        if (!greeting) {
            ADD_FAILURE() << "no CNT line for " << nickname;
            return nullptr;
        }
        v->greeting = *greeting;
        int answer = challenge_answer(greeting->challenge);
        if (stream) {
            v->web = std::make_unique<browser>(receive_buffer);
            v->web->request_stream(form.internal, greeting->random_id, answer);
            if (!v->web->skip_past(look::room_info_start) || !v->web->skip_past("</div>")) {
                ADD_FAILURE() << "no room information on the stream of " << nickname;
                return nullptr;
            }
        } else {
            v->app.authenticate(answer);
        }
        auto arrival = v->app.read_until("NRM ");
        if (!arrival.found) {
            ADD_FAILURE() << "no NRM line for " << nickname;
            return nullptr;
        }
        v->arrival = arrival.lines;
        // The room information; the tests that need its text check it.
        if (!stream) {
            auto info = v->app.read_line();
            if (!info || info->rfind("TXT \"", 0) != 0) {
                ADD_FAILURE() << "no room information for " << nickname << ": " << info.value_or("");
                return nullptr;
            }
        }
        return v;
    }

    // What the members already in the room see when `nickname` logs in.
    static testing::AssertionResult expect_arrival(visitor& member, const std::string& nickname) {
        auto added = member.app.expect_line(proto_line("ADD", {nickname}));
        if (!added) return added;
        return member.expect_html(look::enter(nickname));
    }

    test_support::temp_dir dir;
    std::unique_ptr<test_support::daemon_process> daemon;
    bool stopped = false;
};

}  // namespace chat_support
