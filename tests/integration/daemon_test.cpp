// The real daemon, started from a temporary directory: its banner, its
// configuration errors, its log, its signals and its listening ports.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <regex>
#include <thread>

#include "support/daemon.hpp"
#include "support/temp_dir.hpp"

using namespace std::chrono_literals;
using test_support::daemon_process;
using test_support::read_file;

namespace {

const std::string banner = "vorta chat 2.2.0 D\n";
// "[" + ctime text + "] " + message
const std::string stamp = R"(\[(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123]\d \d\d:\d\d:\d\d \d{4}\] )";

class daemon_test : public ::testing::Test {
protected:
    void SetUp() override { test_support::bring_loopback_up(); }
    // A sanitizer report of the daemon lands in the directory; there must be none.
    void TearDown() override {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            std::string name = entry.path().filename().string();
            if (name.rfind("asan", 0) == 0 || name.rfind("ubsan", 0) == 0)
                ADD_FAILURE() << read_file(entry.path().string());
        }
    }

    // A configuration whose files all live in the temporary directory.
    std::string write_config(const std::string& extra = "", const std::string& name = "vcd.conf") {
        dir.write("permissions.conf", "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\n");
        dir.write("rooms.conf", "# rooms\nLobby\n");
        dir.write("welcome.html", "<p>Willkommen</p>\n");
        dir.write("security.conf", "# no rules\n");
        dir.write("replace.conf", "");
        return dir.write(name, "# test configuration\n"
                               "all.host = 127.0.0.1\n"
                               "all.path = " + dir.path() + "\n"
                               "file.welcome = welcome.html\n"
                               "file.permissions = permissions.conf\n"
                               "file.rooms = rooms.conf\n"
                               "file.security = security.conf\n"
                               "file.replace = replace.conf\n" +
                                   extra + "file.log = vcd.log\n");
    }

    test_support::launch_result launch(const std::vector<std::string>& args = {},
                                       const std::vector<std::string>& env = {},
                                       const test_support::launch_options& options = {}) {
        std::vector<std::string> argv{VCD_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> environment = env;
        // Sanitizer reports must not vanish with the daemon's closed streams.
        environment.push_back("ASAN_OPTIONS=log_path=" + dir.file("asan"));
        environment.push_back("UBSAN_OPTIONS=log_path=" + dir.file("ubsan"));
        return daemon_process::launch(dir.path(), argv, environment, options);
    }

    std::string log() const { return dir.file("vcd.log"); }

    test_support::temp_dir dir;
};

// What each open descriptor of a process refers to; sockets without their
// inode number.
std::map<int, std::string> open_descriptors(pid_t pid) {
    std::map<int, std::string> open;
    std::string base = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& entry : std::filesystem::directory_iterator(base)) {
        std::error_code error;
        std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target.rfind("socket:", 0) == 0) target = "socket";
        open[std::stoi(entry.path().filename().string())] = target;
    }
    return open;
}

