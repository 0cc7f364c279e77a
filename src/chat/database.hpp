#pragma once
// The persistence interface behind profiles, bans, nickname locks, clans,
// skins and room bookkeeping. With an empty connection text nothing is kept
// and every query gives the answer of an empty store; with "sqlite:" + file
// an embedded store keeps them. A store that fails mid-chat costs only the
// operation: it is logged (once a minute at most) and answered as if empty.
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "chat/ip.hpp"
#include "chat/profile.hpp"
#include "store/password_hasher.hpp"

namespace vorta {

class sqlite_store;

class database {
public:
    // How loaded profiles are kept: "yes" keeps them until the next reload,
    // "pass" keeps them until another process (the command line) writes to
    // the store, "no" reads the store each time. Writes always reach the store.
    enum cache { yes, pass, no };
    // The outcome of a registration.
    enum registration { registered, taken, failed };

    // Hashes go back to the loop through `deliver` (the scheduler's post when
    // none is given).
    explicit database(password_hasher::hand_back deliver = nullptr);
    database(const database&) = delete;
    database& operator=(const database&) = delete;
    virtual ~database();

    static void init();
    // "yes" and "pass" in any letter case select their mode; any other text no.
    static cache cache_from_text(const std::string& text);
    // The store file a connection text names: empty for an empty text, else
    // the part after "sqlite:", relative to "all.path". Throws c_error for
    // any other text.
    static std::string store_path(const std::string& connection);

    // Opens the store (throws c_error when it cannot); `clean` removes
    // expired bans and locks. Rooms of an earlier run are forgotten.
    void start(const std::string& connection, cache mode, bool clean);
    void stop();
    // Takes the store settings of the reloaded configuration. A store that
    // cannot be opened throws, and the old one stays.
    void restart();

    bool banned_ip(const ip& address) const;
    // False: the ban was not stored. Bans are by the external address, the
    // one a visitor cannot choose; durations are in minutes.
    bool ban_ip(const ip& address, const int& duration);
    bool locked_nickname(const std::string& nickname) const;
    // False: the lock was not stored. The duration is in minutes.
    bool lock_nickname(const std::string& nickname, const int& duration);
    bool clan_exist(const std::string& clan) const;
    bool nickname_exist(const std::string& nickname) const;

    // True when the nickname of `record` is registered: `record` then holds
    // its profile. Otherwise `record` is left untouched. The password never
    // leaves the store: it is checked with verify_password.
    bool load_profile(profile& record) const;
    void save_profile(const profile& record);
    // Checks `password` against the stored hash of `nickname` off the loop;
    // `done` runs on the loop, with false also when there is no such account
    // or the store failed.
    void verify_password(const std::string& nickname, std::string password, std::function<void(bool)> done);
    // Registers `nickname` with a hash of `password` made off the loop and
    // the rank name `rank`; `done` runs on the loop.
    void register_nickname(const std::string& nickname, std::string password, const std::string& rank,
                           std::function<void(registration)> done);

    // Skin name to style sheet address.
    std::map<std::string, std::string> get_skins() const;

    void block_user(const long& user_id, const long& blocked_id);
    void unblock_user(const long& user_id, const long& blocked_id);

    // Returns the room's id in the store; 0 without one. Membership is kept
    // for registered accounts only: a guest has no account to refer to.
    long new_room(const std::string& name);
    void close_room(const long& room_id);
    void join_room(const long& room_id, const long& user_id);
    void leave_room(const long& room_id, const long& user_id);
    void hide_room(const long& room_id);
    void show_room(const long& room_id);

private:
    // Runs `operation` on the store; without one, or when it fails, the
    // answer is `fallback`.
    template <class Result, class Operation>
    Result guarded(Result fallback, Operation operation) const;
    void report(const std::exception& error) const;
    // The cached profile of `nickname`, or null; drops a stale cache first.
    const profile* cached(const std::string& nickname) const;
    void remember(const profile& record) const;

    std::unique_ptr<sqlite_store> store_;
    std::string connection_;
    cache mode_ = no;
    mutable std::map<std::string, profile> profiles_;  // by lower-case nickname
    mutable long seen_version_ = -1;
    mutable std::time_t last_report_ = 0;
    std::map<std::string, std::string> skins;  // what an inert interface answers
    // Last member: its worker stops before the store goes.
    password_hasher hasher_;
};

}  // namespace vorta
