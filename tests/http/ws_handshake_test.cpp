// The WebSocket opening handshake: the accept value and every refusal.
#include "http/ws_handshake.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/http_request.hpp"

namespace {

using vorta::http_request;
using vorta::ws_handshake;

TEST(ws_handshake, accept_value_of_the_rfc_example) {
    EXPECT_EQ(ws_handshake::accept_key("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

TEST(ws_handshake, keys_must_be_sixteen_bytes_in_base64) {
    EXPECT_TRUE(ws_handshake::valid_key("dGhlIHNhbXBsZSBub25jZQ=="));
    EXPECT_TRUE(ws_handshake::valid_key("AAAAAAAAAAAAAAAAAAAAAA=="));
    EXPECT_FALSE(ws_handshake::valid_key(""));
    EXPECT_FALSE(ws_handshake::valid_key("dGhlIHNhbXBsZSBub25jZQ"));    // no padding
    EXPECT_FALSE(ws_handshake::valid_key("dGhlIHNhbXBsZSBub25jZQ=")); 
    EXPECT_FALSE(ws_handshake::valid_key("dGhlIHNhbXBsZSBub25jZSE="));  // 17 bytes
    EXPECT_FALSE(ws_handshake::valid_key("dGhlIHNhbXBsZSBub25j!Q=="));  // not base64
}

http_request request_of(const std::string& line, const std::vector<std::string>& headers) {
    http_request request;
    EXPECT_TRUE(request.set_request_line(line));
    for (const auto& header : headers) EXPECT_TRUE(request.add_header(header));
    return request;
}

TEST(ws_handshake, a_good_request_switches_protocols) {
    const http_request request = request_of(
        "GET /chat/ws HTTP/1.1", {"Host: chat.test:1614", "Upgrade: websocket", "Connection: keep-alive, Upgrade",
                                  "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==", "Sec-WebSocket-Version: 13",
                                  "Origin: http://chat.test:1614"});
    const ws_handshake::answer answer = ws_handshake::answer_to(request, "chat.test:1614");
    EXPECT_EQ(answer.status, 101);
    EXPECT_EQ(answer.response,
              "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
}

TEST(ws_handshake, refusals) {
    const std::vector<std::string> good = {"Host: chat.test", "Upgrade: websocket", "Connection: Upgrade",
                                           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==",
                                           "Sec-WebSocket-Version: 13", "Origin: http://chat.test"};
    // The good headers with one replaced (or, with an empty text, left out).
    const auto with = [&good](std::size_t index, const std::string& replacement) {
        std::vector<std::string> headers;
        for (std::size_t i = 0; i < good.size(); ++i) {
            if (i != index) {
                headers.push_back(good[i]);
            } else if (!replacement.empty()) {
                headers.push_back(replacement);
            }
        }
        return headers;
    };
    const struct {
        const char* what;
        std::string line;
        std::vector<std::string> headers;
        int status;
        std::string extra;  // a header line the refusal must carry
    } cases[] = {
        {"other method", "POST /chat/ws HTTP/1.1", good, 405, "Allow: GET\r\n"},
        {"no upgrade", "GET /chat/ws HTTP/1.1", with(1, ""), 426, "Upgrade: websocket\r\n"},
        {"upgrade to another protocol", "GET /chat/ws HTTP/1.1", with(1, "Upgrade: h2c"), 426, ""},
        {"no connection upgrade", "GET /chat/ws HTTP/1.1", with(2, "Connection: keep-alive"), 400, ""},
        {"HTTP/1.0", "GET /chat/ws HTTP/1.0", good, 400, ""},
        {"no host", "GET /chat/ws HTTP/1.1", with(0, ""), 400, ""},
        {"no key", "GET /chat/ws HTTP/1.1", with(3, ""), 400, ""},
        {"bad key", "GET /chat/ws HTTP/1.1", with(3, "Sec-WebSocket-Key: c2hvcnQ="), 400, ""},
        {"old version", "GET /chat/ws HTTP/1.1", with(4, "Sec-WebSocket-Version: 8"), 426,
         "Sec-WebSocket-Version: 13\r\n"},
        {"no version", "GET /chat/ws HTTP/1.1", with(4, ""), 426, "Sec-WebSocket-Version: 13\r\n"},
        {"other site", "GET /chat/ws HTTP/1.1", with(5, "Origin: http://evil.test"), 403, ""},
        {"other port", "GET /chat/ws HTTP/1.1", with(5, "Origin: http://chat.test:8080"), 403, ""},
        {"site as a prefix", "GET /chat/ws HTTP/1.1", with(5, "Origin: http://chat.test.evil.test"), 403, ""},
        {"no origin", "GET /chat/ws HTTP/1.1", with(5, ""), 403, ""},
        {"null origin", "GET /chat/ws HTTP/1.1", with(5, "Origin: null"), 403, ""},
    };
    for (const auto& c : cases) {
        const ws_handshake::answer answer = ws_handshake::answer_to(request_of(c.line, c.headers), "chat.test");
        EXPECT_EQ(answer.status, c.status) << c.what;
        EXPECT_EQ(answer.response.rfind("HTTP/1.1 " + std::to_string(c.status) + " ", 0), 0u) << c.what;
        EXPECT_NE(answer.response.find(c.extra), std::string::npos) << c.what;
        EXPECT_NE(answer.response.find("Connection: close\r\n"), std::string::npos) << c.what;
    }
}

TEST(ws_handshake, the_secure_origin_of_the_site_is_accepted_too) {
    const http_request request =
        request_of("GET /chat/ws HTTP/1.1", {"Host: chat.test", "Upgrade: websocket", "Connection: Upgrade",
                                             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==",
                                             "Sec-WebSocket-Version: 13", "Origin: HTTPS://Chat.Test"});
    EXPECT_EQ(ws_handshake::answer_to(request, "chat.test").status, 101);
}

}  // namespace
