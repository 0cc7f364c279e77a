#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "http/file_store.hpp"
#include "http/forwarded_address.hpp"
#include "http/http_request.hpp"
#include "http/ws_handshake.hpp"
#include "support/temp_dir.hpp"

namespace {

using vorta::file_store;

std::string content_of(const file_store::found& found) {
    std::string content(found.size, '\0');
    const ssize_t got = pread(found.fd, content.data(), content.size(), 0);
    return got == static_cast<ssize_t>(content.size()) ? content : "?";
}

class file_store_test : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* sub : {"www", "www/js", "www/css", "www/room"})
            mkdir(dir.file(sub).c_str(), 0755);
        dir.write("www/index.html", "<p>page</p>");
        dir.write("www/js/chat.js", "var x;");
        dir.write("www/css/basic.css", "body{}");
        dir.write("www/room/index.html", "room page");
        dir.write("www/a+b c.txt", "plus and blank");
        dir.write("www/tab\tin.txt", "tab");
        dir.write("www/.hidden", "hidden");
        dir.write("secret.txt", "outside");
        symlink("js/chat.js", dir.file("www/inside.js").c_str());
        symlink("../secret.txt", dir.file("www/outside.txt").c_str());
        symlink(dir.file("secret.txt").c_str(), dir.file("www/absolute.txt").c_str());
        symlink("..", dir.file("www/up").c_str());
        symlink("../../secret.txt", dir.file("www/room/deep.txt").c_str());
        mkfifo(dir.file("www/pipe").c_str(), 0644);
    }
    test_support::temp_dir dir;
};

TEST_F(file_store_test, paths_and_what_they_lead_to) {
    const std::string page = "<p>page</p>", js = "var x;";
    // Path, status, and the content or the new location.
    const std::tuple<const char*, int, std::string> cases[] = {
        {"index.html", 200, page}, {"", 200, page}, {"js//chat.js", 200, js},
        {"js%2Fchat.js", 200, js}, {"%6As/chat.js", 200, js}, {"tab%09in.txt", 200, "tab"},
        {"a+b%20c.txt", 200, "plus and blank"}, {"room/", 200, "room page"}, {"inside.js", 200, js},
        {"missing.html", 404, ""}, {"index.html/", 404, ""}, {"css/", 404, ""},  // no listing
        {"room", 301, "/chat/room/"}, {"up/www/index.html", 200, page},  // leaves and comes back
        // Escapes, in every spelling.
        {"js/../../secret.txt", 403, ""}, {"%2E%2E%2Fsecret.txt", 403, ""},
        {"./index.html", 403, ""}, {"%2ehidden", 403, ""}, {"outside.txt", 403, ""},
        {"absolute.txt", 403, ""}, {"up/secret.txt", 403, ""}, {"room/deep.txt", 403, ""},
        {"pipe", 403, ""}, {"index.html%00.js", 400, ""}, {"bad%zzescape", 400, ""},
        {"cut%2", 400, ""}, {"cut%", 400, ""},
    };
    // The same through a link to the served directory.
    symlink(dir.file("www").c_str(), dir.file("linked").c_str());
    for (const char* root : {"www", "linked"}) {
        const file_store store(dir.file(root));
        for (const auto& [path, status, content] : cases) {
            SCOPED_TRACE(std::string(root) + ": " + path);
            const file_store::found found = store.open(path, std::string("/chat/") + path);
            EXPECT_EQ(found.status, status);
            EXPECT_EQ(found.fd >= 0, status == 200);
            const std::string& location = found.location;
            EXPECT_EQ(status == 200 ? content_of(found) : status == 301 ? location : "", content);
        }
    }
    // An empty or missing directory serves nothing.
    EXPECT_EQ(file_store("").open("index.html", "/chat/index.html").status, 404);
    EXPECT_EQ(file_store(dir.file("nowhere")).open("index.html", "/chat/index.html").status, 404);
    // Content types follow the extension.
    const std::string text = "; charset=utf-8", other = "application/octet-stream";
    const std::pair<const char*, std::string> types[] = {
        {"/x/index.html", "text/html" + text}, {"/x/basic.CSS", "text/css" + text},
        {"/x/chat.js", "text/javascript" + text}, {"/x/info.svg", "image/svg+xml"},
        {"/x/nophoto.gif", "image/gif"}, {"/x/photo.jpeg", "image/jpeg"},
        {"/x.d/README", other}, {"/x/archive.tar.gz", other}};
    for (const auto& [name, type] : types) EXPECT_EQ(file_store::content_type(name), type) << name;
}

