// The chat's interface to its store: connection texts, cache modes and a locked store.
#include "chat/database.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>

#include "net/c_error.hpp"
#include "store/sqlite_store.hpp"
#include "support/chat_world.hpp"
#include "support/daemon.hpp"
#include "support/temp_dir.hpp"

namespace vorta {
namespace {

// A store file and a log of the test's own.
class store_database : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::chat_world();
        test_support::configure("file.log = " + dir.file("vcd.log") + "\n");
    }
    void TearDown() override { test_support::configure(""); }

    test_support::temp_dir dir;
    std::string connection = "sqlite:" + dir.file("vcd.db");
    database db{[](std::function<void()>) {}};  // nothing here hashes a password
};

// A store that another process keeps locked fails the operation, not the chat: the write is
// answered as by an empty store, one error line is logged per minute, reads go on, and the store
// serves again once the lock is gone. A refused connection text leaves the store in use as it
// was; the cache mode is read ignoring case.
TEST_F(store_database, a_locked_store_costs_the_operation_and_connection_texts_may_be_refused) {
    db.start(connection, database::no, true);
    const ip visitor("10.0.0.9"), other("10.0.0.8");
    ASSERT_TRUE(db.ban_ip(visitor, 10));
    EXPECT_TRUE(sqlite_store(dir.file("vcd.db")).banned("10.0.0.9"));
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("vcd.db").c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE; DELETE FROM skin;", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(db.ban_ip(other, 10));
    EXPECT_FALSE(db.lock_nickname("anna", 10));
    EXPECT_TRUE(db.banned_ip(visitor));
    EXPECT_EQ(test_support::count_lines(dir.file("vcd.log"), "] error: store '" + dir.file("vcd.db") + "'"), 1);
    EXPECT_EQ(test_support::count_lines(dir.file("vcd.log"), "error: "), 1);
    ASSERT_EQ(sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(holder);
    EXPECT_TRUE(db.ban_ip(other, 10));
    EXPECT_TRUE(db.banned_ip(other));
    EXPECT_EQ(db.get_skins().size(), 2u);
    db.stop();
    EXPECT_FALSE(db.banned_ip(visitor));  // without a store nothing is banned
    const std::pair<const char*, database::cache> modes[] = {
        {"YES", database::yes}, {"pASS", database::pass}, {"other", database::no}, {"yes ", database::no}};
    for (const auto& [text, mode] : modes) EXPECT_EQ(database::cache_from_text(text), mode) << text;
    db.start(connection, database::no, true);
    EXPECT_EQ(database::store_path("sqlite:/var/lib/vcd.db"), "/var/lib/vcd.db");
    for (const char* refused : {"sqlite:", "mysql:chat", "SQLITE:x.db", "x.db"}) {
        EXPECT_THROW(database::store_path(refused), c_error) << refused;
        EXPECT_THROW(db.start(refused, database::no, false), c_error) << refused;
    }
    dir.write("garbage.db", std::string(4096, 'x'));
    EXPECT_THROW(db.start("sqlite:" + dir.file("garbage.db"), database::no, false), c_error);
    EXPECT_TRUE(db.ban_ip(ip("10.0.0.9"), 1));
}

// "yes" keeps a loaded profile until the next reload, "pass" until another
// process writes to the store, anything else reads the store each time; the
// session's own writes reach the store in every mode.
TEST_F(store_database, cache_modes_decide_when_a_change_by_another_process_shows) {
    const std::pair<database::cache, const char*> rows[] = {
        {database::yes, "visitor"}, {database::pass, "mod"}, {database::no, "mod"}};
    sqlite_store other(dir.file("vcd.db"));
    ASSERT_TRUE(other.add_account("anna", "hash", "visitor"));
    for (const auto& [mode, seen] : rows) {
        SCOPED_TRACE(seen);
        ASSERT_TRUE(other.set_rank("anna", "visitor"));
        db.start(connection, mode, false);
        profile first("anna"), second("anna"), reloaded("anna"), stored("anna");
        ASSERT_TRUE(db.load_profile(first));
        ASSERT_TRUE(other.set_rank("anna", "mod"));
        ASSERT_TRUE(db.load_profile(second));
        EXPECT_EQ(second.get_rank(), seen);
        db.start(connection, mode, false);  // a store opened anew forgets what was cached
        ASSERT_TRUE(db.load_profile(reloaded));
        EXPECT_EQ(reloaded.get_rank(), "mod");
        second.set_colour("FF0000");
        db.save_profile(second);
        ASSERT_TRUE(other.load_profile(stored));
        EXPECT_EQ(stored.get_colour(), "FF0000");
    }
}

}  // namespace
}  // namespace vorta
