#pragma once
// The persistence interface behind profiles, bans, nickname locks, clans,
// skins and room bookkeeping. This build has no store behind it: nothing is
// kept, and every query gives the answer of an empty store.
#include <map>
#include <string>

#include "chat/ip.hpp"
#include "chat/profile.hpp"

namespace vorta {

class database {
public:
    // How a store would cache its rows; passed through without effect here.
    enum cache { yes, pass, no };

    database() = default;
    database(const database&) = delete;
    database& operator=(const database&) = delete;
    virtual ~database() = default;

    static void init();
    // "yes" and "pass" in any letter case select their mode; any other text no.
    static cache cache_from_text(const std::string& text);

    void start(const std::string& connection, cache mode, bool clean);
    void stop();
    void restart();

    bool banned_ip(const ip& address) const;
    // False: the ban was not stored.
    bool ban_ip(const ip& address, const int& duration);
    bool locked_nickname(const std::string& nickname) const;
    // False: the lock was not stored.
    bool lock_nickname(const std::string& nickname, const int& duration);
    bool clan_exist(const std::string& clan) const;
    bool nickname_exist(const std::string& nickname) const;

    // Fills `record` from the store and returns its password; an empty password
    // means the nickname is not registered and `record` is left untouched.
    std::string load_profile(profile& record) const;
    void save_profile(const profile& record);

    // Skin name to style sheet address.
    std::map<std::string, std::string> get_skins() const;

    void block_user(const long& user_id, const long& blocked_id);
    void unblock_user(const long& user_id, const long& blocked_id);

    // Returns the room's id in the store; 0 for every room here.
    long new_room(const std::string& name);
    void close_room(const long& room_id);
    void join_room(const long& room_id, const long& user_id);
    void leave_room(const long& room_id, const long& user_id);
    void hide_room(const long& room_id);
    void show_room(const long& room_id);

private:
    std::map<std::string, std::string> skins;
};

}  // namespace vorta
