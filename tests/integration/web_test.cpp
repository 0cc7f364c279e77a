// The web port of the real daemon: the client's files with their heads and
// refusals, the bounds of the served directory, a large file that holds up
// nobody, and the WebSocket that opens a session like the applet port: its
// handshake, its frames, its conversion of characters and its addresses.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "integration/daemon_fixture.hpp"

using namespace daemon_support;
namespace opcode = test_support::opcode;

namespace {

const std::string page = "<p>Seite</p>";
const std::string secret = "SECRET-OUTSIDE";

// ISO-8859-15 text as the browser's side of the WebSocket carries it.
std::string utf8(const std::string& latin9) {
    std::string out;
    for (unsigned char c : latin9)
        out += c == 0xA4  ? std::string("\xE2\x82\xAC")
               : c < 0x80 ? std::string(1, static_cast<char>(c))
                          : std::string{static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    return out;
}

// nginx on this host passes the browsers on; the visitors see addresses and
// may ban for up to 20 minutes.
class web_daemon : public vcd_daemon {
protected:
    void SetUp() override {
        for (const char* sub : {"www", "www/js", "www/room"}) mkdir(dir.file(sub).c_str(), 0755);
        dir.write("www/index.html", page);
        dir.write("www/js/chat.js", "var chat;");
        dir.write("www/room/index.html", "Raum");
        dir.write("secret.txt", secret);
        symlink("../secret.txt", dir.file("www/outside.txt").c_str());
        vcd_daemon::SetUp();
        ASSERT_TRUE(wait_listening(web_port));
    }
    std::string settings() const override {
        return "all.proxies = 10.9.9.9 127.0.0.1\nall.www = chat.test:1614\nfile.www = www\n";
    }
    std::string ranks() const override { return "visitor Visitor 4 4 0 0 0 10 0 20 0 0 1\n"; }

    static std::string answer(const std::string& request) {
        return exchange(web_port, request).value_or("(no answer)");
    }

    // Logs `nick` in over a WebSocket from `source` with `headers` added to the
    // upgrade, up to the answer to the challenge, or with `member` in the room
    // up to the room information and his arrival.
    std::unique_ptr<ws_client> ws_log_in(const std::string& nick, visitor* member = nullptr,
                                         const std::vector<std::string>& headers = {},
                                         const std::string& source = "", const std::string& banned = "false") {
        auto client = std::make_unique<ws_client>(0, source);
        auto upgrade = ws_client::upgrade_headers("http://chat.test:1614");
        upgrade.insert(upgrade.end(), headers.begin(), headers.end());
        if (const std::string head = client->handshake(upgrade); head.rfind("HTTP/1.1 101 ", 0) != 0)
            return ADD_FAILURE() << head, nullptr;
        client->send_line(proto_line("LGN", {"vcp2", nick, "", "", "web", "Browser/1.0", "http://chat.test:1614/chat/", "",
                                             banned}));
        auto cnt = client->read_until("CNT ");
        if (!cnt) return ADD_FAILURE() << "no CNT for " << nick, nullptr;
        client->send_line(proto_line("AUT", {std::to_string(challenge_answer(std::stoi(proto_values(*cnt).at(3))))}));
        if (member == nullptr) return client;
        if (!client->read_until("TXT \"<div class=\\\"roomInfo"))
            return ADD_FAILURE() << "no room information for " << nick, nullptr;
        // The look of the arrival depends on the member's rank; its text does not.
        EXPECT_TRUE(member->app.expect_line(proto_line("ADD", {nick})));
        EXPECT_NE(member->app.read_line().value_or("").find("> " + nick + " betritt den Chat.</div>"), std::string::npos);
        return client;
    }
};

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
    // A request whose head has `lines` lines, the blank one included.
    const auto head_of = [&](int lines) {
        std::string head = "GET /chat/index.html HTTP/1.1\r\n";
        for (int i = 3; i < lines; ++i) head += "X-" + std::to_string(i) + ": v\r\n";
        return head + close;
    };
    // A request whose head is `bytes` long, line ends included.
    const auto head_sized = [&](std::size_t bytes) {
        std::string head = "GET /chat/index.html HTTP/1.1\r\n";
        for (std::size_t left = bytes - head.size() - close.size(), line; left > 0; left -= line) {
            line = std::min<std::size_t>(left, 1000);
            head += "X: " + std::string(line - 5, 'v') + "\r\n";
        }
        return head + close;
    };
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
        {"a head of 100 lines", head_of(100), ok + page},
        {"a head of 8192 bytes", head_sized(8192), ok + page},
        {"a head of 8193 bytes", head_sized(8193), refusal("431 Request Header Fields Too Large")},
        {"a head of 101 lines", head_of(101), refusal("431 Request Header Fields Too Large")},
    };
    for (const auto& c : cases) EXPECT_EQ(answer(c.request), c.response) << c.what;
    // A kept connection whose peer then shuts down its sending side ends at
    // once instead of waiting for a request that cannot come.
    ws_client kept_alive;
    ASSERT_TRUE(kept_alive.send_raw("GET /chat/index.html HTTP/1.1\r\n\r\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kept_alive.shut_sending();
    EXPECT_TRUE(kept_alive.closed(std::chrono::seconds(3)));
    EXPECT_EQ(kept_alive.received(), kept + "\r\n" + page);
    EXPECT_NE(answer("GET /chat/js/chat.js HTTP/1.0\r\n\r\n").find("Content-Type: text/javascript; charset=utf-8\r\n"),
              std::string::npos);

    // Nothing outside the served directory is ever served: each way out is
    // refused (every way is a row of the file store's own test).
    const struct {
        std::string target, status;
    } outside[] = {
        {"/chat/../secret.txt", "403 Forbidden"}, {"/chat/%2e%2e/secret.txt", "403 Forbidden"},
        {"/chat/outside.txt", "403 Forbidden"},   {"/chat/%zz", "400 Bad Request"},
        {"/../secret.txt", "404 Not Found"},      {std::string("/chat/a\0/../../secret.txt", 25), "400 Bad Request"},
    };
    for (const auto& c : outside) {
        const std::string got = answer("GET " + c.target + " HTTP/1.1\r\n\r\n");
        EXPECT_EQ(got.substr(0, got.find("\r\n")), "HTTP/1.1 " + c.status) << c.target;
        EXPECT_EQ(got.find(secret), std::string::npos) << c.target;
    }
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

    EXPECT_EQ(answer("GET /chat/index.html HTTP/1.0\r\n\r\n").substr(0, 17), "HTTP/1.1 200 OK\r\n");
    auto anna = log_in("anna");
    ASSERT_NE(anna, nullptr);
    anna->say("noch da");
    EXPECT_TRUE(anna->app.expect_html(look.say("anna", "noch da")));

    ASSERT_TRUE(reader.closed(std::chrono::seconds(20)));
    const std::string& got = reader.received();
    const std::size_t body = got.find("\r\n\r\n") + 4;
    EXPECT_NE(got.find("Content-Length: " + std::to_string(large.size()) + "\r\n"), std::string::npos);
    EXPECT_EQ(got.size() - body, large.size());
    EXPECT_TRUE(got.compare(body, std::string::npos, large) == 0);
}

TEST_F(web_daemon, a_websocket_session_chats_with_an_applet_session_in_both_character_sets) {
    auto anna = log_in("anna");
    ASSERT_NE(anna, nullptr);
    auto bernd = ws_log_in("bernd");
    ASSERT_NE(bernd, nullptr);
    for (const std::string& line : {txt(welcome_text), std::string("LGN"), nrm("Lobby", {"anna", "bernd"})})
        EXPECT_TRUE(bernd->expect_line(line));
    EXPECT_TRUE(bernd->read_until("TXT \"<div class=\\\"roomInfo"));
    EXPECT_TRUE(anna->app.expect_line("ADD \"bernd\""));
    anna->app.read_line();  // his arrival, with the buttons of her rank

    // UTF-8 from the browser arrives in ISO-8859-15; what the set lacks is a
    // question mark.
    bernd->send_line("TXT \"Gr\xC3\xBC\xC3\x9F" "e f\xC3\xBCr 5 \xE2\x82\xAC \xE6\x97\xA5\"");
    EXPECT_TRUE(anna->app.expect_html(look.say("bernd", "Gr\xFC\xDF" "e f\xFCr 5 \xA4 ?")));
    EXPECT_TRUE(bernd->expect_line(utf8(txt(look.say("bernd", "Gr\xFC\xDF" "e f\xFCr 5 \xA4 ?")))));
    // And back: the applet's bytes reach the browser as UTF-8.
    anna->say("Sch\xF6n, 3 \xA4!");
    const std::string anna_says = look.say("anna", "Sch\xF6n, 3 \xA4!");
    EXPECT_TRUE(anna->app.expect_html(anna_says));
    EXPECT_TRUE(bernd->expect_line(utf8(txt(anna_says))));

    // A line in fragments, with a ping between them, is one line.
    bernd->send_raw(ws_frame(opcode::text, "TXT \"in ", unfinished()) + ws_frame(opcode::ping, "da?") +
                    ws_frame(opcode::continuation, "Teilen\""));
    const auto pong = bernd->read_frame();
    EXPECT_TRUE(pong && pong->code == opcode::pong && pong->payload == "da?");
    EXPECT_TRUE(anna->app.expect_html(look.say("bernd", "in Teilen")));
    EXPECT_TRUE(bernd->expect_line(txt(look.say("bernd", "in Teilen"))));

    // The closing handshake ends the session like a closed applet connection.
    bernd->send_raw(ws_frame(opcode::close, close_payload(1000)));
    EXPECT_TRUE(bernd->expect_close(1000));
    EXPECT_TRUE(anna->app.expect_lines({txt(quit("bernd")), proto_line("DEL", {"bernd"})}));
}

// A frame that breaks the rules ends the session like a closed connection;
// a ban reaches the browser with its minutes; a browser that says it was
// banned is refused, named for fail2ban as the trusted proxy names it.
TEST_F(web_daemon, a_broken_frame_ends_the_session_and_bans_reach_the_browser) {
    auto anna = log_in("anna");
    ASSERT_NE(anna, nullptr);
    auto broken = ws_log_in("bernd", anna.get());
    ASSERT_NE(broken, nullptr);
    broken->send_raw(ws_frame(opcode::text, "TXT \"x\"", unmasked()));
    EXPECT_TRUE(broken->expect_close(1002));
    EXPECT_TRUE(anna->app.expect_lines({quit("bernd"), "DEL \"bernd\""}));

    auto bernd = ws_log_in("bernd", anna.get());
    ASSERT_NE(bernd, nullptr);
    anna->say(".ban bernd");
    EXPECT_TRUE(anna->app.expect_html(div("actionBan", "bernd wird f&uuml;r 15 Minuten gebannt.")));
    EXPECT_TRUE(bernd->read_until("BAN "));
    EXPECT_EQ(bernd->last.payload, proto_line("BAN", {"15"}));
    auto banned = ws_log_in("carl", nullptr, {"X-Forwarded-For: 198.51.100.9"}, "127.0.0.1", "true");
    ASSERT_NE(banned, nullptr);
    for (const std::string& line : {txt(welcome_text), txt(banned_html), std::string("EXT")})
        EXPECT_TRUE(banned->expect_line(line));
    EXPECT_TRUE(banned->expect_close(1000));
    EXPECT_TRUE(wait_for_text(log(), "] refused 198.51.100.9: banned address\n"));
}

}  // namespace
