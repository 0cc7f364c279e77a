#pragma once
// The real daemon with a known configuration, started for one test in the
// test's private network namespace, and the visitors who log in to it, each
// switched to the plain look.
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

// The welcome file is read with its line breaks removed.
inline const std::string welcome_text = "<div class=\"welcome\"><p>Willkommen im Chat</p></div>";

inline std::string txt(const std::string& html) { return proto_line("TXT", {html}); }
inline std::string div(const std::string& css_class, const std::string& body) {
    return "<div class=\"" + css_class + "\">" + body + "</div>";
}
inline const std::string plain_mode = div("msgModeChanged", "Mode wurde auf Plain ge&auml;ndert.");
inline std::string quit(const std::string& nick) { return div("actionQuit", nick + " verl&auml;sst den Chat."); }
inline std::string say(const std::string& nick, const std::string& text, const std::string& colour = "0000FF") {
    return "<span class=\"internSay\">" + nick + ":</span> <span class=\"actionSay\" style=\"color:#" + colour +
           ";\">" + text + "</span><br>";
}

// One logged-in visitor on the applet port.
struct visitor {
    std::string nickname;
    applet app;
    std::vector<std::string> arrival;  // the lines of the log-in, up to the room information

    testing::AssertionResult expect_html(const std::string& html) { return app.expect_line(txt(html)); }
    void say(const std::string& text) { app.send_text(text); }
};

class vcd_daemon : public ::testing::Test {
protected:
    void SetUp() override {
        bring_loopback_up();
        dir.write("permissions.conf", "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\n");
        dir.write("rooms.conf", "# rooms\nLobby Willkommen\nPlauderecke\n");
        dir.write("security.conf", "# no rules\n");
        dir.write("replace.conf", "# no replacements\n");
        dir.write("welcome.html", "<div class=\"welcome\">\n<p>Willkommen im Chat</p>\n</div>\n");
        write_files();
        write_config();
        if (starts_at_once()) start();
    }
    // The configuration; `extra` lines come first, and so win. The limits it
    // leaves out take their fallbacks (a nickname of 15 at most).
    std::string write_config(const std::string& extra = "") {
        return dir.write("vcd.conf", extra + settings() + "all.host = 127.0.0.1\nall.www = chat.test\nall.path = " +
                                         dir.path() + "\nall.webpath = /chat/\nfile.welcome = welcome.html\n" +
                                         "file.permissions = permissions.conf\nfile.rooms = rooms.conf\nfile.log = vcd.log\n"
                                         "file.security = security.conf\nfile.replace = replace.conf\nnick.min = 3\n"
                                         "file.js = static.test/chat.js\ncss.basic = static.test/basic.css\n"
                                         "css.startskinpath = static.test/skin.css\nnick.color = 0000FF\n");
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
    virtual void write_files() {}  // what a test needs over the standard files

    // Logs a visitor in, reads everything the log-in sends him up to the room
    // information and switches him to the plain look; null (and a failure)
    // when it goes otherwise.
    std::unique_ptr<visitor> log_in(const login_form& form) {
        auto v = std::make_unique<visitor>();
        v->nickname = form.nickname;
        v->app.send_login(form);
        v->app.authenticate(challenge_answer(v->app.read_greeting().value_or(greeting{}).challenge));
        v->arrival = v->app.read_until("NRM ").lines;
        v->arrival.push_back(v->app.read_line().value_or(""));
        if (v->arrival.back().rfind("TXT \"", 0) != 0) return ADD_FAILURE() << "no room for " << form.nickname, nullptr;
        v->say(".nm plain");
        if (!v->expect_html(plain_mode)) return ADD_FAILURE() << "no plain look for " << form.nickname, nullptr;
        return v;
    }
    std::unique_ptr<visitor> log_in(const std::string& nick) { return log_in(login_as(nick)); }
    // What a member already in the room sees when `nick` logs in.
    static testing::AssertionResult expect_arrival(visitor& member, const std::string& nick) {
        auto added = member.app.expect_line(proto_line("ADD", {nick}));
        return added ? member.expect_html(div("actionEnter", nick + " betritt den Chat.")) : added;
    }

    temp_dir dir;
    std::unique_ptr<daemon_process> daemon;
    bool stopped = false;
};

}  // namespace daemon_support
