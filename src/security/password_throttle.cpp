#include "security/password_throttle.hpp"

#include "util/c_util.hpp"

namespace vorta {

std::string password_throttle::key(const std::string& address, const std::string& nickname) {
    return address + '\n' + lower_case(nickname);
}

bool password_throttle::waiting(const std::string& address, const std::string& nickname, std::time_t now) {
    const auto found = entries_.find(key(address, nickname));
    if (found == entries_.end() || found->second.until == 0) return false;
    if (now < found->second.until) return true;
    // The minute is over: three new tries.
    entries_.erase(found);
    return false;
}

bool password_throttle::failed(const std::string& address, const std::string& nickname, std::time_t now) {
    if (entries_.size() >= max_entries) prune(now);
    entry& counted = entries_[key(address, nickname)];
    if (counted.until != 0) return false;
    if (++counted.wrong < allowed) return false;
    counted.until = now + pause;
    return true;
}

void password_throttle::succeeded(const std::string& address, const std::string& nickname) {
    entries_.erase(key(address, nickname));
}

void password_throttle::prune(std::time_t now) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->second.until == 0 || it->second.until <= now)
            it = entries_.erase(it);
        else
            ++it;
    }
    // Nothing left to forget: a flood of distinct waits starts over.
    if (entries_.size() >= max_entries) entries_.clear();
}

}  // namespace vorta
