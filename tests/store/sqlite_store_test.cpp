#include "store/sqlite_store.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "net/c_error.hpp"
#include "chat/user.hpp"
#include "support/chat_world.hpp"
#include "support/temp_dir.hpp"

namespace vorta {
namespace {

class sqlite_store_test : public ::testing::Test {
protected:
    std::unique_ptr<sqlite_store> open() { return std::make_unique<sqlite_store>(path); }
    static auto fields(const profile& p) {
        return std::make_tuple(p.get_id(), p.get_login_time(), p.get_nickname(), p.get_rank(),
                               p.get_mode(), p.get_skin(), p.get_skin_path(), p.get_show_images(),
                               p.get_homepage(), p.get_photo(), p.get_banner(), p.get_clan(),
                               p.get_colour(), p.get_blocked());
    }

    test_support::temp_dir dir;
    std::string path = dir.file("data/vcd.db");
};

TEST_F(sqlite_store_test, accounts_keep_every_field_of_their_profile) {
    auto store = open();
    ASSERT_TRUE(store->add_account("Anna", "hash-a", "mod") &&
                store->add_account("berta", "hash-b", ""));
    EXPECT_FALSE(store->add_account("ANNA", "other", ""));
    EXPECT_TRUE(store->nickname_exist("aNNa") && !store->nickname_exist("carla"));
    EXPECT_EQ(store->password_hash("anna") + "|" + store->password_hash("carla"), "hash-a|");
    profile anna("anna");
    ASSERT_TRUE(store->load_profile(anna));
    EXPECT_EQ(anna.get_nickname() + " " + anna.get_rank(), "Anna mod");  // as registered
    const long id = anna.get_id();
    EXPECT_GT(id, 0);
    profile written("Anna");  // every field set
    written.set_id(id), written.set_login_time(1700000000), written.set_rank("mod");
    written.set_mode("photo"), written.set_skin("night"), written.set_show_images(true);
    written.set_skin_path("css/skins/night.css"), written.set_homepage("www.example.org");
    written.set_photo("www.example.org/a.jpg"), written.set_banner("www.example.org/b.gif");
    written.set_clan("Rot"), written.set_colour("FF0000"), written.set_blocked({7, 3});
    store->save_profile(written);
    store = open();
    EXPECT_GT(store->new_room("Dach"), store->new_room("Keller"));
    profile read("ANNA");
    ASSERT_TRUE(store->load_profile(read));
    EXPECT_EQ(fields(read), fields(written));
    // A session saves every field it loaded, the look by its own name.
    test_support::chat_world();
    test_support::peer session("10.0.0.1", {"Anna", ""});
    session.load(read);
    profile saved("Anna");
    session->save_profile(saved);
    written.set_mode("Photo");
    EXPECT_EQ(fields(saved), fields(written));

    EXPECT_TRUE(store->set_clan("berta", "Blau") && store->clan_exist("BLAU") &&
                store->clan_exist("rot") && !store->clan_exist(""));
    EXPECT_TRUE(store->set_rank("berta", "guard") && store->set_password_hash("berta", "hash-c"));
    EXPECT_EQ(store->password_hash("berta"), "hash-c");
    store->block(id, 9);
    store->block(id, 9);
    store->unblock(id, 7);
    ASSERT_TRUE(store->load_profile(read));
    EXPECT_EQ(read.get_blocked(), (std::list<long>{3, 9}));
    profile unknown("carla");
    unknown.set_colour("00FF00");
    EXPECT_FALSE(store->load_profile(unknown));
    EXPECT_EQ(unknown.get_colour(), "00FF00");  // untouched
    EXPECT_FALSE(store->set_clan("carla", "x") || store->set_rank("carla", "mod") ||
                 store->set_password_hash("carla", "h") || store->remove_account("carla"));
    // Removing an account removes its blocks and the blocks of it.
    profile berta("berta");
    ASSERT_TRUE(store->load_profile(berta));
    store->block(berta.get_id(), id);
    EXPECT_TRUE(store->remove_account("anna"));
    EXPECT_FALSE(store->nickname_exist("anna"));
    ASSERT_TRUE(store->load_profile(berta));
    EXPECT_TRUE(berta.get_blocked().empty());
    EXPECT_EQ(berta.get_clan() + " " + berta.get_rank(), "Blau guard");
    EXPECT_EQ(store->skins(),
              (std::map<std::string, std::string>{{"default", "css/skins/default.css"},
                                                  {"night", "css/skins/night.css"}}));
}

TEST_F(sqlite_store_test, broken_or_read_only_files_are_refused_at_open) {
    const auto refusal = [this]() -> std::string {
        try {
            open();
        } catch (const c_error& error) {
            return error.what();
        }
        return "";
    };
    dir.write("garbage.db", std::string(8192, 'x'));
    path = dir.file("garbage.db");
    EXPECT_NE(refusal(), "");
    EXPECT_EQ(test_support::read_file(path), std::string(8192, 'x'));  // left as it was
    // A store written by a newer version of the daemon is not touched.
    path = dir.file("newer.db");
    sqlite3* newer = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &newer), SQLITE_OK);
    sqlite3_exec(newer, "PRAGMA user_version = 2", nullptr, nullptr, nullptr);
    sqlite3_close(newer);
    EXPECT_EQ(refusal(), "store '" + path + "' has the newer schema version 2");
    path = dir.file("new.db");
    EXPECT_EQ(refusal(), "");
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(path.c_str(), 0444);
    // Root writes any file: the check runs as an unprivileged user.
    const pid_t child = fork();
    if (child == 0) {
        if (getuid() == 0 && setresuid(65534, 65534, 65534) != 0) _exit(2);
        _exit(refusal() == "can't open store '" + path + "': not writable" ? 0 : 3);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace vorta
