// The operator's commands on a store file, without a daemon: how the words
// are read, and each command's exit status, output and error text.
#include "command_line.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <tuple>

#include "store/password_hasher.hpp"
#include "store/sqlite_store.hpp"
#include "support/chat_world.hpp"
#include "support/temp_dir.hpp"
#include "util/c_util.hpp"

namespace vorta {
namespace {

// One script on one store: every command succeeds once and then says why not. A row's words
// name the configuration with "-c" or leave it to VCCONFIG, which names the test's.
TEST(command_line_test, each_command_succeeds_once_and_then_says_why_not) {
    test_support::temp_dir dir;
    dir.write("ranks.conf", "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\nguard Wache 4 4 0 0 0 10 0 0 0 0 1\n");
    const std::string config = dir.write(
        "vcd.conf", "all.path = " + dir.path() + "\nfile.permissions = ranks.conf\n" +
                        "db.connection = sqlite:run/vcd.db\nnick.min = 3\nnick.max = 12\npwd.max = 15\n");
    const std::string no_store = dir.write("none.conf", "all.path = " + dir.path() + "\n");
    const std::string mysql = dir.write("mysql.conf", "db.connection = mysql:chat\n");
    ::setenv("VCCONFIG", config.c_str(), 1);
    // The daemon's own forms: a configuration file alone, or "-c" with or without one.
    for (const auto& [words, file] : std::map<std::vector<std::string>, std::string>{
             {{}, config}, {{"a.conf", "b.conf"}, "a.conf"}, {{"-c", "a.conf"}, "a.conf"}, {{"-c"}, ""}}) {
        EXPECT_TRUE(command_line(words).starts_daemon());
        EXPECT_EQ(command_line(words).config_file(), file);
    }
    // A ban and a lock that end in 2096, whatever the commands' clock says.
    const std::time_t later = 4'000'000'000;
    sqlite_store store(dir.file("run/vcd.db"), [later] { return later; });
    ASSERT_TRUE(store.ban("10.0.0.9", 10));
    ASSERT_TRUE(store.lock("Carla", 5));
    // Words, standard input, exit status, and the output or the error after "error: ".
    const std::tuple<std::vector<std::string>, std::string, int, std::string> script[] = {
        {{"bans"}, "", 0,
         "ban 10.0.0.9 until " + time_text(later + 600) + "\nlock Carla until " +
             time_text(later + 300) + "\n"},
        {{"register", "Anna", "guard"}, "geheim123\n", 0, ""},
        {{"register", "anna"}, "geheim123\n", 1, "nickname 'anna' is registered already"},
        {{"register", "an na"}, "geheim123\n", 1,
         "nickname 'an na' has a character that \"nick.valid\" refuses"},
        {{"register", "an"}, "geheim123\n", 1,
         "nickname 'an' is shorter than \"nick.min\" or longer than \"nick.max\""},
        {{"register", "berta", "chef"}, "geheim123\n", 1, "no rank named 'chef' in the permission file"},
        {{"register", "berta"}, "geheim1\n", 1, "the password must have at least 8 characters"},
        {{"register", "berta"}, "sechzehn-zeichen\n", 1,
         "the password may have at most 15 characters (\"pwd.max\")"},
        {{"register", "berta"}, "", 1, "no password on standard input"},
        {{"register", "berta"}, "fuenfzehn-zeich\n", 0, ""},
        {{"register"}, "", 1, "usage: vcd [-c FILE] register NICK [RANK]"},
        {{"rank", "anna"}, "", 1, "usage: vcd [-c FILE] rank NICK RANK"},
        {{"bans", "x"}, "", 1, "usage: vcd [-c FILE] bans"},
        {{"-c", config, "frobnicate"}, "", 1, "unknown command 'frobnicate'"},
        {{"-c", "", "bans"}, "", 1, "no configuration file found"},
        {{"-c", no_store, "bans"}, "", 1, "no store: \"db.connection\" is empty"},
        {{"-c", mysql, "unban", "x"}, "", 1, "unknown database connection 'mysql:chat'"},
        {{"rank", "anna", "chef"}, "", 1, "no rank named 'chef' in the permission file"},
        {{"rank", "carla", "visitor"}, "", 1, "nickname 'carla' is not registered"},
        {{"rank", "ANNA", "Visitor"}, "", 0, ""},
        {{"clan", "anna", "Rot"}, "", 0, ""},
        {{"clan", "carla"}, "", 1, "nickname 'carla' is not registered"},
        {{"password", "anna"}, "geheim12\r\nrest\n", 0, ""},
        {{"password", "carla"}, "neues-passwort\n", 1, "nickname 'carla' is not registered"},
        {{"unregister", "berta"}, "", 0, ""},
        {{"unregister", "berta"}, "", 1, "nickname 'berta' is not registered"},
        {{"unban", "10.0.0.9"}, "", 0, ""},
        {{"unban", "10.0.0.9"}, "", 1, "address '10.0.0.9' is not banned"},
        {{"unlock", "carla"}, "", 0, ""},
        {{"unlock", "carla"}, "", 1, "nickname 'carla' is not locked"},
        {{"-c"}, "", 1, "unknown command ''"},
        {{"bans"}, "", 0, ""}};
    for (const auto& [words, input, status, text] : script) {
        SCOPED_TRACE(words[0] + " " + (words.size() > 1 ? words[1] : ""));
        std::istringstream in(input);
        std::ostringstream out, err;
        EXPECT_EQ(command_line(words).run(in, out, err), status);
        EXPECT_EQ(out.str(), status == 0 ? text : "");
        EXPECT_EQ(err.str(), status == 0 ? "" : "error: " + text + "\n");
    }
    ::unsetenv("VCCONFIG");
    // The commands load the program-wide configuration: the chat tests get theirs back.
    test_support::chat_world();
    test_support::configure("");
    profile anna("anna");
    ASSERT_TRUE(store.load_profile(anna));
    EXPECT_EQ(anna.get_nickname() + " " + anna.get_rank() + " " + anna.get_clan(), "Anna Visitor Rot");
    EXPECT_TRUE(password_hasher::verify_now(store.password_hash("anna"), "geheim12"));
}

}  // namespace
}  // namespace vorta
