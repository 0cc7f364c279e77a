#pragma once
// The embedded SQLite file behind the database interface: registered
// nicknames with their password hashes and profiles, address bans, nickname
// locks, skins and the room bookkeeping. Opened in WAL mode with a short busy
// time-out, so that the daemon and the operator's command line can share it.
// Every failure of the file throws c_error; the caller decides what it costs.
#include <sqlite3.h>

#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "chat/profile.hpp"

namespace vorta {

class sqlite_store {
public:
    using clock = std::function<std::time_t()>;

    // Schema version kept in the file's user_version.
    static constexpr int schema_version = 1;
    // Longest wait for another connection's lock, in milliseconds.
    static constexpr int busy_timeout_ms = 100;

    // An active ban or lock, as the command line lists it.
    struct restriction {
        std::string kind;  // "ban" or "lock"
        std::string what;  // the address or the nickname
        std::time_t until;
    };

    // Opens the file at `path`, creating it with its schema when new (and its
    // directory, when only that last directory is missing). Throws
    // c_error when it cannot be opened for writing, is no store of this
    // program or carries a newer schema. `now` is the clock of every expiry.
    explicit sqlite_store(const std::string& path, clock now = nullptr);
    // The command line may wait longer for the daemon than the daemon may.
    void set_busy_timeout(int milliseconds);
    ~sqlite_store();
    sqlite_store(const sqlite_store&) = delete;
    sqlite_store& operator=(const sqlite_store&) = delete;

    // Bans are by the address the server sees; durations are in minutes and
    // end to the second they were given for. Non-positive durations store nothing.
    bool banned(const std::string& address);
    bool ban(const std::string& address, int minutes);
    bool unban(const std::string& address);  // false: no active ban
    bool locked(const std::string& nickname);
    bool lock(const std::string& nickname, int minutes);
    bool unlock(const std::string& nickname);  // false: no active lock
    // Active bans, then active locks, each by the end of its time.
    std::vector<restriction> restrictions();
    // Removes expired bans and locks.
    void clean();

    // Nicknames compare without regard to letter case.
    bool nickname_exist(const std::string& nickname);
    // A clan exists while a registered nickname belongs to it.
    bool clan_exist(const std::string& clan);
    // Fills `record` (id, stored nickname and every field) for its nickname;
    // false, with `record` untouched, when the nickname is not registered.
    bool load_profile(profile& record);
    // Writes every field of the account `record` names by id.
    void save_profile(const profile& record);
    // The encoded hash of a registered nickname; empty when there is none.
    std::string password_hash(const std::string& nickname);

    // False when the nickname is registered already.
    bool add_account(const std::string& nickname, const std::string& hash, const std::string& rank);
    // Each false when the nickname is not registered.
    bool set_password_hash(const std::string& nickname, const std::string& hash);
    bool set_rank(const std::string& nickname, const std::string& rank);
    bool set_clan(const std::string& nickname, const std::string& clan);
    bool remove_account(const std::string& nickname);

    // Skin name to style sheet address, as stored.
    std::map<std::string, std::string> skins();
    void block(long user_id, long blocked_id);
    void unblock(long user_id, long blocked_id);

    // Rooms live for one run of the daemon: `forget_rooms` clears them at start.
    long new_room(const std::string& name);
    void close_room(long room_id);
    void join_room(long room_id, long user_id);
    void leave_room(long room_id, long user_id);
    void set_room_hidden(long room_id, bool hidden);
    void forget_rooms();

    // Changes whenever another connection commits to the file.
    long data_version();

private:
    class statement;

    void exec(const std::string& sql);
    void create_schema();
    statement& prepared(int which);
    // A ban or lock of `key`: active now, given for `minutes`, lifted.
    bool active(int ask, const std::string& key);
    bool impose(int give, const std::string& key, int minutes);
    bool lift(int end, const std::string& key);
    std::time_t now() const;
    [[noreturn]] void fail(const std::string& doing) const;

    sqlite3* db_ = nullptr;
    std::string path_;
    clock clock_;
    std::vector<std::unique_ptr<statement>> statements_;
};

}  // namespace vorta
