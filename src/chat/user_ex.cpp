#include "chat/user_ex.hpp"

namespace vorta {

user_ex::user_ex(const std::string& nickname, const ip& address, int rank)
    : nickname_(nickname), address_(address), rank_(rank) {}

}  // namespace vorta
