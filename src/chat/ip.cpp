#include "chat/ip.hpp"

#include <cctype>

namespace vorta {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

ip::ip(const std::string& external_address) : external(lower(external_address)) {}

ip::ip(const std::string& external_address, const std::string& internal_address)
    : external(lower(external_address)), internal(lower(internal_address)) {}

void ip::set_extern(const std::string& address) { external = lower(address); }

void ip::set_intern(const std::string& address) { internal = lower(address); }

bool ip::operator==(const ip& other) const {
    return external == other.external && internal == other.internal;
}

bool ip::operator<(const ip& other) const {
    return external + internal < other.external + other.internal;
}

}  // namespace vorta
