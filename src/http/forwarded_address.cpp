#include "http/forwarded_address.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>

#include "util/c_util.hpp"

namespace vorta {

namespace {

bool is_header(std::string_view line, std::string_view name) {
    return line.size() > name.size() && line[name.size()] == ':' &&
           nocase_equal(std::string(line.substr(0, name.size())), std::string(name));
}

std::string value_of(std::string_view line, std::size_t name_size) {
    std::string_view value = line.substr(name_size + 1);
    const auto end = value.find_first_of("\r\n");
    if (end != std::string_view::npos) value = value.substr(0, end);
    return std::string(value);
}

}  // namespace

void forwarded_address::add_header(std::string_view line) {
    static constexpr std::string_view xff = "X-Forwarded-For";
    static constexpr std::string_view xri = "X-Real-IP";
    if (is_header(line, xff)) {
        forwarded_for = value_of(line, xff.size());
        has_forwarded_for = true;
    } else if (is_header(line, xri)) {
        real_ip = value_of(line, xri.size());
        has_real_ip = true;
    }
}

std::string forwarded_address::resolve(const std::string& peer, const std::string& proxies) const {
    if ((!has_forwarded_for && !has_real_ip) || !is_proxy(peer, proxies)) return peer;
    std::string named;
    if (has_forwarded_for) {
        const auto comma = forwarded_for.rfind(',');
        named = canonical(comma == std::string::npos ? forwarded_for : forwarded_for.substr(comma + 1));
    } else {
        named = canonical(real_ip);
    }
    return named.empty() ? peer : named;
}

bool forwarded_address::is_proxy(const std::string& peer, const std::string& proxies) {
    const std::string own = canonical(peer);
    if (own.empty()) return false;
    for (std::size_t start = 0; start < proxies.size();) {
        const std::size_t end = std::min(proxies.find_first_of(" \t,", start), proxies.size());
        if (end > start && canonical(std::string_view(proxies).substr(start, end - start)) == own) return true;
        start = end + 1;
    }
    return false;
}

std::string forwarded_address::canonical(std::string_view text) {
    const std::string address = trim(std::string(text));
    if (address.find('\0') != std::string::npos) return std::string();
    char buffer[INET6_ADDRSTRLEN];
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1)
        return inet_ntop(AF_INET, &v4, buffer, sizeof buffer) != nullptr ? buffer : "";
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) == 1)
        return inet_ntop(AF_INET6, &v6, buffer, sizeof buffer) != nullptr ? buffer : "";
    return std::string();
}

}  // namespace vorta