void expect_single_error(const std::string& log, const std::string& message) {
    std::string content = read_file(log);
    EXPECT_TRUE(std::regex_match(content, std::regex(stamp + std::regex_replace(message, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") + "\n")))
        << content;
}

TEST_F(daemon_test, without_configuration_prints_banner_and_logs_the_error) {
    auto result = launch();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, banner);
    expect_single_error(dir.file("vcd.log"), "error: no configuration file found");
}

TEST_F(daemon_test, configuration_errors_end_start_up_with_their_line_numbers) {
    std::string path = dir.write("unknown.conf", "# comment\n\nfile.log = vcd.log\nnick.maximum = 3\n");
    auto result = launch({path});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, banner);
    expect_single_error(log(), "error: in file '" + path + "' at line 4: unknown key");

    std::remove(log().c_str());
    path = dir.write("syntax.conf", "file.log = vcd.log\n\n# Capital letters are no key\nNick.max = 3\n");
    EXPECT_EQ(launch({path}).status, 1);
    expect_single_error(log(), "error: in file '" + path + "' at line 4: unrecognized syntax");

    std::remove(log().c_str());
    EXPECT_EQ(launch({dir.file("missing.conf")}).status, 1);
    expect_single_error(dir.file("vcd.log"), "error: can't open configuration file '" + dir.file("missing.conf") + "'");
}

TEST_F(daemon_test, security_and_replacement_files_end_start_up_with_their_errors) {
    const std::string config = write_config();
    const struct {
        const char* security;
        const char* replace;
        std::string error;
    } cases[] = {
        {nullptr, "", "error: can't open security file '" + dir.file("security.conf") + "'"},
        {"u anna\n\n# a word that is no pattern\nc doof( exit\n", "",
         "error: in file '" + dir.file("security.conf") + "' at line 4: unrecognized syntax"},
        {"c @words.txt exit\n", "", "error: can't open security file '" + dir.file("words.txt") + "'"},
        {"", nullptr, "error: can't open replacement file '" + dir.file("replace.conf") + "'"},
        {"", "gn8 = gute Nacht\ngn 8 = gute Nacht\n",
         "error: in file '" + dir.file("replace.conf") + "' at line 2: unrecognized syntax"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        std::remove(dir.file("security.conf").c_str());
        std::remove(dir.file("replace.conf").c_str());
        if (c.security != nullptr) dir.write("security.conf", c.security);
        if (c.replace != nullptr) dir.write("replace.conf", c.replace);
        std::remove(log().c_str());
        auto result = launch({config});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.output, banner);
        expect_single_error(log(), c.error);
    }
}

// "vcd check" loads what start-up loads and starts nothing: no port, no log.
TEST_F(daemon_test, check_reports_every_broken_file_with_its_line) {
    const std::string config = write_config();
    const std::string valid = "configuration '" + config + "' and the files it names are valid\n";
    const auto error = [this](const char* file, int line) {
        return "error: in file '" + dir.file(file) + "' at line " + std::to_string(line) + ": unrecognized syntax\n";
    };
    const struct {
        const char* what;
        std::vector<std::pair<const char*, const char*>> files;  // written over the valid ones
        std::vector<std::string> args;
        int status;
        std::string output;
        std::vector<std::string> env = {};
    } cases[] = {
        {"valid", {}, {"check", config}, 0, valid},
        {"valid, named by the environment", {}, {"check"}, 0, valid, {"VCCONFIG=" + config}},
        {"none named", {}, {"check"}, 1, "error: no configuration file found\n"},
        {"valid, option form", {}, {"-c", config, "check"}, 0, valid},
        {"configuration", {{"broken.conf", "# keys\nnick.maximum = 3\n"}}, {"check", dir.file("broken.conf")}, 1,
         "error: in file '" + dir.file("broken.conf") + "' at line 2: unknown key\n"},
        {"no configuration", {}, {"check", dir.file("missing.conf")}, 1,
         "error: can't open configuration file '" + dir.file("missing.conf") + "'\n"},
        {"permissions", {{"permissions.conf", "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\nadmin Admin 4\n"}},
         {"check", config}, 1, error("permissions.conf", 2)},
        {"rooms", {{"rooms.conf", "Lobby Treffpunkt\n\n-Keller\n"}}, {"check", config}, 1, error("rooms.conf", 3)},
        {"security", {{"security.conf", "u anna\nc doof( exit\n"}}, {"-c", config, "check"}, 1,
         error("security.conf", 2)},
        {"replacements", {{"replace.conf", "gn 8 = gute Nacht\n"}}, {"check", config}, 1, error("replace.conf", 1)},
        {"every broken file",
         {{"security.conf", "# rules\nx\n"}, {"replace.conf", "gn 8 = gute Nacht\n"}, {"rooms.conf", "-Keller\n"}},
         {"check", config}, 1, error("security.conf", 2) + error("replace.conf", 1) + error("rooms.conf", 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write_config();
        for (const auto& [file, text] : c.files) dir.write(file, text);
        std::remove(log().c_str());
        test_support::launch_options options;
        options.with_errors = true;
        auto result = launch(c.args, c.env, options);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.output, c.output);
        EXPECT_FALSE(std::filesystem::exists(log()));
    }
}

TEST_F(daemon_test, the_shipped_rule_files_are_valid) {
    const std::string config = write_config();
    // The examples in their comments are valid rules too.
    std::string rules = read_file(VCD_SOURCE_DIR "/etc/security.conf");
    std::string replacements = read_file(VCD_SOURCE_DIR "/etc/replace.conf");
    ASSERT_FALSE(rules.empty());
    ASSERT_FALSE(replacements.empty());
    const auto examples = [](const std::string& text, const std::regex& example) {
        std::string lines;
        for (std::sregex_iterator it(text.begin(), text.end(), example), end; it != end; ++it)
            lines += (*it)[1].str() + "\n";
        return lines;
    };
    const std::string rule_examples = examples(rules, std::regex(R"(\n#   ([ruwc] \S+( \S+)*?)(   +.*)?(?=\n))"));
    const std::string replacement_examples = examples(replacements, std::regex(R"(\n# (\S+ = .*)(?=\n))"));
    EXPECT_EQ(std::count(rule_examples.begin(), rule_examples.end(), '\n'), 6) << rule_examples;
    EXPECT_EQ(std::count(replacement_examples.begin(), replacement_examples.end(), '\n'), 3) << replacement_examples;
    dir.write("censored.txt", "doof\n");
    dir.write("security.conf", rules + rule_examples);
    dir.write("replace.conf", replacements + replacement_examples);
    ASSERT_EQ(launch({config}).status, 0) << read_file(log());
    daemon_process daemon(log());
    ASSERT_GT(daemon.pid(), 0);
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait_exit(), 0);
}

TEST_F(daemon_test, configuration_file_comes_from_first_argument_or_environment) {
    std::string bad = dir.write("bad.conf", "file.log = vcd.log\nbad.key = 1\n");
    // Further arguments are ignored.
    EXPECT_EQ(launch({bad, write_config()}).status, 1);
    EXPECT_EQ(test_support::count_lines(log(), "bad.conf' at line 2: unknown key"), 1);

    std::remove(log().c_str());
    EXPECT_EQ(launch({}, {"VCCONFIG=" + bad}).status, 1);
    EXPECT_EQ(test_support::count_lines(log(), "bad.conf' at line 2: unknown key"), 1);
}

TEST_F(daemon_test, sigterm_ends_the_daemon_smoothly) {
    auto result = launch({write_config()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, banner);
    daemon_process daemon(log());
    ASSERT_GT(daemon.pid(), 0);
    EXPECT_TRUE(std::regex_search(read_file(log()), std::regex("^" + stamp + "daemon started \\(pid: " +
                                                               std::to_string(daemon.pid()) + "\\)\n")));
    // Detached: a session of its own that it does not lead, so no terminal
    // can be acquired; files created with the mask 022.
    EXPECT_NE(getsid(daemon.pid()), daemon.pid());
    EXPECT_NE(getsid(daemon.pid()), getsid(0));
    struct stat status{};
    ASSERT_EQ(stat(log().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
    ASSERT_TRUE(test_support::wait_listening(1612));
    // A session that ends before the stop leaves nothing registered.
    EXPECT_EQ(test_support::exchange(1612, "XYZ\n"), "");
    EXPECT_EQ(test_support::exchange(1613, "GET /x/y/z/ HTTP/1.1\r\n\r\n").value_or("").substr(0, 17), "HTTP/1.1 302 OK\r\n");
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait_exit(), 0);
    // The three listening servers are all that is registered.
    EXPECT_TRUE(std::regex_search(read_file(log()), std::regex(stamp + "smooth shutdown \\(fds: 3\\)\n$")));
}

TEST_F(daemon_test, the_daemon_keeps_no_descriptor_of_its_launcher) {
    ASSERT_EQ(launch({write_config()}, {}, {.inherited_descriptor = 100}).status, 0);
    daemon_process daemon(log());
    ASSERT_GT(daemon.pid(), 0);
    ASSERT_TRUE(test_support::wait_listening(1612));
    ASSERT_TRUE(test_support::wait_listening(1613));
    std::this_thread::sleep_for(100ms);  // until the probe connections are closed again
    std::map<int, std::string> open = open_descriptors(daemon.pid());
    EXPECT_EQ(open.count(100), 0u);
    // The standard descriptors lead nowhere; the rest is the daemon's own: the
    // event loop's wait set and wake-up counter, the three listeners and the
    // descriptor kept in reserve for the log.
    std::multiset<std::string> own;
    for (const auto& [fd, target] : open) {
        if (fd <= 2) {
            EXPECT_EQ(target, "/dev/null") << fd;
        } else {
            own.insert(target);
        }
    }
    EXPECT_EQ(own, (std::multiset<std::string>{"/dev/null", "anon_inode:[eventfd]", "anon_inode:[eventpoll]",
                                               "socket", "socket", "socket"}));
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait_exit(), 0);
}

TEST_F(daemon_test, the_daemon_raises_its_descriptor_limit_as_far_as_allowed) {
    rlimit own{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &own), 0);
    if (own.rlim_max != RLIM_INFINITY && own.rlim_max <= 256) GTEST_SKIP() << "hard limit " << own.rlim_max;
    ASSERT_EQ(launch({write_config()}, {}, {.descriptor_limit = 256}).status, 0);
    daemon_process daemon(log());
    ASSERT_GT(daemon.pid(), 0);
    rlimit limit{};
    ASSERT_EQ(prlimit(daemon.pid(), RLIMIT_NOFILE, nullptr, &limit), 0);
    EXPECT_EQ(limit.rlim_cur, own.rlim_max);
    EXPECT_EQ(limit.rlim_max, own.rlim_max);
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait_exit(), 0);
}

TEST_F(daemon_test, sighup_reloads_or_keeps_the_previous_configuration) {
    std::string config = write_config();
    ASSERT_EQ(launch({config}).status, 0);
    daemon_process daemon(log());
    ASSERT_GT(daemon.pid(), 0);

    // A broken file: one error line, and the old log path stays in force.
    std::string good = read_file(config);
    dir.write("vcd.conf", good + "Broken line\n");
    daemon.signal(SIGHUP);
    ASSERT_TRUE(test_support::wait_for_text(log(), "unrecognized syntax"));
    EXPECT_EQ(test_support::count_lines(log(), "error: in file '" + config + "' at line 10: unrecognized syntax"), 1);
    EXPECT_EQ(test_support::count_lines(log(), "configuration reloaded"), 0);
    EXPECT_TRUE(daemon.running());

    // A good file that moves the log: the reload is reported in the new one.
    dir.write("vcd.conf", "all.path = " + dir.path() +
                              "\nfile.security = security.conf\nfile.replace = replace.conf\nfile.log = second.log\n");
    daemon.signal(SIGHUP);
    ASSERT_TRUE(test_support::wait_for_text(dir.file("second.log"), "configuration reloaded"));
    EXPECT_TRUE(std::regex_match(read_file(dir.file("second.log")), std::regex(stamp + "configuration reloaded\n")));

    EXPECT_EQ(test_support::exchange(1613, "GET / HTTP/1.1\r\n\r\n").value_or("").substr(0, 17), "HTTP/1.1 302 OK\r\n");
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait_exit(), 0);
    EXPECT_EQ(test_support::count_lines(dir.file("second.log"), "smooth shutdown (fds: 3)"), 1);
}

