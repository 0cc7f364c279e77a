#include <unistd.h>

#include <algorithm>
#include <regex>
#include <set>
#include <thread>

#include "integration/daemon_fixture.hpp"

using namespace daemon_support;

namespace {

const std::string banner = "vorta chat 2.2.0 D\n";
// "[" + ctime text + "] " + message
const std::string stamp = R"(\[(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) )"
                          R"([ 123]\d \d\d:\d\d:\d\d \d{4}\] )";
const std::string redirect = "HTTP/1.1 302 OK\r\n";

class daemon_test : public vcd_daemon {
protected:
    bool starts_at_once() const override { return false; }
};

// Each broken file ends start-up with its error, in the log, and "vcd check"
// says the same on its output and starts nothing: no port, no log.
TEST_F(daemon_test, broken_files_end_start_up_and_check_names_each_with_its_line) {
    const std::string conf = config();
    const auto syntax = [this](const char* file, int line) {
        return "error: in file '" + dir.file(file) + "' at line " + std::to_string(line) + ": unrecognized syntax";
    };
    const struct {
        std::vector<std::pair<const char*, const char*>> files;  // written over the valid ones
        std::vector<std::string> args, env;
        std::string error;  // empty: valid
        bool detaches = false;  // the error comes after the daemon has detached
    } cases[] = {
        {{}, {"check", conf}, {}, ""},
        {{}, {"check"}, {"VCCONFIG=" + conf}, ""},
        {{{"bad.conf", "# keys\n\nfile.log = vcd.log\nnick.maximum = 3\n"}}, {"-c", dir.file("bad.conf"), "check"},
         {}, "error: in file '" + dir.file("bad.conf") + "' at line 4: unknown key"},
        {{{"permissions.conf", "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\nadmin Admin 4\n"}}, {"check", conf}, {},
         syntax("permissions.conf", 2), true},
        {{{"security.conf", "# rules\nx\n"}, {"replace.conf", "gn 8 = gute Nacht\n"}, {"rooms.conf", "-Keller\n"}},
         {"check", conf}, {},
         syntax("security.conf", 2) + "\n" + syntax("replace.conf", 1) + "\n" + syntax("rooms.conf", 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        SetUp();
        for (const auto& [file, text] : c.files) dir.write(file, text);
        const auto checked = run_binary(c.args, {}, c.env);
        EXPECT_EQ(checked.status, c.error.empty() ? 0 : 1);
        EXPECT_EQ(checked.output,
                  (c.error.empty() ? "configuration '" + conf + "' and the files it names are valid" : c.error) + "\n");
        EXPECT_FALSE(std::filesystem::exists(log()));
        if (c.error.empty() || c.error.find('\n') != std::string::npos) continue;
        std::vector<std::string> args = c.args;
        args.erase(std::find(args.begin(), args.end(), "check"));
        const auto result = run_binary(args, {}, c.env);
        EXPECT_EQ(result.output, banner);
        EXPECT_EQ(result.status, c.detaches ? 0 : 1);
        EXPECT_EQ(c.detaches ? daemon_process(log()).wait_exit() : 1, 1);
        const std::string content = read_file(log());
        const std::size_t at = content.size() - std::min(content.size(), c.error.size() + 1);
        EXPECT_EQ(content.substr(at), c.error + "\n");  // the last line, after the stamp
        EXPECT_TRUE(std::regex_search(content.substr(0, at), std::regex((c.detaches ? "" : "^") + stamp + "$"))) << content;
        std::remove(log().c_str());
    }
}

// It serves, reloads on SIGHUP and ends on SIGTERM; a second one finds the
// ports taken.
TEST_F(daemon_test, the_daemon_detaches_serves_reloads_and_ends_smoothly) {
    const auto result = run_binary({config()}, {.inherited_descriptor = 100});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, banner);
    daemon_process process(log());
    ASSERT_GT(process.pid(), 0);
    EXPECT_TRUE(std::regex_match(read_file(log()), std::regex(stamp + "daemon started \\(pid: " +
                                                              std::to_string(process.pid()) + "\\)\n")));
    // Detached: a session of its own that it does not lead, so no terminal
    // can be acquired; files created with the mask 022.
    EXPECT_NE(getsid(process.pid()), process.pid());
    EXPECT_NE(getsid(process.pid()), getsid(0));
    EXPECT_EQ(std::filesystem::status(log()).permissions(), std::filesystem::perms(0644));
    ASSERT_TRUE(wait_listening(applet_port) && wait_listening(browser_port));
    std::this_thread::sleep_for(100ms);  // until the probe connections are closed again

    // It keeps no descriptor of its launcher: the standard ones lead nowhere,
    // the rest is its own: the event loop's wait set and wake-up counter, the
    // three listeners and the descriptor kept in reserve for the log.
    std::multiset<std::string> own;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(process.pid()) + "/fd")) {
        const std::string target = std::filesystem::read_symlink(entry.path()).string();
        const int fd = std::stoi(entry.path().filename().string());
        EXPECT_NE(fd, 100);
        EXPECT_TRUE(fd > 2 || target == "/dev/null") << fd;
        if (fd > 2) own.insert(target.rfind("socket:", 0) == 0 ? "socket" : target);
    }
    EXPECT_EQ(own, (std::multiset<std::string>{"/dev/null", "anon_inode:[eventfd]", "anon_inode:[eventpoll]",
                                               "socket", "socket", "socket"}));

    // A line may grow to 1024 bytes before its line feed; one byte more ends the session.
    for (std::size_t size : {1024, 1025}) {
        applet a;
        a.send_raw(std::string(size, 'x'));
        EXPECT_EQ(a.closed(300ms), size > 1024) << size;
    }
    const std::size_t before = read_file(log()).size();
    EXPECT_EQ(run_binary({config()}).status, 0);
    EXPECT_EQ(daemon_process(log(), before).wait_exit(), 1);
    EXPECT_EQ(logged("] error: Address already in use"), 1);

    // SIGHUP with a broken file: one error line, and the old configuration
    // stays in force; a log in a missing directory is lost silently; a good
    // file that moves the log: the reload is reported in the new one.
    const std::string good = read_file(config());
    dir.write("vcd.conf", good + "Broken line\n");
    process.signal(SIGHUP);
    ASSERT_TRUE(wait_for_text(log(), "unrecognized syntax"));
    const auto lines = std::count(good.begin(), good.end(), '\n') + 1;
    EXPECT_EQ(logged("error: in file '" + config() + "' at line " + std::to_string(lines) + ": unrecognized syntax"), 1);
    EXPECT_EQ(logged("configuration reloaded"), 0);
    EXPECT_TRUE(process.running());
    for (const char* moved : {"nowhere/vcd.log", "second.log"}) {
        dir.write("vcd.conf", "all.path = " + dir.path() + "\nfile.security = security.conf\n" +
                                  "file.replace = replace.conf\nfile.log = " + moved + "\n");
        process.signal(SIGHUP);
        EXPECT_EQ(exchange(browser_port, "GET / HTTP/1.1\r\n\r\n").value_or("").substr(0, 17), redirect);
    }
    ASSERT_TRUE(wait_for_text(dir.file("second.log"), "configuration reloaded"));
    EXPECT_TRUE(std::regex_match(read_file(dir.file("second.log")), std::regex(stamp + "configuration reloaded\n")));
    process.signal(SIGTERM);
    EXPECT_EQ(process.wait_exit(), 0);
    EXPECT_TRUE(std::regex_search(read_file(dir.file("second.log")), std::regex(stamp + "smooth shutdown \\(fds: 3\\)\n$")));
}

}  // namespace
