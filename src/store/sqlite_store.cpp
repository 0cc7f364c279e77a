#include "store/sqlite_store.hpp"

#include <sys/stat.h>

#include <utility>

#include "net/c_error.hpp"

namespace vorta {

namespace {

// The prepared statements, kept for the life of the connection.
enum query {
    q_banned, q_ban, q_unban, q_locked, q_lock, q_unlock, q_active_bans, q_active_locks,
    q_clean_bans, q_clean_locks, q_nickname_exist, q_clan_exist, q_load_account, q_load_blocked,
    q_save_account, q_password_hash, q_add_account, q_set_password, q_set_rank, q_set_clan,
    q_account_id, q_remove_account, q_remove_blocks, q_skins, q_block, q_unblock, q_new_room,
    q_close_room, q_join_room, q_leave_room, q_room_hidden, q_data_version, query_count
};

const char* const query_texts[] = {
    "SELECT 1 FROM ban WHERE address = ?1 AND until > ?2",
    "INSERT INTO ban(address, until) VALUES(?1, ?2) "
    "ON CONFLICT(address) DO UPDATE SET until = max(until, excluded.until)",
    "DELETE FROM ban WHERE address = ?1 AND until > ?2",
    "SELECT 1 FROM nick_lock WHERE nickname = ?1 AND until > ?2",
    "INSERT INTO nick_lock(nickname, until) VALUES(?1, ?2) "
    "ON CONFLICT(nickname) DO UPDATE SET until = max(until, excluded.until)",
    "DELETE FROM nick_lock WHERE nickname = ?1 AND until > ?2",
    "SELECT address, until FROM ban WHERE until > ?1 ORDER BY until, address",
    "SELECT nickname, until FROM nick_lock WHERE until > ?1 ORDER BY until, nickname",
    "DELETE FROM ban WHERE until <= ?1",
    "DELETE FROM nick_lock WHERE until <= ?1",
    "SELECT 1 FROM account WHERE nickname = ?1",
    "SELECT 1 FROM account WHERE clan = ?1 AND clan <> ''",
    "SELECT id, nickname, login_time, rank, mode, skin, skin_path, show_images, homepage, photo, "
    "banner, clan, colour FROM account WHERE nickname = ?1",
    "SELECT blocked FROM blocked WHERE account = ?1 ORDER BY rowid",
    "UPDATE account SET login_time = ?2, rank = ?3, mode = ?4, skin = ?5, skin_path = ?6, "
    "show_images = ?7, homepage = ?8, photo = ?9, banner = ?10, clan = ?11, colour = ?12 WHERE id = ?1",
    "SELECT hash FROM account WHERE nickname = ?1",
    "INSERT INTO account(nickname, hash, rank) VALUES(?1, ?2, ?3) ON CONFLICT(nickname) DO NOTHING",
    "UPDATE account SET hash = ?2 WHERE nickname = ?1",
    "UPDATE account SET rank = ?2 WHERE nickname = ?1",
    "UPDATE account SET clan = ?2 WHERE nickname = ?1",
    "SELECT id FROM account WHERE nickname = ?1",
    "DELETE FROM account WHERE id = ?1",
    "DELETE FROM blocked WHERE account = ?1 OR blocked = ?1",
    "SELECT name, path FROM skin ORDER BY name",
    "INSERT OR IGNORE INTO blocked(account, blocked) VALUES(?1, ?2)",
    "DELETE FROM blocked WHERE account = ?1 AND blocked = ?2",
    "INSERT INTO room(name) VALUES(?1)",
    "DELETE FROM room WHERE id = ?1",
    "INSERT OR IGNORE INTO room_member(room, account) VALUES(?1, ?2)",
    "DELETE FROM room_member WHERE room = ?1 AND account = ?2",
    "UPDATE room SET hidden = ?2 WHERE id = ?1",
    "PRAGMA data_version",
};
static_assert(std::size(query_texts) == query_count);

// Version 1. Nicknames and clans compare without regard to ASCII case, like
// every name in the chat.
const char* const schema =
    "CREATE TABLE account("
    " id INTEGER PRIMARY KEY,"
    " nickname TEXT NOT NULL UNIQUE COLLATE NOCASE,"
    " hash TEXT NOT NULL,"
    " rank TEXT NOT NULL DEFAULT '',"
    " login_time INTEGER NOT NULL DEFAULT 0,"
    " mode TEXT NOT NULL DEFAULT '',"
    " skin TEXT NOT NULL DEFAULT '',"
    " skin_path TEXT NOT NULL DEFAULT '',"
    " show_images INTEGER NOT NULL DEFAULT 0,"
    " homepage TEXT NOT NULL DEFAULT '',"
    " photo TEXT NOT NULL DEFAULT '',"
    " banner TEXT NOT NULL DEFAULT '',"
    " clan TEXT NOT NULL DEFAULT '' COLLATE NOCASE,"
    " colour TEXT NOT NULL DEFAULT '');"
    "CREATE INDEX account_clan ON account(clan);"
    "CREATE TABLE blocked(account INTEGER NOT NULL, blocked INTEGER NOT NULL,"
    " PRIMARY KEY(account, blocked));"
    "CREATE TABLE ban(address TEXT PRIMARY KEY, until INTEGER NOT NULL);"
    "CREATE TABLE nick_lock(nickname TEXT PRIMARY KEY COLLATE NOCASE, until INTEGER NOT NULL);"
    "CREATE TABLE skin(name TEXT PRIMARY KEY, path TEXT NOT NULL);"
    "INSERT INTO skin VALUES('default', 'css/skins/default.css'), ('night', 'css/skins/night.css');"
    "CREATE TABLE room(id INTEGER PRIMARY KEY, name TEXT NOT NULL, hidden INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE room_member(room INTEGER NOT NULL, account INTEGER NOT NULL,"
    " PRIMARY KEY(room, account));"
    "PRAGMA user_version = 1;";

}  // namespace

// One prepared statement: bind, step through the rows, reset.
class sqlite_store::statement {
public:
    statement(sqlite_store& owner, const char* sql) : owner_(owner) {
        if (sqlite3_prepare_v3(owner.db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK)
            owner.fail("preparing a statement");
    }
    ~statement() { sqlite3_finalize(stmt_); }
    statement(const statement&) = delete;
    statement& operator=(const statement&) = delete;

    // Starts a new use: earlier rows and bindings are dropped.
    statement& use() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        return *this;
    }
    statement& bind(int index, const std::string& text) {
        check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
        return *this;
    }
    statement& bind(int index, long long number) {
        check(sqlite3_bind_int64(stmt_, index, number));
        return *this;
    }
    // True while a row is there.
    bool row() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        sqlite3_reset(stmt_);
        if (rc != SQLITE_DONE) owner_.fail("reading or writing");
        return false;
    }
    // Runs a statement that returns no rows; the number of rows it changed.
    int run() {
        while (row()) {
        }
        return sqlite3_changes(owner_.db_);
    }
    // The first column of the first row, if there is one.
    bool exists() {
        const bool found = row();
        sqlite3_reset(stmt_);
        return found;
    }
    std::string text(int column) const {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return data == nullptr ? std::string()
                               : std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
    }
    long long number(int column) const { return sqlite3_column_int64(stmt_, column); }

private:
    void check(int rc) {
        if (rc != SQLITE_OK) owner_.fail("binding a value");
    }
    sqlite_store& owner_;
    sqlite3_stmt* stmt_ = nullptr;
};

