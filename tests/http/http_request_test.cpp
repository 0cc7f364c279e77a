// A request head parsed line by line, the WebSocket opening handshake with
// every refusal, and the address a request behind a proxy speaks for.
#include "http/http_request.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "http/forwarded_address.hpp"
#include "http/ws_handshake.hpp"

namespace {

using vorta::http_request;
using vorta::ws_handshake;
using strings = std::vector<std::string>;

TEST(http_request, request_lines_headers_and_token_lists) {
    const std::tuple<const char*, const char*, const char*> lines[] = {  // line, method, path
        {"GET /chat/index.html HTTP/1.1", "GET", "/chat/index.html"},
        {"HEAD /chat/ HTTP/1.0", "HEAD", "/chat/"},
        {"GET /chat/ws?x=1 HTTP/1.1", "GET", "/chat/ws"}, {"GET /a#b HTTP/1.1", "GET", "/a"},
        {"DELETE /x HTTP/1.1", "DELETE", "/x"}, {"GET /x HTTP/2.0", "", ""}, {"GET /x", "", ""},
        {"GET  /x HTTP/1.1", "", ""}, {"GET /x HTTP/1.1 more", "", ""}, {"G(T /x HTTP/1.1", "", ""},
        {"GET /a\x01" "b HTTP/1.1", "", ""}, {"GET /a\rb HTTP/1.1", "", ""}, {"", "", ""},
    };
    for (const auto& [line, method, path] : lines) {
        http_request request;
        EXPECT_EQ(request.set_request_line(line), *method != '\0') << line;
        EXPECT_EQ(request.method() + " " + request.path(), std::string(method) + " " + path)
            << line;
    }
    http_request request;
    ASSERT_TRUE(request.set_request_line("GET / HTTP/1.1"));
    for (const char* header :
         {"Host: chat.test:1614", "origin:\t http://chat.test:1614  ", "Origin: http://other.test",
          "X-Empty:", "Connection: keep-alive, Upgrade", "Upgrade: WebSocket", "Connection: close"})
        EXPECT_TRUE(request.add_header(header)) << header;
    for (const std::string& header : strings{"no colon here", "Space : before colon", ": no name",
                                     " folded: continuation", std::string("X-Zero: a\0b", 11),
                                     "X-Return: a\rb"})
        EXPECT_FALSE(request.add_header(header)) << header;
    EXPECT_EQ(request.header("HOST"), "chat.test:1614");
    EXPECT_EQ(request.header("Origin"), "http://chat.test:1614");  // the first one counts
    EXPECT_TRUE(request.has_header("x-empty"));
    EXPECT_EQ(request.header("X-Empty"), "");
    EXPECT_FALSE(request.has_header("Accept"));
    const std::tuple<const char*, const char*, bool> lists[] = {
        {"connection", "upgrade", true}, {"Connection", "keep-alive", true},
        {"Connection", "close", true},  // a later header of the same name
        {"Upgrade", "websocket", true}, {"Connection", "upgrad", false},
        {"Accept", "upgrade", false}};
    for (const auto& [name, token, listed] : lists)
        EXPECT_EQ(request.lists(name, token), listed) << name << " " << token;
}

http_request request_of(const std::string& line, const strings& headers) {
    http_request request;
    EXPECT_TRUE(request.set_request_line(line));
    for (const auto& header : headers) EXPECT_TRUE(request.add_header(header));
    return request;
}

TEST(ws_handshake, a_good_request_switches_protocols_and_every_fault_is_refused) {
    EXPECT_EQ(ws_handshake::accept_key("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
    const std::pair<const char*, bool> keys[] = {
        {"dGhlIHNhbXBsZSBub25jZQ==", true}, {"AAAAAAAAAAAAAAAAAAAAAA==", true}, {"", false},
        {"dGhlIHNhbXBsZSBub25jZQ", false}, {"dGhlIHNhbXBsZSBub25jZQ=", false},  // padding
        {"dGhlIHNhbXBsZSBub25jZSE=", false},                                    // 17 bytes
        {"dGhlIHNhbXBsZSBub25j!Q==", false}};                                   // not base64
    for (const auto& [key, valid] : keys) EXPECT_EQ(ws_handshake::valid_key(key), valid) << key;
    const strings good = {"Host: chat.test",
                          "Upgrade: websocket",
                          "Connection: keep-alive, Upgrade",
                          "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==",
                          "Sec-WebSocket-Version: 13",
                          "Origin: http://chat.test"};
    const std::string get = "GET /chat/ws HTTP/1.1";
    const ws_handshake::answer answer = ws_handshake::answer_to(request_of(get, good), "chat.test");
    EXPECT_EQ(answer.status, 101);
    EXPECT_EQ(answer.response,
              "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
    strings on_port = good;
    on_port[0] = "Host: chat.test:1614", on_port[5] = "Origin: http://chat.test:1614";
    EXPECT_EQ(ws_handshake::answer_to(request_of(get, on_port), "chat.test:1614").status, 101);
    // What, request line, the good header replaced (or, by "", left out), status, a header
    // that the refusal carries.
    using row = std::tuple<const char*, std::string, std::size_t, std::string, int, std::string>;
    const row cases[] = {
        {"secure origin of the site", get, 5, "Origin: HTTPS://Chat.Test", 101, ""},
        {"other method", "POST /chat/ws HTTP/1.1", 9, "", 405, "Allow: GET\r\n"},
        {"no upgrade", get, 1, "", 426, "Upgrade: websocket\r\n"},
        {"upgrade to another protocol", get, 1, "Upgrade: h2c", 426, ""},
        {"no connection upgrade", get, 2, "Connection: keep-alive", 400, ""},
        {"HTTP/1.0", "GET /chat/ws HTTP/1.0", 9, "", 400, ""}, {"no host", get, 0, "", 400, ""},
        {"no key", get, 3, "", 400, ""},
        {"bad key", get, 3, "Sec-WebSocket-Key: c2hvcnQ=", 400, ""},
        {"old version", get, 4, "Sec-WebSocket-Version: 8", 426, "Sec-WebSocket-Version: 13\r\n"},
        {"no version", get, 4, "", 426, "Sec-WebSocket-Version: 13\r\n"},
        {"other site", get, 5, "Origin: http://evil.test", 403, ""},
        {"other port", get, 5, "Origin: http://chat.test:8080", 403, ""},
        {"site as a prefix", get, 5, "Origin: http://chat.test.evil.test", 403, ""},
        {"no origin", get, 5, "", 403, ""}, {"null origin", get, 5, "Origin: null", 403, ""},
    };
    for (const auto& [what, line, index, replacement, status, extra] : cases) {
        SCOPED_TRACE(what);
        strings headers;
        for (std::size_t i = 0; i < good.size(); ++i)
            if (i != index || !replacement.empty())
                headers.push_back(i == index ? replacement : good[i]);
        const auto refusal = ws_handshake::answer_to(request_of(line, headers), "chat.test");
        EXPECT_EQ(refusal.status, status);
        if (status == 101) continue;
        EXPECT_EQ(refusal.response.rfind("HTTP/1.1 " + std::to_string(status) + " ", 0), 0u);
        EXPECT_NE(refusal.response.find(extra), std::string::npos);
        EXPECT_NE(refusal.response.find("Connection: close\r\n"), std::string::npos);
    }
}

// Behind a trusted proxy the visitor's address comes from the last valid
// entry of the last header; anything malformed leaves the peer's own.
TEST(forwarded_address, only_a_trusted_peer_names_the_visitor_and_only_with_a_valid_address) {
    const std::string local = "127.0.0.1", visitor = "198.51.100.7";
    const std::tuple<const char*, std::string, strings, std::string> cases[] = {
        {"no header", local, {"User-Agent: x\r\n"}, local},
        {"last entry", local, {"X-Forwarded-For: 203.0.113.9, 198.51.100.7\r\n"}, visitor},
        {"name in any case, no blank", local, {"x-forwarded-for:198.51.100.7"}, visitor},
        {"last header", local, {"X-Forwarded-For: 203.0.113.9", "X-Forwarded-For: 198.51.100.7"},
         visitor},
        {"real ip", local, {"X-Real-IP: 198.51.100.7\r\n"}, visitor},
        {"forwarded-for first", local,
         {"X-Real-IP: 198.51.100.9", "X-Forwarded-For: 198.51.100.7"}, visitor},
        {"IPv6, canonical", local, {"X-Forwarded-For: 2001:DB8:0:0::1"}, "2001:db8::1"},
        {"IPv6 proxy", "::1", {"X-Real-IP: 198.51.100.7"}, visitor},
        {"another proxy in the list", "10.1.1.1", {"X-Real-IP: 198.51.100.7"}, visitor},
        {"untrusted peer", "127.0.0.2",
         {"X-Forwarded-For: 198.51.100.7", "X-Real-IP: 198.51.100.9"}, "127.0.0.2"},
        {"malformed last entry", local, {"X-Forwarded-For: 198.51.100.7, evil<b>"}, local},
        {"with a port", local, {"X-Forwarded-For: 198.51.100.7:443"}, local},
        {"in brackets", local, {"X-Forwarded-For: [2001:db8::1]"}, local},
        {"empty", local, {"X-Forwarded-For:"}, local},
        {"two addresses without a comma", local, {"X-Real-IP: 1.2.3.4 5.6.7.8"}, local},
        {"zero byte", local, {std::string("X-Real-IP: 1.2.3.4\0x", 20)}, local},
        {"short form", local, {"X-Real-IP: 1.2.3"}, local},
        {"similar name", local, {"X-Forwarded-Fort: 198.51.100.7"}, local},
        {"nobody trusted without a list", local, {"X-Real-IP: 198.51.100.7"}, ""}};
    for (const auto& [what, peer, headers, address] : cases) {
        vorta::forwarded_address forwarded;
        for (const auto& line : headers) forwarded.add_header(line);
        const std::string proxies = address.empty() ? "" : "10.1.1.1, 127.0.0.1\t::1";
        EXPECT_EQ(forwarded.resolve(peer, proxies), address.empty() ? peer : address) << what;
    }
}

}  // namespace