using vorta::ws_handshake;
using strings = std::vector<std::string>;

vorta::http_request request_of(const std::string& line, const strings& headers) {
    vorta::http_request request;
    EXPECT_TRUE(request.set_request_line(line));
    for (const auto& header : headers) EXPECT_TRUE(request.add_header(header));
    return request;
}

TEST(ws_handshake, a_good_request_switches_protocols_and_every_fault_is_refused) {
    EXPECT_EQ(ws_handshake::accept_key("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
    const std::pair<const char*, bool> keys[] = {
        {"AAAAAAAAAAAAAAAAAAAAAA==", true}, {"dGhlIHNhbXBsZSBub25jZQ=", false},  // padding
        {"dGhlIHNhbXBsZSBub25jZSE=", false}, {"dGhlIHNhbXBsZSBub25j!Q==", false}};  // 17 bytes
    for (const auto& [key, valid] : keys) EXPECT_EQ(ws_handshake::valid_key(key), valid) << key;
    const strings good = {"Host: chat.test", "Upgrade: websocket",
                          "Connection: keep-alive, Upgrade",
                          "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==",
                          "Sec-WebSocket-Version: 13", "Origin: http://chat.test"};
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
        {"no connection upgrade", get, 2, "Connection: keep-alive", 400, ""},
        {"HTTP/1.0", "GET /chat/ws HTTP/1.0", 9, "", 400, ""}, {"no host", get, 0, "", 400, ""},
        {"no key", get, 3, "", 400, ""},
        {"bad key", get, 3, "Sec-WebSocket-Key: c2hvcnQ=", 400, ""},
        {"old version", get, 4, "Sec-WebSocket-Version: 8", 426, "Sec-WebSocket-Version: 13\r\n"},
        {"no version", get, 4, "", 426, "Sec-WebSocket-Version: 13\r\n"},
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
    const std::string local = "127.0.0.1", visitor = "198.51.100.7", xff = "X-Forwarded-For: ";
    // Peer, headers, the address resolved ("": nobody is trusted, the peer's own).
    const std::tuple<std::string, strings, std::string> cases[] = {
        {local, {"User-Agent: x\r\n"}, local},
        {local, {xff + "203.0.113.9, 198.51.100.7\r\n"}, visitor},
        {local, {"x-forwarded-for:198.51.100.7"}, visitor},  // name in any case, no blank
        {local, {xff + "203.0.113.9", xff + visitor}, visitor},  // the last header
        {local, {"X-Real-IP: 198.51.100.7\r\n"}, visitor},
        {local, {"X-Real-IP: 198.51.100.9", xff + visitor}, visitor},  // forwarded-for first
        {local, {xff + "2001:DB8:0:0::1"}, "2001:db8::1"},               // canonical
        {"::1", {"X-Real-IP: 198.51.100.7"}, visitor},
        {"10.1.1.1", {"X-Real-IP: 1.2.3.4"}, "1.2.3.4"},  // another proxy of the list
        {"127.0.0.2", {xff + visitor, "X-Real-IP: 198.51.100.9"}, "127.0.0.2"},  // untrusted
        {local, {xff + "198.51.100.7, evil<b>"}, local}, {local, {xff + "198.51.100.7:443"}, local},
        {local, {xff + "[2001:db8::1]"}, local}, {local, {"X-Forwarded-For:"}, local},
        {local, {"X-Real-IP: 1.2.3.4 5.6.7.8"}, local}, {local, {"X-Real-IP: 1.2.3"}, local},
        {local, {std::string("X-Real-IP: 1.2.3.4\0x", 20)}, local},
        {local, {"X-Forwarded-Fort: 198.51.100.7"}, local}, {local, {"X-Real-IP: 1.2.3.4"}, ""}};
    for (const auto& [peer, headers, address] : cases) {
        vorta::forwarded_address forwarded;
        for (const auto& line : headers) forwarded.add_header(line);
        const std::string proxies = address.empty() ? "" : "10.1.1.1, 127.0.0.1\t::1";
        EXPECT_EQ(forwarded.resolve(peer, proxies), address.empty() ? peer : address) << headers[0];
    }
}

}  // namespace
