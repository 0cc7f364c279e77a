// The operator's commands on a store file, without a daemon: how the words
// are read, and each command's exit status, output and error text.
#include "command_line.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "store/password_hasher.hpp"
#include "store/sqlite_store.hpp"
#include "support/chat_world.hpp"
#include "support/temp_dir.hpp"
#include "util/c_util.hpp"

namespace vorta {
namespace {

class command_line_test : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("ranks.conf", "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\nguard Wache 4 4 0 0 0 10 0 0 0 0 1\n");
        config = dir.write("vcd.conf", "all.path = " + dir.path() +
                                           "\nfile.permissions = ranks.conf\ndb.connection = sqlite:run/vcd.db\n"
                                           "nick.min = 3\nnick.max = 12\npwd.max = 15\nfile.log = vcd.log\n");
    }
    // The commands load the program-wide configuration: the chat tests get theirs back.
    void TearDown() override {
        test_support::chat_world();
        test_support::configure("");
    }

    struct outcome {
        int status;
        std::string out, err;
    };
    outcome run(std::vector<std::string> words, const std::string& input = "") {
        words.insert(words.begin(), {"-c", config});
        command_line command(words);
        std::istringstream in(input);
        std::ostringstream out, err;
        const int status = command.run(in, out, err);
        return {status, out.str(), err.str()};
    }

    test_support::temp_dir dir;
    std::string config;
};

TEST_F(command_line_test, words_choose_the_daemon_or_a_command_and_the_configuration) {
    ::setenv("VCCONFIG", "/etc/from-env.conf", 1);
    const struct {
        std::vector<std::string> words;
        bool daemon;
        std::string config;
    } rows[] = {
        {{}, true, "/etc/from-env.conf"},
        {{"my.conf"}, true, "my.conf"},
        {{"my.conf", "other.conf"}, true, "my.conf"},
        {{"bans"}, false, "/etc/from-env.conf"},
        {{"-c", "my.conf", "bans"}, false, "my.conf"},
        {{"-c", "my.conf"}, true, "my.conf"},
        {{"-c"}, true, ""},
    };
    for (const auto& row : rows) {
        command_line words(row.words);
        EXPECT_EQ(words.starts_daemon(), row.daemon) << row.words.size();
        EXPECT_EQ(words.config_file(), row.config) << row.words.size();
    }
    ::unsetenv("VCCONFIG");
    EXPECT_EQ(command_line(std::vector<std::string>{"bans"}).config_file(), "");
    std::ostringstream out, err;
    std::istringstream in;
    EXPECT_EQ(command_line(std::vector<std::string>{"bans"}).run(in, out, err), 1);
    EXPECT_EQ(err.str(), "error: no configuration file found\n");
}