TEST_F(daemon_test, log_in_a_missing_directory_is_lost_silently) {
    std::string config = write_config();
    std::string content = read_file(config);
    content.replace(content.find("file.log = vcd.log"), 18, "file.log = nowhere/vcd.log");
    dir.write("vcd.conf", content);
    ASSERT_EQ(launch({config}).status, 0);
    pid_t pid = 0;
    for (int i = 0; i < 500 && pid == 0; ++i) {
        pid = test_support::find_child(VCD_BINARY);
        std::this_thread::sleep_for(10ms);
    }
    daemon_process daemon(pid);
    ASSERT_GT(daemon.pid(), 0);
    EXPECT_TRUE(test_support::wait_listening(1612));
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait_exit(), 0);
}

TEST_F(daemon_test, port_in_use_ends_start_up_with_the_system_text) {
    int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(1613);
    int on = 1;  // earlier connections of this namespace may linger in TIME_WAIT
    setsockopt(blocker, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(blocker, 1), 0);
    ASSERT_EQ(launch({write_config()}).status, 0);
    daemon_process daemon(log());
    ASSERT_GT(daemon.pid(), 0);
    EXPECT_EQ(daemon.wait_exit(), 1);
    EXPECT_EQ(test_support::count_lines(log(), "] error: Address already in use"), 1);
    close(blocker);
}