sqlite_store::sqlite_store(const std::string& path, clock now) : path_(path), clock_(std::move(now)) {
    const auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) ::mkdir(path.substr(0, slash).c_str(), 0755);
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        std::string reason = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw c_error("can't open store '" + path + "': " + reason);
    }
    try {
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, busy_timeout_ms);
        if (sqlite3_db_readonly(db_, "main") == 1) throw c_error("can't open store '" + path + "': not writable");
        exec("PRAGMA journal_mode = WAL");
        exec("PRAGMA synchronous = NORMAL");
        create_schema();
        statements_.resize(query_count);
    } catch (...) {
        statements_.clear();
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

sqlite_store::~sqlite_store() {
    statements_.clear();
    sqlite3_close(db_);
}

void sqlite_store::set_busy_timeout(int milliseconds) { sqlite3_busy_timeout(db_, milliseconds); }

void sqlite_store::fail(const std::string& doing) const {
    throw c_error("store '" + path_ + "': " + doing + ": " + sqlite3_errmsg(db_));
}

void sqlite_store::exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string reason = error != nullptr ? error : sqlite3_errmsg(db_);
        sqlite3_free(error);
        throw c_error("store '" + path_ + "': " + reason);
    }
}

void sqlite_store::create_schema() {
    exec("BEGIN IMMEDIATE");
    try {
        statement version(*this, "PRAGMA user_version");
        version.row();
        const long long found = version.number(0);
        if (found == 0) {
            exec(schema);
        } else if (found > schema_version) {
            throw c_error("store '" + path_ + "' has the newer schema version " + std::to_string(found));
        }
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

sqlite_store::statement& sqlite_store::prepared(int which) {
    auto& slot = statements_[static_cast<std::size_t>(which)];
    if (!slot) slot = std::make_unique<statement>(*this, query_texts[which]);
    return slot->use();
}

std::time_t sqlite_store::now() const { return clock_ ? clock_() : std::time(nullptr); }

// A ban and a lock are the same kind of row, each in its own table: the
// three queries of the kind ask, give and lift it.
bool sqlite_store::active(int ask, const std::string& key) {
    return prepared(ask).bind(1, key).bind(2, now()).exists();
}

bool sqlite_store::impose(int give, const std::string& key, int minutes) {
    if (minutes <= 0) return false;
    prepared(give).bind(1, key).bind(2, now() + 60LL * minutes).run();
    return true;
}

bool sqlite_store::lift(int end, const std::string& key) {
    return prepared(end).bind(1, key).bind(2, now()).run() > 0;
}

bool sqlite_store::banned(const std::string& address) { return active(q_banned, address); }
bool sqlite_store::ban(const std::string& address, int minutes) { return impose(q_ban, address, minutes); }
bool sqlite_store::unban(const std::string& address) { return lift(q_unban, address); }
bool sqlite_store::locked(const std::string& nickname) { return active(q_locked, nickname); }
bool sqlite_store::lock(const std::string& nickname, int minutes) { return impose(q_lock, nickname, minutes); }
bool sqlite_store::unlock(const std::string& nickname) { return lift(q_unlock, nickname); }

std::vector<sqlite_store::restriction> sqlite_store::restrictions() {
    std::vector<restriction> found;
    for (auto [which, kind] : {std::pair{q_active_bans, "ban"}, std::pair{q_active_locks, "lock"}}) {
        statement& rows = prepared(which).bind(1, now());
        while (rows.row()) found.push_back({kind, rows.text(0), static_cast<std::time_t>(rows.number(1))});
    }
    return found;
}

void sqlite_store::clean() {
    prepared(q_clean_bans).bind(1, now()).run();
    prepared(q_clean_locks).bind(1, now()).run();
}

bool sqlite_store::nickname_exist(const std::string& nickname) {
    return prepared(q_nickname_exist).bind(1, nickname).exists();
}

bool sqlite_store::clan_exist(const std::string& clan) {
    return !clan.empty() && prepared(q_clan_exist).bind(1, clan).exists();
}

bool sqlite_store::load_profile(profile& record) {
    statement& account = prepared(q_load_account).bind(1, record.get_nickname());
    if (!account.row()) return false;
    profile loaded(account.text(1));
    loaded.set_id(static_cast<long>(account.number(0)));
    loaded.set_login_time(static_cast<std::time_t>(account.number(2)));
    loaded.set_rank(account.text(3));
    loaded.set_mode(account.text(4));
    loaded.set_skin(account.text(5));
    loaded.set_skin_path(account.text(6));
    loaded.set_show_images(account.number(7) != 0);
    loaded.set_homepage(account.text(8));
    loaded.set_photo(account.text(9));
    loaded.set_banner(account.text(10));
    loaded.set_clan(account.text(11));
    loaded.set_colour(account.text(12));
    account.use();
    std::list<long> blocked;
    statement& blocks = prepared(q_load_blocked).bind(1, loaded.get_id());
    while (blocks.row()) blocked.push_back(static_cast<long>(blocks.number(0)));
    loaded.set_blocked(blocked);
    record = std::move(loaded);
    return true;
}

void sqlite_store::save_profile(const profile& record) {
    if (record.get_id() <= 0) return;
    exec("BEGIN IMMEDIATE");
    try {
        prepared(q_save_account)
            .bind(1, record.get_id())
            .bind(2, static_cast<long long>(record.get_login_time()))
            .bind(3, record.get_rank())
            .bind(4, record.get_mode())
            .bind(5, record.get_skin())
            .bind(6, record.get_skin_path())
            .bind(7, record.get_show_images() ? 1LL : 0LL)
            .bind(8, record.get_homepage())
            .bind(9, record.get_photo())
            .bind(10, record.get_banner())
            .bind(11, record.get_clan())
            .bind(12, record.get_colour())
            .run();
        exec("DELETE FROM blocked WHERE account = " + std::to_string(record.get_id()));
        for (long blocked : record.get_blocked()) block(record.get_id(), blocked);
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::string sqlite_store::password_hash(const std::string& nickname) {
    statement& found = prepared(q_password_hash).bind(1, nickname);
    std::string hash = found.row() ? found.text(0) : std::string();
    found.use();
    return hash;
}

bool sqlite_store::add_account(const std::string& nickname, const std::string& hash, const std::string& rank) {
    return prepared(q_add_account).bind(1, nickname).bind(2, hash).bind(3, rank).run() > 0;
}

bool sqlite_store::set_password_hash(const std::string& nickname, const std::string& hash) {
    return prepared(q_set_password).bind(1, nickname).bind(2, hash).run() > 0;
}

bool sqlite_store::set_rank(const std::string& nickname, const std::string& rank) {
    return prepared(q_set_rank).bind(1, nickname).bind(2, rank).run() > 0;
}

bool sqlite_store::set_clan(const std::string& nickname, const std::string& clan) {
    return prepared(q_set_clan).bind(1, nickname).bind(2, clan).run() > 0;
}

bool sqlite_store::remove_account(const std::string& nickname) {
    statement& found = prepared(q_account_id).bind(1, nickname);
    if (!found.row()) return false;
    const long long id = found.number(0);
    found.use();
    exec("BEGIN IMMEDIATE");
    try {
        prepared(q_remove_account).bind(1, id).run();
        prepared(q_remove_blocks).bind(1, id).run();
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return true;
}

std::map<std::string, std::string> sqlite_store::skins() {
    std::map<std::string, std::string> found;
    statement& rows = prepared(q_skins);
    while (rows.row()) found.emplace(rows.text(0), rows.text(1));
    return found;
}

void sqlite_store::block(long user_id, long blocked_id) {
    prepared(q_block).bind(1, user_id).bind(2, blocked_id).run();
}

void sqlite_store::unblock(long user_id, long blocked_id) {
    prepared(q_unblock).bind(1, user_id).bind(2, blocked_id).run();
}

long sqlite_store::new_room(const std::string& name) {
    prepared(q_new_room).bind(1, name).run();
    return static_cast<long>(sqlite3_last_insert_rowid(db_));
}

void sqlite_store::close_room(long room_id) {
    prepared(q_close_room).bind(1, room_id).run();
    exec("DELETE FROM room_member WHERE room = " + std::to_string(room_id));
}

void sqlite_store::join_room(long room_id, long user_id) {
    prepared(q_join_room).bind(1, room_id).bind(2, user_id).run();
}

void sqlite_store::leave_room(long room_id, long user_id) {
    prepared(q_leave_room).bind(1, room_id).bind(2, user_id).run();
}

void sqlite_store::set_room_hidden(long room_id, bool hidden) {
    prepared(q_room_hidden).bind(1, room_id).bind(2, hidden ? 1LL : 0LL).run();
}

void sqlite_store::forget_rooms() { exec("DELETE FROM room_member; DELETE FROM room;"); }

long sqlite_store::data_version() {
    statement& version = prepared(q_data_version);
    const long found = version.row() ? static_cast<long>(version.number(0)) : 0;
    version.use();
    return found;
}

}  // namespace vorta
