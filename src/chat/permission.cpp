#include "chat/permission.hpp"

#include <boost/regex.hpp>

#include "util/c_util.hpp"

namespace vorta {

permission::permission(const std::string& name_, const std::string& label_,
                       const int& mark_weight_, const int& vote_weight_, const bool& immune_,
                       const bool& can_alarm_, const bool& gets_alarm_, const int& level_,
                       const bool& can_kick_all_, const int& max_ban_, const bool& can_kill_,
                       const int& max_lock_, const bool& sees_ip_)
    : name(name_),
      label(label_),
      mark_weight(mark_weight_),
      vote_weight(vote_weight_),
      immune(immune_),
      can_alarm(can_alarm_),
      gets_alarm(gets_alarm_),
      level(level_),
      can_kick_all(can_kick_all_),
      max_ban(max_ban_),
      can_kill(can_kill_),
      max_lock(max_lock_),
      sees_ip(sees_ip_) {}

bool permission::operator()(const permission& other) const { return name == other.name; }

bool permission::operator()(const permission& a, const permission& b) const {
    return a.level < b.level;
}

bool permission::parse_line(const std::string& line, permission& rank) {
    static const boost::regex syntax(
        R"(\s*([\w\d]+)\s+([\w\d]+)\s+(\d{1,4})\s+(\d{1,4})\s+([01])\s+([01])\s+([01]))"
        R"(\s+(\d{1,4})\s+([01])\s+(\d{1,4})\s+([01])\s+(\d{1,4})\s+([01])\s*)");
    boost::smatch m;
    if (!boost::regex_match(line, m, syntax)) return false;

    // The regex admits at most four digits, so every number fits an int.
    const auto number = [&m](int group) {
        return static_cast<int>(string_to_long(m[group].str(), 10));
    };
    const auto flag = [&number](int group) { return number(group) != 0; };
    rank = permission(m[1].str(), m[2].str(), number(3), number(4), flag(5), flag(6), flag(7),
                      number(8), flag(9), number(10), flag(11), number(12), flag(13));
    return true;
}

}  // namespace vorta
