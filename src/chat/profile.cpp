#include "chat/profile.hpp"

namespace vorta {

profile::profile() { reset(); }

profile::profile(const std::string& nickname) : nickname_(nickname) { reset(); }

void profile::reset() {
    const std::time_t now = std::time(nullptr);
    if (now != static_cast<std::time_t>(-1)) login_time_ = now;
}

int profile::online_time() const {
    if (login_time_ == 0) return -1;
    const std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1)) return -1;
    // Integer division rounds toward zero, which is what whole minutes means.
    return static_cast<int>((now - login_time_) / 60);
}

}  // namespace vorta