TEST_F(daemon_test, malformed_permission_file_ends_start_up) {
    std::string config = write_config();
    dir.write("permissions.conf", "# ranks\nvisitor Visitor 4 4 0 0 0 10 0 0 0 0 0\nadmin Admin 4 4 2 0 0 10 0 0 0 0 0\n");
    ASSERT_EQ(launch({config}).status, 0);
    daemon_process daemon(log());
    ASSERT_GT(daemon.pid(), 0);
    EXPECT_EQ(daemon.wait_exit(), 1);
    std::string lines = read_file(log());
    EXPECT_TRUE(std::regex_search(lines, std::regex(stamp + "error: in file '" + dir.file("permissions.conf") +
                                                    "' at line 3: unrecognized syntax\n$")))
        << lines;
}

TEST_F(daemon_test, malformed_room_file_ends_start_up) {
    std::string config = write_config();
    dir.write("rooms.conf", "Lobby Treffpunkt\n\n-Keller\n");
    ASSERT_EQ(launch({config}).status, 0);
    daemon_process daemon(log());
    ASSERT_GT(daemon.pid(), 0);
    EXPECT_EQ(daemon.wait_exit(), 1);
    std::string lines = read_file(log());
    EXPECT_TRUE(std::regex_search(lines, std::regex(stamp + "error: in file '" + dir.file("rooms.conf") +
                                                    "' at line 3: unrecognized syntax\n$")))
        << lines;
}

