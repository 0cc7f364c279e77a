// Parsing a request head line by line.
#include "http/http_request.hpp"

#include <gtest/gtest.h>

namespace {

using vorta::http_request;

TEST(http_request, request_lines) {
    const struct {
        const char* line;
        bool accepted;
        const char* method;
        const char* path;
    } cases[] = {
        {"GET /chat/index.html HTTP/1.1", true, "GET", "/chat/index.html"},
        {"HEAD /chat/ HTTP/1.0", true, "HEAD", "/chat/"},
        {"GET /chat/ws?x=1 HTTP/1.1", true, "GET", "/chat/ws"},
        {"GET /a#b HTTP/1.1", true, "GET", "/a"},
        {"DELETE /x HTTP/1.1", true, "DELETE", "/x"},
        {"GET /x HTTP/2.0", false, "", ""},
        {"GET /x", false, "", ""},
        {"GET  /x HTTP/1.1", false, "", ""},
        {"GET /x HTTP/1.1 more", false, "", ""},
        {"G(T /x HTTP/1.1", false, "", ""},
        {"GET /a\x01" "b HTTP/1.1", false, "", ""},
        {"GET /a\rb HTTP/1.1", false, "", ""},
        {"", false, "", ""},
    };
    for (const auto& c : cases) {
        http_request request;
        EXPECT_EQ(request.set_request_line(c.line), c.accepted) << c.line;
        EXPECT_EQ(request.method(), c.method) << c.line;
        EXPECT_EQ(request.path(), c.path) << c.line;
    }
}

TEST(http_request, headers_are_found_ignoring_case_and_the_first_one_counts) {
    http_request request;
    ASSERT_TRUE(request.set_request_line("GET / HTTP/1.1"));
    EXPECT_TRUE(request.add_header("Host: chat.test:1614"));
    EXPECT_TRUE(request.add_header("origin:\t http://chat.test:1614  "));
    EXPECT_TRUE(request.add_header("Origin: http://other.test"));
    EXPECT_TRUE(request.add_header("X-Empty:"));
    EXPECT_FALSE(request.add_header("no colon here"));
    EXPECT_FALSE(request.add_header("Space : before colon"));
    EXPECT_FALSE(request.add_header(" folded: continuation"));
    EXPECT_FALSE(request.add_header(": no name"));
    EXPECT_FALSE(request.add_header(std::string("X-Zero: a\0b", 11)));
    EXPECT_FALSE(request.add_header("X-Return: a\rb"));
    EXPECT_EQ(request.header("HOST"), "chat.test:1614");
    EXPECT_EQ(request.header("Origin"), "http://chat.test:1614");
    EXPECT_TRUE(request.has_header("x-empty"));
    EXPECT_EQ(request.header("X-Empty"), "");
    EXPECT_FALSE(request.has_header("Upgrade"));
}

TEST(http_request, token_lists) {
    http_request request;
    ASSERT_TRUE(request.set_request_line("GET / HTTP/1.1"));
    ASSERT_TRUE(request.add_header("Connection: keep-alive, Upgrade"));
    ASSERT_TRUE(request.add_header("Upgrade: WebSocket"));
    ASSERT_TRUE(request.add_header("Connection: close"));
    EXPECT_TRUE(request.lists("connection", "upgrade"));
    EXPECT_TRUE(request.lists("Connection", "keep-alive"));
    EXPECT_TRUE(request.lists("Connection", "close"));  // a later header of the same name
    EXPECT_TRUE(request.lists("Upgrade", "websocket"));
    EXPECT_FALSE(request.lists("Connection", "upgrad"));
    EXPECT_FALSE(request.lists("Accept", "upgrade"));
}

}  // namespace
