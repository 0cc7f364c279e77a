#pragma once
// The visitor's own address behind a trusted reverse proxy. A request that
// comes from one of the configured proxies names the visitor in the last
// entry of its X-Forwarded-For header, or else in X-Real-IP; a request from
// anywhere else, or a header that holds no valid address, leaves the peer's
// address in force.
#include <string>
#include <string_view>

namespace vorta {

class forwarded_address {
public:
    // Takes one header line ("Name: value", with or without its line end)
    // and keeps it when it is one of the two headers. The last header of a
    // name counts, as the proxy appends its own.
    void add_header(std::string_view line);

    // The address that the request speaks for: the forwarded one when `peer`
    // is one of `proxies` (addresses separated by blanks, tabs or commas)
    // and the header names a valid address; `peer` otherwise.
    std::string resolve(const std::string& peer, const std::string& proxies) const;

    // Whether `peer` is one of `proxies`.
    static bool is_proxy(const std::string& peer, const std::string& proxies);

    // An IPv4 or IPv6 address in its canonical text (lower case, as
    // inet_ntop writes it); empty when `text` is no address. Blanks and tabs
    // around it are allowed; a port or brackets are not.
    static std::string canonical(std::string_view text);

private:
    std::string forwarded_for;
    std::string real_ip;
    bool has_forwarded_for = false;
    bool has_real_ip = false;
};

}  // namespace vorta