TEST_F(daemon_test, a_store_that_cannot_serve_ends_start_up) {
    dir.write("garbage.db", std::string(4096, 'x'));
    const struct {
        std::string connection, error;
    } cases[] = {
        {"mysql:chat", "error: unknown database connection 'mysql:chat'"},
        {"sqlite:garbage.db", "error: store '" + dir.file("garbage.db") + "': file is not a database"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connection);
        std::remove(log().c_str());
        ASSERT_EQ(launch({write_config("db.connection = " + c.connection + "\n")}).status, 0);
        daemon_process daemon(log());
        ASSERT_GT(daemon.pid(), 0);
        EXPECT_EQ(daemon.wait_exit(), 1);
        EXPECT_EQ(test_support::count_lines(log(), "] " + c.error), 1) << read_file(log());
    }
}

TEST_F(daemon_test, two_hundred_connections_leave_the_daemon_serving) {
    ASSERT_EQ(launch({write_config()}).status, 0);
    daemon_process daemon(log());
    ASSERT_GT(daemon.pid(), 0);
    ASSERT_TRUE(test_support::wait_listening(1612));
    std::vector<int> clients;
    for (int i = 0; i < 200; ++i) {
        int fd = test_support::connect_local(1612);
        ASSERT_GE(fd, 0) << "connection " << i;
        clients.push_back(fd);
    }
    // Each becomes a session; an unknown verb ends it without a reply.
    for (int fd : clients) {
        timeval limit{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ASSERT_EQ(write(fd, "XYZ\n", 4), 4);
        char byte;
        EXPECT_EQ(read(fd, &byte, 1), 0);
        close(fd);
    }
    EXPECT_TRUE(daemon.running());
    EXPECT_EQ(test_support::exchange(1612, "XYZ\n"), "");
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait_exit(), 0);
    EXPECT_EQ(test_support::count_lines(log(), "smooth shutdown (fds: 3)"), 1);
}

TEST_F(daemon_test, running_out_of_descriptors_neither_ends_nor_spins_the_daemon) {
    ASSERT_EQ(launch({write_config()}).status, 0);
    daemon_process daemon(log());
    ASSERT_GT(daemon.pid(), 0);
    ASSERT_TRUE(test_support::wait_listening(1613));
    std::this_thread::sleep_for(100ms);  // until the probe connection is closed again
    // Leave the daemon no descriptor beyond those it holds now.
    ASSERT_TRUE(test_support::limit_descriptors(daemon.pid()));
    long before = test_support::cpu_ticks(daemon.pid());
    std::vector<int> clients;
    for (int i = 0; i < 20; ++i) {
        int fd = test_support::connect_local(1612);
        if (fd >= 0) clients.push_back(fd);
    }
    EXPECT_EQ(clients.size(), 20u);  // queued by the kernel, never accepted
    std::this_thread::sleep_for(1500ms);
    long spent = test_support::cpu_ticks(daemon.pid()) - before;
    EXPECT_LT(spent, 30) << "clock ticks of CPU time while the listener stayed readable";
    EXPECT_TRUE(daemon.running());
    // Reported once for the whole shortage, through the log's reserve.
    EXPECT_EQ(test_support::count_lines(log(), "] error: " + std::string(std::strerror(EMFILE))), 1);
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.wait_exit(), 0);
    for (int fd : clients) close(fd);
}

}  // namespace