// One script on one store: every command succeeds once and then says why not.
TEST_F(command_line_test, each_command_succeeds_or_says_why_not) {
    const struct {
        std::vector<std::string> words;
        std::string input;
        int status;
        std::string err;
    } script[] = {
        {{"bans"}, "", 0, ""},
        {{"register", "Anna", "guard"}, "geheim123\n", 0, ""},
        {{"register", "anna"}, "geheim123\n", 1, "nickname 'anna' is registered already"},
        {{"register", "an na"}, "geheim123\n", 1, "nickname 'an na' has a character that \"nick.valid\" refuses"},
        {{"register", "an"}, "geheim123\n", 1, "nickname 'an' is shorter than \"nick.min\" or longer than \"nick.max\""},
        {{"register", "berta", "chef"}, "geheim123\n", 1, "no rank named 'chef' in the permission file"},
        {{"register", "berta"}, "kurz\n", 1, "the password must have at least 8 characters"},
        {{"register", "berta"}, "sechzehn-zeichen\n", 1, "the password may have at most 15 characters (\"pwd.max\")"},
        {{"register", "berta"}, "", 1, "no password on standard input"},
        {{"register", "berta"}, "geheim456\r\nrest\n", 0, ""},
        {{"register"}, "", 1, "usage: vcd [-c FILE] register NICK [RANK]"},
        {{"rank", "anna"}, "", 1, "usage: vcd [-c FILE] rank NICK RANK"},
        {{"bans", "x"}, "", 1, "usage: vcd [-c FILE] bans"},
        {{"frobnicate"}, "", 1, "unknown command 'frobnicate'"},
        {{"rank", "anna", "chef"}, "", 1, "no rank named 'chef' in the permission file"},
        {{"rank", "carla", "visitor"}, "", 1, "nickname 'carla' is not registered"},
        {{"rank", "ANNA", "Visitor"}, "", 0, ""},
        {{"clan", "anna", "Rot"}, "", 0, ""},
        {{"clan", "carla"}, "", 1, "nickname 'carla' is not registered"},
        {{"password", "anna"}, "neues-passwort\n", 0, ""},
        {{"password", "carla"}, "neues-passwort\n", 1, "nickname 'carla' is not registered"},
        {{"unban", "10.0.0.9"}, "", 1, "address '10.0.0.9' is not banned"},
        {{"unlock", "anna"}, "", 1, "nickname 'anna' is not locked"},
        {{"unregister", "berta"}, "", 0, ""},
        {{"unregister", "berta"}, "", 1, "nickname 'berta' is not registered"},
    };
    for (const auto& step : script) {
        SCOPED_TRACE(step.words.front() + " " + (step.words.size() > 1 ? step.words[1] : ""));
        const outcome result = run(step.words, step.input);
        EXPECT_EQ(result.status, step.status);
        EXPECT_EQ(result.err, step.err.empty() ? "" : "error: " + step.err + "\n");
        EXPECT_EQ(result.out, "");
    }
    sqlite_store store(dir.file("run/vcd.db"));
    profile anna("anna");
    ASSERT_TRUE(store.load_profile(anna));
    EXPECT_EQ(anna.get_nickname(), "Anna");
    EXPECT_EQ(anna.get_rank(), "Visitor");
    EXPECT_EQ(anna.get_clan(), "Rot");
    EXPECT_TRUE(password_hasher::verify_now(store.password_hash("anna"), "neues-passwort"));
    EXPECT_FALSE(store.nickname_exist("berta"));

    // Active bans and locks, each with its end; lifted one by one.
    ASSERT_TRUE(store.ban("10.0.0.9", 10));
    ASSERT_TRUE(store.lock("Carla", 5));
    const std::time_t now = std::time(nullptr);
    const outcome listed = run({"bans"});
    EXPECT_EQ(listed.status, 0);
    // The clock may tick between the two writes and the listing.
    for (std::time_t at : {now, now - 1}) {
        if (listed.out == "ban 10.0.0.9 until " + time_text(at + 600) + "\nlock Carla until " +
                              time_text(at + 300) + "\n")
            break;
        if (at == now - 1) ADD_FAILURE() << listed.out;
    }
    EXPECT_EQ(run({"unban", "10.0.0.9"}).status, 0);
    EXPECT_EQ(run({"unlock", "carla"}).status, 0);
    EXPECT_FALSE(store.banned("10.0.0.9"));
    EXPECT_FALSE(store.locked("carla"));
    EXPECT_EQ(run({"bans"}).out, "");
}

TEST_F(command_line_test, a_configuration_without_a_store_is_an_error) {
    config = dir.write("none.conf", "all.path = " + dir.path() + "\nfile.log = vcd.log\n");
    EXPECT_EQ(run({"bans"}).err, "error: no store: \"db.connection\" is empty\n");
    config = dir.write("other.conf", "all.path = " + dir.path() + "\ndb.connection = mysql:chat\n");
    EXPECT_EQ(run({"unban", "x"}).err, "error: unknown database connection 'mysql:chat'\n");
}

}  // namespace
}  // namespace vorta
