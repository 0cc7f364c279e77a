#include "chat/database.hpp"

#include "util/c_util.hpp"

namespace vorta {

void database::init() {}

database::cache database::cache_from_text(const std::string& text) {
    if (nocase_equal(text, "yes")) return yes;
    if (nocase_equal(text, "pass")) return pass;
    return no;
}

void database::start(const std::string& /*connection*/, cache /*mode*/, bool /*clean*/) {}

void database::stop() {}

void database::restart() {}

bool database::banned_ip(const ip& /*address*/) const { return false; }

bool database::ban_ip(const ip& /*address*/, const int& /*duration*/) { return false; }

bool database::locked_nickname(const std::string& /*nickname*/) const { return false; }

bool database::lock_nickname(const std::string& /*nickname*/, const int& /*duration*/) {
    return false;
}

bool database::clan_exist(const std::string& /*clan*/) const { return false; }

bool database::nickname_exist(const std::string& /*nickname*/) const { return false; }

std::string database::load_profile(profile& /*record*/) const { return std::string(); }

void database::save_profile(const profile& /*record*/) {}

std::map<std::string, std::string> database::get_skins() const { return skins; }

void database::block_user(const long& /*user_id*/, const long& /*blocked_id*/) {}

void database::unblock_user(const long& /*user_id*/, const long& /*blocked_id*/) {}

long database::new_room(const std::string& /*name*/) { return 0; }

void database::close_room(const long& /*room_id*/) {}

void database::join_room(const long& /*room_id*/, const long& /*user_id*/) {}

void database::leave_room(const long& /*room_id*/, const long& /*user_id*/) {}

void database::hide_room(const long& /*room_id*/) {}

void database::show_room(const long& /*room_id*/) {}

}  // namespace vorta
