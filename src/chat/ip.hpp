#pragma once
// The address pair that identifies a chat participant: the address the server
// sees and the one the client reports. Both are lower-cased on entry so that
// the applet and the browser connection of one participant compare equal.
#include <string>

namespace vorta {

class ip {
public:
    ip() = default;
    explicit ip(const std::string& external_address);
    ip(const std::string& external_address, const std::string& internal_address);
    ip(const ip&) = default;
    ip(ip&&) = default;
    ip& operator=(const ip&) = default;
    ip& operator=(ip&&) = default;
    virtual ~ip() = default;

    void set_extern(const std::string& address);
    void set_intern(const std::string& address);

    bool operator==(const ip& other) const;
    // Orders by the concatenation external + internal; only meant for sorted
    // containers, it does not separate ("a", "b") from ("ab", "").
    bool operator<(const ip& other) const;

    // Read directly by the rest of the chat; assign through the setters to
    // keep them lower-cased.
    std::string external;
    std::string internal;
};

}  // namespace vorta
