// The browser intake: path segments, header limits and the hand-off of the
// stream to its session.
#include "chat/html_pending.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <tuple>

#include "chat/manager.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "support/chat_world.hpp"
#include "util/c_util.hpp"

namespace {

using vorta::html_pending;

TEST(html_pending_param, segments_need_their_closing_slash_and_are_decoded_after_splitting) {
    const std::string full = "GET /10.0.0.5/abc/1234/ HTTP/1.1\r\n";
    const std::tuple<std::string, int, std::string> cases[] = {
        {full, 0, "10.0.0.5"}, {full, 2, "1234"}, {full, 3, " HTTP"}, {full, 4, ""},
        {"GET /a/b HTTP/1.1\r\n", 1, "b HTTP"}, {"GET /a/b HTTP/1.1\r\n", 2, ""},
        {"GET /a%2Fb/c+d/ HTTP/1.1", 0, "a/b"}, {"GET /a%2Fb/c+d/ HTTP/1.1", 1, "c d"},
        {"no slash at all", 0, ""}, {"GET // HTTP/1.1", 0, ""},
    };
    for (const auto& [line, index, segment] : cases) EXPECT_EQ(html_pending::get_param(line, index), segment) << line;
}

// A browser connection on a socket pair; the test holds the browser's end.
class browser {
public:
    browser() {
        int pair[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        fd = pair[0];
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        Manager.add_pending(pair[1], "10.0.0.1");
    }
    ~browser() { close(fd); }
    void send(const std::string& bytes) {
        ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Whether the stream began (else nothing arrived), and whether the server closed its end.
    std::pair<bool, bool> receive() {
        test_support::pump();
        std::string got;
        char buffer[65536];
        ssize_t count;
        while ((count = read(fd, buffer, sizeof buffer)) > 0) got.append(buffer, static_cast<std::size_t>(count));
        EXPECT_TRUE(got.empty() || got.rfind(html_pending::stream_head, 0) == 0) << got;
        return {!got.empty(), count == 0};
    }
    int fd;
};

// hanna has sent her log-in line over the applet and waits for her browser.
class html_pending_head : public ::testing::Test {
protected:
    void SetUp() override { log_in(); }
    void log_in() {
        hanna = std::make_unique<test_support::peer>();
        hanna->send("LGN \"vcp2\" \"hanna\" \"\" \"\" \"192.168.1.2\" \"\" \"\" \"\" \"\"");
        for (const std::string& line : hanna->lines())
            if (line.rfind("CNT ", 0) == 0)
                request = "GET /192.168.1.2/" + vorta::get_param(line, 2, " \"", '"') + "/" +
                          test_support::answer(vorta::get_param(line, 3, " \"", '"')) + "/ HTTP/1.1\r\n";
    }
    std::unique_ptr<test_support::peer> hanna;
    std::string request;
};

// At most fifty head lines; an unended line may not reach 2049 bytes; a blank
// line with more behind it does not end the head. The first user agent counts.
TEST_F(html_pending_head, the_head_is_bounded_and_ends_at_its_blank_line) {
    std::string filler;
    for (int i = 0; i < 49; ++i) filler += "X-Filler: " + std::to_string(i) + "\r\n";
    const struct {
        std::string head;
        bool streams, closed;
    } rows[] = {
        {"Host: x\r\nuser-agent: Erster/1.0 (X11)\r\nUser-Agent: Zweiter\r\n\r\n", true, false},
        {filler + "\r\n", true, false},
        {filler + "X-One-Too-Many: 1\r\n", false, true},
        {std::string(2048, 'a'), false, false},
        {std::string(2049, 'a'), false, true},
        {"\r\nmore\r\n", false, false},
    };
    for (const auto& row : rows) {
        log_in();
        browser b;
        b.send(request + row.head);
        EXPECT_EQ(b.receive(), std::make_pair(row.streams, row.closed)) << row.head.substr(0, 40);
        if (&row == rows) {
            EXPECT_EQ(hanna->session()->get_user_agent(), "Erster/1.0 (X11)");
        }
        if (row.streams || row.closed) continue;
        b.send("\r\n");
        EXPECT_EQ(b.receive().first, row.head[0] == '\r') << row.head.substr(0, 40);
    }
}

TEST_F(html_pending_head, a_request_for_another_random_id_is_redirected) {
    browser b;
    b.send("GET /192.168.1.2/1/2/ HTTP/1.1\r\n\r\n");
    test_support::pump();
    char buffer[1024];
    const ssize_t count = read(b.fd, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, count > 0 ? count : 0),
              "HTTP/1.1 302 OK\r\nCache-Control: no-cache\r\nPragma: no-cache\r\nLocation: http://localhost/\r\n"
              "Server: vortachat/2.2\r\nExpires: 0\r\n\r\n");
    EXPECT_EQ(read(b.fd, buffer, sizeof buffer), 0);
}

}  // namespace
