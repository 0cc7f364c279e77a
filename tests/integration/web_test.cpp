#include <sys/stat.h>

#include <algorithm>
#include <thread>

#include "integration/daemon_fixture.hpp"

using namespace daemon_support;

namespace {

const std::string page = "<p>Seite</p>";

class web_daemon : public vcd_daemon {
protected:
    void write_files() override {
        for (const char* sub : {"www", "www/room"}) mkdir(dir.file(sub).c_str(), 0755);
        dir.write("www/index.html", page);
        dir.write("www/room/index.html", "Raum");
        dir.write("secret.txt", "SECRET");
    }
    std::string settings() const override { return "all.www = chat.test:1614\nfile.www = www\n"; }
    static std::string answer(const std::string& request) { return exchange(web_port, request).value_or("(none)"); }
};

TEST_F(web_daemon, files_redirects_refusals_and_a_large_file) {
    const std::string kept = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 12\r\n"
                             "Cache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\n";
    const std::string close = "Connection: close\r\n\r\n", ok = kept + close;
    // A kept-alive connection serves 100 requests; the answer to the last one
    // closes it, and what came after it is not answered.
    std::string over_limit, up_to_limit;
    for (int i = 1; i <= 101; ++i) {
        over_limit += "GET /chat/index.html HTTP/1.1\r\n\r\n";
        if (i < 100) up_to_limit += kept + "\r\n" + page;
    }
    const auto refusal = [&close](const std::string& status, const std::string& headers = "", bool body = true) {
        return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
               std::to_string(status.size() + 1) + "\r\n" + headers + close + (body ? status + "\n" : "");
    };
    const std::string too_large = refusal("431 Request Header Fields Too Large");
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
    const std::string not_allowed = refusal("405 Method Not Allowed", "Allow: GET, HEAD\r\n");
    const std::pair<std::string, std::string> cases[] = {
        {"GET /chat/index.html HTTP/1.1\r\nHost: x\r\n" + close, ok + page},
        {"GET /chat/?x=1 HTTP/1.0\r\n\r\n", ok + page},
        {"HEAD /chat/index.html HTTP/1.1\r\nConnection: Close\r\n\r\n", ok},
        {"GET /chat/index.html HTTP/1.1\r\n\r\nGET /chat/ HTTP/1.1\r\n" + close, kept + "\r\n" + page + ok + page},
        {"HEAD /chat/ HTTP/1.1\r\nConnection: keep-alive\r\n\r\nGET /chat/ HTTP/1.0\r\n\r\n", kept + "\r\n" + ok + page},
        {"GET /chat/ HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\nHEAD /chat/ HTTP/1.1\r\n" + close,
         kept + "Connection: keep-alive\r\n\r\n" + page + ok},
        {"GET /chat/ HTTP/1.1\r\n\r\nGET /chat/none HTTP/1.1\r\n\r\nGET /chat/ HTTP/1.1\r\n\r\n",
         kept + "\r\n" + page + refusal("404 Not Found")},
        {over_limit, up_to_limit + ok + page},
        {"GET / HTTP/1.1\r\n\r\n", moved("302 Found", "/chat/")},
        {"GET /chat HTTP/1.1\r\n\r\n", moved("301 Moved Permanently", "/chat/")},
        {"HEAD /chat/nothing.html HTTP/1.1\r\n\r\n", refusal("404 Not Found", "", false)},
        {"GET /other/index.html HTTP/1.1\r\n\r\n", refusal("404 Not Found")},
        {"GET /chat/../secret.txt HTTP/1.1\r\n\r\n", refusal("403 Forbidden")},
        {"POST /chat/index.html HTTP/1.1\r\nContent-Length: 0\r\n\r\n", not_allowed},
        {"BREW /chat/ HTTP/1.1\r\n\r\n", not_allowed},
        {"GET /chat/ HTTP/2.0\r\n\r\n", refusal("400 Bad Request")},
        {"GET /chat/ HTTP/1.1\r\nno colon\r\n\r\n", refusal("400 Bad Request")},
        {"GET * HTTP/1.1\r\n\r\n", refusal("400 Bad Request")},
        {"GET /" + std::string(9000, 'a'), refusal("414 URI Too Long")},
        {head_of(100), ok + page},
        {head_of(101), too_large},
        {head_sized(8192), ok + page},
        {head_sized(8193), too_large},
    };
    for (const auto& [request, response] : cases) EXPECT_EQ(answer(request), response) << request.substr(0, 60);
    // A kept connection whose peer then shuts its sending side ends at once.
    connection idle(web_port);
    ASSERT_TRUE(idle.send_raw("GET /chat/index.html HTTP/1.1\r\n\r\n"));
    std::this_thread::sleep_for(300ms);  // answered first
    idle.shut_sending();
    EXPECT_TRUE(idle.closed() && idle.received() == kept + "\r\n" + page);
    // A peer that does not read its large file holds up neither the other web connections nor the chat.
    std::string large;
    for (int i = 0; large.size() < (6u << 20); ++i) large += "line " + std::to_string(i) + "\n";
    dir.write("www/large.txt", large);
    connection reader(web_port, 4096);
    ASSERT_TRUE(reader.send_raw("GET /chat/large.txt HTTP/1.1\r\nConnection: close\r\n\r\n"));
    EXPECT_EQ(answer("GET /chat/index.html HTTP/1.0\r\n\r\n").substr(0, 17), "HTTP/1.1 200 OK\r\n");
    auto anna = log_in("anna");
    ASSERT_NE(anna, nullptr);
    anna->say("noch da");
    EXPECT_TRUE(anna->expect_html(say("anna", "noch da")));
    ASSERT_TRUE(reader.closed(20s));
    const std::string& got = reader.received();
    const std::size_t body = got.find("\r\n\r\n") + 4;
    EXPECT_NE(got.find("Content-Length: " + std::to_string(large.size()) + "\r\n"), std::string::npos);
    EXPECT_TRUE(got.size() - body == large.size() && got.compare(body, std::string::npos, large) == 0);
}

// A WebSocket session chats with an applet session in both character sets:
// UTF-8 from the browser arrives in ISO-8859-15, what the set lacks is a
// question mark; a frame that breaks the rules ends it like a closed connection.
TEST_F(web_daemon, websocket_and_stream_sessions_chat_with_an_applet_session) {
    auto anna = log_in("anna");
    ASSERT_NE(anna, nullptr);
    auto bernd = std::make_unique<ws_client>();
    const std::string head = bernd->handshake();
    ASSERT_EQ(head.rfind("HTTP/1.1 101 ", 0), 0u) << head;
    bernd->send_line(proto_line("LGN", {"vcp2", "bernd", "", "", "web", "Browser/1.0", "", "", "false"}));
    const auto cnt = proto_values(bernd->read_until("CNT ").value_or(""));
    bernd->send_line(proto_line("AUT", {std::to_string(challenge_answer(std::stoi(cnt.at(3))))}));
    for (const std::string& line : {txt(welcome_text), std::string("LGN"), proto_line("NRM", {"Lobby", "anna", "bernd"})})
        EXPECT_TRUE(bernd->expect_line(line));
    bernd->send_line(txt(".nm plain"));
    EXPECT_TRUE(bernd->read_until(txt(plain_mode)) && expect_arrival(*anna, "bernd"));
    bernd->send_line("TXT \"Gr\xC3\xBC\xC3\x9F" "e f\xC3\xBCr 5 \xE2\x82\xAC \xE6\x97\xA5\"");
    EXPECT_TRUE(anna->expect_html(say("bernd", "Gr\xFC\xDF" "e f\xFCr 5 \xA4 ?")));
    EXPECT_TRUE(bernd->expect_line(txt(say("bernd", "Gr\xC3\xBC\xC3\x9F" "e f\xC3\xBCr 5 \xE2\x82\xAC ?"))));
    anna->say("Sch\xF6n, 3 \xA4!");
    EXPECT_TRUE(anna->expect_html(say("anna", "Sch\xF6n, 3 \xA4!")));
    EXPECT_TRUE(bernd->expect_line(txt(say("anna", "Sch\xC3\xB6n, 3 \xE2\x82\xAC!"))));
    bernd->send_raw(ws_frame(opcode::text, "TXT \"x\"", {.masked = false}));
    EXPECT_TRUE(bernd->expect_close(1002));
    EXPECT_TRUE(anna->app.expect_lines({quit("bernd"), "DEL \"bernd\""}));
    // The browser stream carries the page, then the chat; the session ends with the stream.
    applet berta;
    berta.send_login(login_as("berta"));
    const greeting hello = berta.read_greeting().value_or(greeting{});
    browser stream;
    stream.request("10.0.0.1/" + hello.random_id + "/" + std::to_string(challenge_answer(hello.challenge)) + "/");
    EXPECT_TRUE(stream.expect_next(
        "HTTP/1.1 302 OK\r\nCache-Control: no-cache\r\nConnection: Keep-Alive\r\nPragma: no-cache\r\n"
        "Server: vortachat/2.2\r\nContent-Type: text/html\r\nExpires: 0\r\n\r\n"
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\" \"http://www.w3.org/TR/REC-html40/loose.dtd\">"
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-15\">"
        "<title>vorta chat</title><link rel=\"stylesheet\" type=\"text/css\" href=\"http://static.test/basic.css\">"
        "<link rel=\"stylesheet\" type=\"text/css\" href=\"http://static.test/skin.css\">"
        "<script type=\"text/javascript\" src=\"http://static.test/chat.js\"></script>"
        "<script type=\"text/javascript\">autoscroll(true);</script></head><body><!--" +
        std::string(1000, ' ') + "-->" + welcome_text + "<div class=\"roomInfo\">"));
    // The applet gets the protocol lines but neither the welcome nor the chat.
    EXPECT_TRUE(berta.expect_lines({"LGN", proto_line("NRM", {"Lobby", "anna", "berta"})}));
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    berta.send_text(".nm plain");
    EXPECT_TRUE(stream.skip_past("</div>") && stream.expect_next(plain_mode));
    anna->say("<b>zur\xFC" "ck</b>");
    const std::string back = say("anna", "&lt;b&gt;zur\xFC" "ck&lt;/b&gt;");
    EXPECT_TRUE(stream.expect_next(back));
    stream.close(true);
    EXPECT_TRUE(berta.expect_closed());
    EXPECT_TRUE(anna->app.expect_lines({back, quit("berta"), "DEL \"berta\""}));
    // It left no descriptor behind; a probe ended after them shows that the daemon is done with them.
    anna.reset();
    applet probe;
    probe.send_line("XYZ");
    EXPECT_TRUE(probe.expect_closed());
    EXPECT_EQ(stop(), 0);
    EXPECT_EQ(logged("smooth shutdown (fds: 3)"), 1);
}

}  // namespace
