// The browser intake: path segments, header limits and the hand-off of the
// stream to its session.
#include "chat/html_pending.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "chat/manager.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "support/chat_world.hpp"
#include "util/c_util.hpp"

namespace {

using vorta::html_pending;

TEST(html_pending_param, segments_need_their_closing_slash_and_are_decoded_after_splitting) {
    struct {
        std::string line;
        int index;
        std::string segment;
    } cases[] = {
        {"GET /10.0.0.5/abc/1234/ HTTP/1.1\r\n", 0, "10.0.0.5"},
        {"GET /10.0.0.5/abc/1234/ HTTP/1.1\r\n", 1, "abc"},
        {"GET /10.0.0.5/abc/1234/ HTTP/1.1\r\n", 2, "1234"},
        {"GET /10.0.0.5/abc/1234/ HTTP/1.1\r\n", 3, " HTTP"},
        {"GET /10.0.0.5/abc/1234/ HTTP/1.1\r\n", 4, ""},
        {"GET /a/b HTTP/1.1\r\n", 1, "b HTTP"},
        {"GET /a/b HTTP/1.1\r\n", 2, ""},
        {"GET /a%2Fb/c+d/ HTTP/1.1", 0, "a/b"},
        {"GET /a%2Fb/c+d/ HTTP/1.1", 1, "c d"},
        {"no slash at all", 0, ""},
        {"GET // HTTP/1.1", 0, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(html_pending::get_param(c.line, c.index), c.segment) << c.line;
}

// A browser connection on a socket pair; the test holds the browser's end.
class browser {
public:
    browser() {
        int pair[2];
        socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
        fd = pair[0];
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        Manager.add_pending(pair[1], "10.0.0.1");
    }
    ~browser() { close(fd); }
    void send(const std::string& bytes) { ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    // What arrived, and whether the server closed its end.
    std::pair<std::string, bool> receive() {
        test_support::pump();
        std::string got;
        char buffer[65536];
        ssize_t count;
        while ((count = read(fd, buffer, sizeof buffer)) > 0) got.append(buffer, static_cast<std::size_t>(count));
        return {got, count == 0};
    }
    int fd;
};

class html_pending_head : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::chat_world();
        visitor.send("LGN \"vcp2\" \"hanna\" \"\" \"\" \"192.168.1.2\" \"\" \"\" \"\" \"\"");
        for (const std::string& line : visitor.lines())
            if (line.rfind("CNT ", 0) == 0) cnt = line;
    }
    std::string request() {
        return "GET /192.168.1.2/" + vorta::get_param(cnt, 2, " \"", '"') + "/" +
               test_support::answer(vorta::get_param(cnt, 3, " \"", '"')) + "/ HTTP/1.1\r\n";
    }
    test_support::peer visitor{"10.0.0.1"};
    std::string cnt;
};

TEST_F(html_pending_head, the_first_user_agent_counts_in_any_letter_case) {
    browser b;
    b.send(request() + "Host: x\r\nuser-agent: Erster/1.0 (X11)\r\nUser-Agent: Zweiter\r\n\r\n");
    auto [got, closed] = b.receive();
    EXPECT_EQ(got.substr(0, html_pending::stream_head.size()), html_pending::stream_head);
    EXPECT_FALSE(closed);
    EXPECT_EQ(visitor.session()->get_user_agent(), "Erster/1.0 (X11)");
}

TEST_F(html_pending_head, fifty_lines_are_the_most_a_head_may_have) {
    std::string headers;
    for (int i = 0; i < 49; ++i) headers += "X-Filler: " + std::to_string(i) + "\r\n";
    {
        browser b;
        b.send(request() + headers + "X-One-Too-Many: 1\r\n");
        auto [got, closed] = b.receive();
        EXPECT_EQ(got, "");
        EXPECT_TRUE(closed);
    }
    browser b;
    b.send(request() + headers + "\r\n");
    auto [got, closed] = b.receive();
    EXPECT_EQ(got.substr(0, html_pending::stream_head.size()), html_pending::stream_head);
    EXPECT_FALSE(closed);
}

TEST_F(html_pending_head, an_unended_line_may_not_reach_2049_bytes) {
    browser patient;
    patient.send(request() + std::string(2048, 'a'));
    EXPECT_FALSE(patient.receive().second);
    browser b;
    b.send(request() + std::string(2049, 'a'));
    auto [got, closed] = b.receive();
    EXPECT_EQ(got, "");
    EXPECT_TRUE(closed);
}

TEST_F(html_pending_head, a_blank_line_with_more_behind_it_does_not_end_the_head) {
    browser b;
    b.send(request() + "\r\nmore\r\n");
    auto [got, closed] = b.receive();
    EXPECT_EQ(got, "");
    EXPECT_FALSE(closed);
    b.send("\r\n");
    got = b.receive().first;
    EXPECT_EQ(got.substr(0, html_pending::stream_head.size()), html_pending::stream_head);
}

TEST_F(html_pending_head, a_request_for_another_random_id_is_redirected) {
    browser b;
    b.send("GET /192.168.1.2/1/2/ HTTP/1.1\r\n\r\n");
    auto [got, closed] = b.receive();
    EXPECT_EQ(got, html_pending::redirect);
    EXPECT_TRUE(closed);
    EXPECT_EQ(html_pending::redirect,
              "HTTP/1.1 302 OK\r\nCache-Control: no-cache\r\nPragma: no-cache\r\nLocation: http://localhost/\r\n"
              "Server: vortachat/2.2\r\nExpires: 0\r\n\r\n");
}

}  // namespace
