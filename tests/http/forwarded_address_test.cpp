// Which address a request behind a proxy speaks for.
#include "http/forwarded_address.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vorta::forwarded_address;

TEST(forwarded_address, only_a_trusted_peer_names_the_visitor_and_only_with_a_valid_address) {
    const std::string proxies = "10.1.1.1, 127.0.0.1\t::1";
    const struct {
        const char* what;
        const char* peer;
        std::vector<std::string> headers;
        const char* address;
    } cases[] = {
        {"no header", "127.0.0.1", {"User-Agent: x\r\n"}, "127.0.0.1"},
        {"last entry", "127.0.0.1", {"X-Forwarded-For: 203.0.113.9, 198.51.100.7\r\n"}, "198.51.100.7"},
        {"name in any case, no blank", "127.0.0.1", {"x-forwarded-for:198.51.100.7"}, "198.51.100.7"},
        {"last header", "127.0.0.1", {"X-Forwarded-For: 203.0.113.9", "X-Forwarded-For: 198.51.100.8"}, "198.51.100.8"},
        {"real ip", "127.0.0.1", {"X-Real-IP: 198.51.100.9\r\n"}, "198.51.100.9"},
        {"forwarded-for before real ip", "127.0.0.1",
         {"X-Real-IP: 198.51.100.9", "X-Forwarded-For: 198.51.100.7"}, "198.51.100.7"},
        {"IPv6, canonical", "127.0.0.1", {"X-Forwarded-For: 2001:DB8:0:0::1"}, "2001:db8::1"},
        {"IPv6 proxy", "::1", {"X-Real-IP: 198.51.100.9"}, "198.51.100.9"},
        {"another proxy in the list", "10.1.1.1", {"X-Real-IP: 198.51.100.9"}, "198.51.100.9"},
        {"untrusted peer", "127.0.0.2", {"X-Forwarded-For: 198.51.100.7", "X-Real-IP: 198.51.100.9"}, "127.0.0.2"},
        {"malformed last entry", "127.0.0.1", {"X-Forwarded-For: 198.51.100.7, evil<b>"}, "127.0.0.1"},
        {"with a port", "127.0.0.1", {"X-Forwarded-For: 198.51.100.7:443"}, "127.0.0.1"},
        {"in brackets", "127.0.0.1", {"X-Forwarded-For: [2001:db8::1]"}, "127.0.0.1"},
        {"empty", "127.0.0.1", {"X-Forwarded-For:"}, "127.0.0.1"},
        {"two addresses without a comma", "127.0.0.1", {"X-Real-IP: 1.2.3.4 5.6.7.8"}, "127.0.0.1"},
        {"zero byte", "127.0.0.1", {std::string("X-Real-IP: 1.2.3.4\0x", 20)}, "127.0.0.1"},
        {"short form", "127.0.0.1", {"X-Real-IP: 1.2.3"}, "127.0.0.1"},
        {"similar name", "127.0.0.1", {"X-Forwarded-Fort: 198.51.100.7"}, "127.0.0.1"},
    };
    for (const auto& c : cases) {
        forwarded_address forwarded;
        for (const auto& line : c.headers) forwarded.add_header(line);
        EXPECT_EQ(forwarded.resolve(c.peer, proxies), c.address) << c.what;
    }
    // Nobody is trusted without a list.
    forwarded_address forwarded;
    forwarded.add_header("X-Real-IP: 198.51.100.9");
    EXPECT_EQ(forwarded.resolve("127.0.0.1", ""), "127.0.0.1");
}

}  // namespace
