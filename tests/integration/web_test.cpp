// The web port of the real daemon: the client's files with their heads and
// refusals, every way of reaching outside the served directory, a large file
// that holds up nobody, and the WebSocket that opens a session like the
// applet port: its handshake, its frames and its conversion of characters.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "integration/chat_fixture.hpp"
#include "support/ws_client.hpp"

namespace {

using namespace chat_support;
using test_support::close_payload;
namespace opcode = test_support::opcode;
using test_support::web_port;
using test_support::ws_client;
using test_support::ws_frame;
using test_support::ws_text;

const std::string page = "<p>Seite</p>";
const std::string secret = "SECRET-OUTSIDE";

// ISO-8859-15 text as the browser's side of the WebSocket carries it.
std::string utf8(const std::string& latin9) {
    std::string out;
    for (unsigned char c : latin9) {
        if (c == 0xA4) {
            out += "\xE2\x82\xAC";
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

class web_daemon : public chat_daemon {
protected:
    void SetUp() override {
        for (const char* sub : {"www", "www/js", "www/room", "www/img"}) mkdir(dir.file(sub).c_str(), 0755);
        dir.write("www/index.html", page);
        dir.write("www/js/chat.js", "var chat;");
        dir.write("www/room/index.html", "Raum");
        dir.write("www/img/info.svg", "<svg/>");
        dir.write("www/.hidden", secret);
        dir.write("secret.txt", secret);
        symlink("../secret.txt", dir.file("www/outside.txt").c_str());
        symlink("..", dir.file("www/up").c_str());
        chat_daemon::SetUp();
        ASSERT_TRUE(test_support::wait_listening(web_port));
    }

    std::string settings() const override { return "all.www = chat.test:1614\nfile.www = www\n"; }

    // The visitors see addresses.
    std::string ranks() const override { return "visitor Visitor 4 4 0 0 0 10 0 0 0 0 1\n"; }

    static std::string answer(const std::string& request) {
        return test_support::exchange(web_port, request).value_or("(no answer)");
    }
    static std::string get(const std::string& target) {
        return answer("GET " + target + " HTTP/1.1\r\nHost: chat.test:1614\r\nConnection: close\r\n\r\n");
    }

    // Logs `nickname` in over a WebSocket, up to the answer to the challenge;
    // the connection comes from `source` with `headers` added to the upgrade.
    std::unique_ptr<ws_client> ws_log_in(const std::string& nickname, const std::string& banned = "false",
                                         const std::string& source = "",
                                         const std::vector<std::string>& headers = {}) {
        auto client = std::make_unique<ws_client>(0, source);
        auto upgrade = ws_client::upgrade_headers("http://chat.test:1614");
        upgrade.insert(upgrade.end(), headers.begin(), headers.end());
        const std::string head = client->handshake(upgrade);
        if (head.rfind("HTTP/1.1 101 ", 0) != 0) {
            ADD_FAILURE() << head;
            return nullptr;
        }
        client->send_line(proto_line("LGN", {"vcp2", nickname, "", "", "web", "Browser/1.0", "http://chat.test:1614/chat/",
                                             "", banned}));
        auto cnt = client->read_until("CNT ");
        if (!cnt) {
            ADD_FAILURE() << "no CNT for " << nickname;
            return nullptr;
        }
        const int challenge = std::stoi(test_support::proto_values(*cnt).at(3));
        client->send_line(proto_line("AUT", {std::to_string(challenge_answer(challenge))}));
        return client;
    }

    // The same through the room information; the members see him arrive.
    std::unique_ptr<ws_client> ws_enter(const std::string& nickname, visitor& member) {
        auto client = ws_log_in(nickname);
        if (client == nullptr) return client;
        if (!client->read_until("NRM ") || !client->read_until("TXT \"<div class=\\\"roomInfo")) {
            ADD_FAILURE() << "no room information for " << nickname;
            return nullptr;
        }
        // The look of the arrival depends on the member's rank; its text does not.
        EXPECT_TRUE(member.app.expect_line(proto_line("ADD", {nickname})));
        const auto arrival = member.app.read_line();
        EXPECT_NE(arrival.value_or("").find("> " + nickname + " betritt den Chat.</div>"), std::string::npos);
        return client;
    }
};

// Here the visitors may ban for up to 20 minutes.
class web_daemon_bans : public web_daemon {
protected:
    std::string ranks() const override { return "visitor Visitor 4 4 0 0 0 10 0 20 0 0 1\n"; }
};

// nginx on this host passes the browsers on.
class web_daemon_proxied : public web_daemon_bans {
protected:
    std::string settings() const override { return "all.proxies = 10.9.9.9 127.0.0.1\n" + web_daemon::settings(); }
};

// ---- files ----------------------------------------------------------------

TEST_F(web_daemon, files_redirects_and_refusals) {
    const std::string kept = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 12\r\n"
                             "Cache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\n";
    const std::string ok = kept + "Connection: close\r\n\r\n";
    const std::string close = "Connection: close\r\n\r\n";
    // A kept-alive connection serves this many requests; the answer to the
    // last one closes it, and what came after it is not answered.
    const int request_limit = 100;
    std::string over_limit;
    std::string up_to_limit;
    for (int i = 1; i <= request_limit + 1; ++i) {
        over_limit += "GET /chat/index.html HTTP/1.1\r\n\r\n";
        if (i < request_limit) up_to_limit += kept + "\r\n" + page;
    }
    const auto refusal = [](const std::string& status, const std::string& headers = "", bool with_body = true) {
        const std::string body = status + "\n";
        return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n" + headers + "Connection: close\r\n\r\n" +
               (with_body ? body : "");
    };
    std::string long_head = "GET /chat/ HTTP/1.1\r\n";
    for (int i = 0; i < 40; ++i) long_head += "X-" + std::to_string(i) + ": " + std::string(250, 'v') + "\r\n";
    const auto moved = [](const std::string& status, const std::string& location) {
        return "HTTP/1.1 " + status + "\r\nLocation: " + location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    };
    const struct {
        const char* what;
        std::string request;
        std::string response;
    } cases[] = {
        {"page", "GET /chat/index.html HTTP/1.1\r\nHost: x\r\n" + close, ok + page},
        {"directory page", "GET /chat/ HTTP/1.1\r\n" + close, ok + page},
        {"query ignored", "GET /chat/index.html?x=1 HTTP/1.0\r\n\r\n", ok + page},
        {"head only", "HEAD /chat/index.html HTTP/1.1\r\nConnection: Close\r\n\r\n", ok},
        {"kept alive, then closed", "GET /chat/index.html HTTP/1.1\r\n\r\nGET /chat/ HTTP/1.1\r\n" + close,
         kept + "\r\n" + page + ok + page},
        {"kept alive after a head", "HEAD /chat/ HTTP/1.1\r\nConnection: keep-alive\r\n\r\nGET /chat/ HTTP/1.0\r\n\r\n",
         kept + "\r\n" + ok + page},
        {"HTTP/1.0 asks to keep alive", "GET /chat/ HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\nHEAD /chat/ HTTP/1.1\r\n" + close,
         kept + "Connection: keep-alive\r\n\r\n" + page + ok},
        {"a refusal ends a kept connection", "GET /chat/ HTTP/1.1\r\n\r\nGET /chat/none HTTP/1.1\r\n\r\nGET /chat/ HTTP/1.1\r\n\r\n",
         kept + "\r\n" + page + refusal("404 Not Found")},
        {"request limit", over_limit, up_to_limit + ok + page},
        {"top goes to the chat", "GET / HTTP/1.1\r\n\r\n", moved("302 Found", "/chat/")},
        {"web path without slash", "GET /chat HTTP/1.1\r\n\r\n", moved("301 Moved Permanently", "/chat/")},
        {"directory without slash", "GET /chat/room HTTP/1.1\r\n\r\n", moved("301 Moved Permanently", "/chat/room/")},
        {"missing file", "GET /chat/nothing.html HTTP/1.1\r\n\r\n", refusal("404 Not Found")},
        {"missing file, head", "HEAD /chat/nothing.html HTTP/1.1\r\n\r\n", refusal("404 Not Found", "", false)},
        {"outside the web path", "GET /other/index.html HTTP/1.1\r\n\r\n", refusal("404 Not Found")},
        {"other method", "POST /chat/index.html HTTP/1.1\r\nContent-Length: 0\r\n\r\n",
         refusal("405 Method Not Allowed", "Allow: GET, HEAD\r\n")},
        {"unknown method", "BREW /chat/ HTTP/1.1\r\n\r\n", refusal("405 Method Not Allowed", "Allow: GET, HEAD\r\n")},
        {"other version", "GET /chat/ HTTP/2.0\r\n\r\n", refusal("400 Bad Request")},
        {"no request line", "hello\r\n\r\n", refusal("400 Bad Request")},
        {"broken header", "GET /chat/ HTTP/1.1\r\nno colon\r\n\r\n", refusal("400 Bad Request")},
        {"asterisk target", "GET * HTTP/1.1\r\n\r\n", refusal("400 Bad Request")},
        {"endless request line", "GET /" + std::string(9000, 'a'), refusal("414 URI Too Long")},
        {"endless head", long_head + "\r\n", refusal("431 Request Header Fields Too Large")},
    };
    for (const auto& c : cases) EXPECT_EQ(answer(c.request), c.response) << c.what;
    EXPECT_NE(get("/chat/img/info.svg").find("Content-Type: image/svg+xml\r\n"), std::string::npos);
    EXPECT_NE(get("/chat/js/chat.js").find("Content-Type: text/javascript; charset=utf-8\r\n"), std::string::npos);
}

TEST_F(web_daemon, nothing_outside_the_served_directory_is_ever_served) {
    const struct {
        const char* target;
        const char* status;
    } cases[] = {
        {"/chat/../secret.txt", "403 Forbidden"},
        {"/chat/js/../../secret.txt", "403 Forbidden"},
        {"/chat/%2e%2e/secret.txt", "403 Forbidden"},
        {"/chat/%2E%2E%2Fsecret.txt", "403 Forbidden"},
        {"/chat/..%2fsecret.txt", "403 Forbidden"},
        {"/chat/js/..%2F..%2Fsecret.txt", "403 Forbidden"},
        {"/chat/.%2e/secret.txt", "403 Forbidden"},
        {"/chat/..%5csecret.txt", "403 Forbidden"},
        {"/chat/.hidden", "403 Forbidden"},
        {"/chat/outside.txt", "403 Forbidden"},
        {"/chat/up/secret.txt", "403 Forbidden"},
        {"/chat/index.html%00.js", "400 Bad Request"},
        {"/chat/%00/../secret.txt", "400 Bad Request"},
        {"/chat/%zz", "400 Bad Request"},
        {"/chat/secret.txt%", "400 Bad Request"},
        {"/../secret.txt", "404 Not Found"},
        {"/secret.txt", "404 Not Found"},
        {"//secret.txt", "404 Not Found"},
    };
    for (const auto& c : cases) {
        const std::string got = get(c.target);
        EXPECT_EQ(got.substr(0, got.find("\r\n")), std::string("HTTP/1.1 ") + c.status) << c.target;
        EXPECT_EQ(got.find(secret), std::string::npos) << c.target;
    }
    // A raw zero byte in the request line is no path at all.
    const std::string zero = answer(std::string("GET /chat/a\0/../../secret.txt HTTP/1.1\r\n\r\n", 43));
    EXPECT_EQ(zero.substr(0, zero.find("\r\n")), "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(zero.find(secret), std::string::npos);
}

// A peer that does not read its large file holds up neither the other web
// connections nor the chat.
TEST_F(web_daemon, a_large_file_goes_out_as_the_peer_takes_it) {
    std::string large;
    for (int i = 0; large.size() < (6u << 20); ++i) large += "line " + std::to_string(i) + "\n";
    dir.write("www/large.txt", large);
    ws_client reader(4096);  // a plain connection that reads only when told
    ASSERT_TRUE(reader.connected());
    ASSERT_TRUE(reader.send_raw("GET /chat/large.txt HTTP/1.1\r\nConnection: close\r\n\r\n"));

    EXPECT_EQ(get("/chat/index.html").substr(0, 17), "HTTP/1.1 200 OK\r\n");
    auto anna = log_in("anna");
    ASSERT_NE(anna, nullptr);
    anna->say("noch da");
    EXPECT_TRUE(anna->app.expect_html(look::say("anna", "0000FF", "noch da")));

    ASSERT_TRUE(reader.closed(std::chrono::seconds(20)));
    const std::string& got = reader.received();
    const std::size_t body = got.find("\r\n\r\n") + 4;
    EXPECT_NE(got.find("Content-Length: " + std::to_string(large.size()) + "\r\n"), std::string::npos);
    EXPECT_EQ(got.size() - body, large.size());
    EXPECT_TRUE(got.compare(body, std::string::npos, large) == 0);
}

// ---- the WebSocket --------------------------------------------------------

TEST_F(web_daemon, the_handshake_and_its_refusals) {
    {
        ws_client client;
        EXPECT_EQ(client.handshake(ws_client::upgrade_headers("http://chat.test:1614")),
                  "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
    }
    auto with = [](std::size_t index, const std::string& header) {
        std::vector<std::string> headers = ws_client::upgrade_headers("http://chat.test:1614");
        headers[index] = header;
        return headers;
    };
    const struct {
        const char* what;
        std::vector<std::string> headers;
        std::string head;  // the status line and the header that tells why
    } cases[] = {
        {"bad key", with(3, "Sec-WebSocket-Key: a2V5"), "HTTP/1.1 400 Bad Request\r\n"},
        {"wrong version", with(4, "Sec-WebSocket-Version: 8"),
         "HTTP/1.1 426 Upgrade Required\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: 21\r\n"
         "Sec-WebSocket-Version: 13\r\n"},
        {"wrong origin", with(5, "Origin: http://evil.test"), "HTTP/1.1 403 Forbidden\r\n"},
        {"origin on another port", with(5, "Origin: http://chat.test:1613"), "HTTP/1.1 403 Forbidden\r\n"},
        {"no upgrade", with(1, "X-Nothing: 1"), "HTTP/1.1 426 Upgrade Required\r\n"},
    };
    for (const auto& c : cases) {
        ws_client client;
        const std::string got = client.handshake(c.headers);
        EXPECT_EQ(got.substr(0, c.head.size()), c.head) << c.what;
        EXPECT_TRUE(client.closed()) << c.what;
    }
}

TEST_F(web_daemon, a_websocket_session_chats_with_an_applet_session_in_both_character_sets) {
    auto anna = log_in("anna");
    ASSERT_NE(anna, nullptr);
    auto bernd = ws_log_in("bernd");
    ASSERT_NE(bernd, nullptr);
    EXPECT_TRUE(bernd->expect_line(txt(welcome_text)));
    EXPECT_TRUE(bernd->expect_line("LGN"));
    EXPECT_TRUE(bernd->expect_line(nrm("Lobby", {"anna", "bernd"})));
    EXPECT_TRUE(bernd->read_until("TXT \"<div class=\\\"roomInfo"));
    EXPECT_TRUE(expect_arrival(*anna, "bernd"));

    // UTF-8 from the browser arrives in ISO-8859-15; what the set lacks is a
    // question mark.
    bernd->send_line("TXT \"Gr\xC3\xBC\xC3\x9F" "e f\xC3\xBCr 5 \xE2\x82\xAC \xE6\x97\xA5\"");
    EXPECT_TRUE(anna->app.expect_html(look::say("bernd", "0000FF", "Gr\xFC\xDF" "e f\xFCr 5 \xA4 ?")));
    EXPECT_TRUE(bernd->expect_line(utf8(txt(look::say("bernd", "0000FF", "Gr\xFC\xDF" "e f\xFCr 5 \xA4 ?")))));
    // And back: the applet's bytes reach the browser as UTF-8.
    anna->say("Sch\xF6n, 3 \xA4!");
    const std::string anna_says = look::say("anna", "0000FF", "Sch\xF6n, 3 \xA4!");
    EXPECT_TRUE(anna->app.expect_html(anna_says));
    EXPECT_TRUE(bernd->expect_line(utf8(txt(anna_says))));

    // A line in fragments, with a ping between them, is one line.
    bernd->send_raw(ws_frame(opcode::text, "TXT \"in ", test_support::unfinished()) + ws_frame(opcode::ping, "da?") +
                    ws_frame(opcode::continuation, "Teilen\""));
    auto pong = bernd->read_frame();
    ASSERT_TRUE(pong);
    EXPECT_EQ(pong->code, opcode::pong);
    EXPECT_EQ(pong->payload, "da?");
    EXPECT_TRUE(anna->app.expect_html(look::say("bernd", "0000FF", "in Teilen")));
    EXPECT_TRUE(bernd->expect_line(txt(look::say("bernd", "0000FF", "in Teilen"))));

    // The session's address is the browser's, as for an applet.
    bernd->send_line("TXT \".u bernd\"");
    auto overview = bernd->read_line();
    ASSERT_TRUE(overview);
    EXPECT_NE(overview->find("IP: 127.0.0.1; User-Agent: Browser/1.0"), std::string::npos) << *overview;

    // The closing handshake ends the session like a closed applet connection.
    bernd->send_raw(ws_frame(opcode::close, close_payload(1000)));
    EXPECT_TRUE(bernd->expect_close(1000));
    EXPECT_TRUE(anna->app.expect_lines({txt(look::quit("bernd")), proto_line("DEL", {"bernd"})}));
}

TEST_F(web_daemon, frames_that_break_the_rules_close_the_session) {
    auto anna = log_in("anna");
    ASSERT_NE(anna, nullptr);
    std::string invalid = ws_text("TXT \"\xC3\x28\"");
    const struct {
        const char* what;
        std::string frame;
        int status;
    } cases[] = {
        {"unmasked", ws_frame(opcode::text, "TXT \"x\"", test_support::unmasked()), 1002},
        {"too long", ws_text("TXT \"" + std::string(1020, 'x') + "\""), 1009},
        {"invalid UTF-8", invalid, 1007},
        {"binary", ws_frame(opcode::binary, "TXT \"x\""), 1003},
    };
    for (const auto& c : cases) {
        auto bernd = ws_enter("bernd", *anna);
        ASSERT_NE(bernd, nullptr) << c.what;
        bernd->send_raw(c.frame);
        EXPECT_TRUE(bernd->expect_close(c.status)) << c.what;
        EXPECT_TRUE(anna->app.expect_lines({txt(look::quit("bernd")), proto_line("DEL", {"bernd"})})) << c.what;
    }
}

TEST_F(web_daemon_bans, bans_reach_a_websocket_session_as_they_reach_an_applet) {
    // A browser that says it was banned is refused, and the socket closes.
    {
        auto banned = ws_log_in("carl", "true");
        ASSERT_NE(banned, nullptr);
        EXPECT_TRUE(banned->expect_line(txt(welcome_text)));
        EXPECT_TRUE(banned->expect_line(
            txt("<div class=\"msgIpBanned\">Der von dir benutzte Computer ist f&uuml;r den Chat gesperrt.</div>")));
        EXPECT_TRUE(banned->expect_line("EXT"));
        EXPECT_TRUE(banned->expect_close(1000));
    }
    // A ban by a member reaches the browser with its minutes.
    auto anna = log_in("anna");
    ASSERT_NE(anna, nullptr);
    auto bernd = ws_enter("bernd", *anna);
    ASSERT_NE(bernd, nullptr);
    anna->say(".ban bernd");
    EXPECT_TRUE(anna->app.expect_html("<div class=\"actionBan\">bernd wird f&uuml;r 15 Minuten gebannt.</div>"));
    EXPECT_TRUE(bernd->read_until("BAN "));
    EXPECT_EQ(bernd->last.payload, proto_line("BAN", {"15"}));
}

TEST_F(web_daemon_proxied, a_trusted_proxy_names_the_visitor_and_nobody_else_does) {
    auto anna = log_in("anna");
    ASSERT_NE(anna, nullptr);
    const struct {
        const char* what;
        const char* source;
        std::vector<std::string> headers;
        const char* address;
    } cases[] = {
        {"last forwarded entry", "127.0.0.1", {"X-Forwarded-For: 203.0.113.9, 198.51.100.7"}, "198.51.100.7"},
        {"real address", "127.0.0.1", {"X-Real-IP: 198.51.100.8"}, "198.51.100.8"},
        {"IPv6", "127.0.0.1", {"X-Forwarded-For: 2001:DB8::7"}, "2001:db8::7"},
        {"malformed", "127.0.0.1", {"X-Forwarded-For: 198.51.100.7, <b>x</b>"}, "127.0.0.1"},
        {"not a proxy", "127.0.0.2", {"X-Forwarded-For: 198.51.100.7", "X-Real-IP: 198.51.100.8"}, "127.0.0.2"},
    };
    for (const auto& c : cases) {
        auto bernd = ws_log_in("bernd", "false", c.source, c.headers);
        ASSERT_NE(bernd, nullptr) << c.what;
        ASSERT_TRUE(bernd->read_until("TXT \"<div class=\\\"roomInfo")) << c.what;
        bernd->send_line("TXT \".u bernd\"");
        auto overview = bernd->read_until("TXT ");
        ASSERT_TRUE(overview) << c.what;
        EXPECT_NE(overview->find(std::string("IP: ") + c.address + "; User-Agent: Browser/1.0"), std::string::npos)
            << c.what << ": " << *overview;
        bernd->send_raw(ws_frame(opcode::close, close_payload(1000)));
        EXPECT_TRUE(bernd->expect_close(1000)) << c.what;
        EXPECT_TRUE(anna->app.read_until(proto_line("DEL", {"bernd"})).found) << c.what;
    }
    // A refusal names the visitor, for fail2ban.
    auto banned = ws_log_in("carl", "true", "127.0.0.1", {"X-Forwarded-For: 198.51.100.9"});
    ASSERT_NE(banned, nullptr);
    EXPECT_TRUE(banned->read_until("EXT"));
    EXPECT_TRUE(test_support::wait_for_text(log(), "] refused 198.51.100.9: banned address\n"));
}

}  // namespace
