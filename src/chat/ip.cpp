#include "chat/ip.hpp"

#include "util/c_util.hpp"

namespace vorta {

ip::ip(const std::string& external_address) : external(lower_case(external_address)) {}

ip::ip(const std::string& external_address, const std::string& internal_address)
    : external(lower_case(external_address)), internal(lower_case(internal_address)) {}

void ip::set_extern(const std::string& address) { external = lower_case(address); }

void ip::set_intern(const std::string& address) { internal = lower_case(address); }

bool ip::operator==(const ip& other) const {
    return external == other.external && internal == other.internal;
}

bool ip::operator<(const ip& other) const {
    return external + internal < other.external + other.internal;
}

}  // namespace vorta
