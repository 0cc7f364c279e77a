#pragma once
// What the chat remembers of a user who has just logged out, so that a
// moderator can still ban his address for a while afterwards.
#include <string>

#include "chat/ip.hpp"

namespace vorta {

class user_ex {
public:
    // `rank` is the level of the user's rank when he left.
    user_ex(const std::string& nickname, const ip& address, int rank);
    user_ex(const user_ex&) = default;
    user_ex(user_ex&&) = default;
    user_ex& operator=(const user_ex&) = default;
    user_ex& operator=(user_ex&&) = default;
    virtual ~user_ex() = default;

    const std::string& get_nickname() const { return nickname_; }
    const ip& get_ip() const { return address_; }
    int get_rank() const { return rank_; }

private:
    std::string nickname_;
    ip address_;
    int rank_;
};

}  // namespace vorta
