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

// A browser on a socket pair sends the request of `head` for hanna, who has
// sent her log-in line over the applet; then a blank line if the first
// answer was neither the stream nor the end. What it got each time: whether
// the stream began (else nothing arrived), and whether the server closed.
std::vector<std::pair<bool, bool>> browse(const std::string& head) {
    test_support::peer hanna;
    hanna.send("LGN \"vcp2\" \"hanna\" \"\" \"\" \"192.168.1.2\" \"\" \"\" \"\" \"\"");
    std::string request;
    for (const std::string& line : hanna.lines())
        if (line.rfind("CNT ", 0) == 0)
            request = "GET /192.168.1.2/" + vorta::get_param(line, 2, " \"", '"') + "/" +
                      test_support::answer(vorta::get_param(line, 3, " \"", '"')) + "/ HTTP/1.1\r\n";
    int pair[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    fcntl(pair[0], F_SETFL, fcntl(pair[0], F_GETFL) | O_NONBLOCK);
    Manager.add_pending(pair[1], "10.0.0.1");
    std::vector<std::pair<bool, bool>> answers;
    for (std::string bytes = request + head;; bytes = "\r\n") {
        EXPECT_EQ(write(pair[0], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        test_support::pump();
        std::string got;
        char buffer[65536];
        ssize_t count;
        while ((count = read(pair[0], buffer, sizeof buffer)) > 0) got.append(buffer, static_cast<std::size_t>(count));
        EXPECT_TRUE(got.empty() || got.rfind(html_pending::stream_head, 0) == 0) << got;
        answers.emplace_back(!got.empty(), count == 0);
        if (answers.size() == 2 || answers.back() != std::pair{false, false}) break;
    }
    EXPECT_TRUE(head.find("Erster") == std::string::npos || hanna->get_user_agent() == "Erster/1.0 (X11)");
    close(pair[0]);
    return answers;
}

// At most fifty head lines; an unended line may not reach 2049 bytes; a blank
// line with more behind it does not end the head. The first user agent counts.
TEST(html_pending_head, the_head_is_bounded_and_ends_at_its_blank_line) {
    std::string filler;
    for (int i = 0; i < 49; ++i) filler += "X-Filler: " + std::to_string(i) + "\r\n";
    using answers = std::vector<std::pair<bool, bool>>;
    const std::pair<std::string, answers> rows[] = {
        {"Host: x\r\nuser-agent: Erster/1.0 (X11)\r\nUser-Agent: Zweiter\r\n\r\n", {{true, false}}},
        {filler + "\r\n", {{true, false}}},
        {filler + "X-One-Too-Many: 1\r\n", {{false, true}}},
        {std::string(2048, 'a'), {{false, false}, {false, false}}},
        {std::string(2049, 'a'), {{false, true}}},
        {"\r\nmore\r\n", {{false, false}, {true, false}}},
    };
    for (const auto& [head, expected] : rows) EXPECT_EQ(browse(head), expected) << head.substr(0, 40);
}

}  // namespace
