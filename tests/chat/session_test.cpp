// Sessions of the program-wide manager on socket pairs: the log-in and the
// lines that end it, refused nicknames, the stale nickname, rooms made and
// left, the history and the flood check.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <tuple>

#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "net/scheduler.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "security/security.hpp"
#include "support/chat_world.hpp"
#include "support/log_events.hpp"
#include "support/temp_dir.hpp"
#include "util/c_util.hpp"

namespace {

using namespace std::chrono_literals;
using test_support::del;
using test_support::lines_t;
using test_support::peer;
using test_support::txt;
using vorta::message;
using t = vorta::mode_standard;

// The log-in line of `nickname` without a room or client details.
std::string lgn(const std::string& nickname, const std::string& protocol = "vcp2", const char* banned = "") {
    return "LGN \"" + protocol + "\" \"" + nickname + "\" \"\" \"\" \"\" \"\" \"\" \"\" \"" + banned + "\"";
}
// The challenge's answer to the "CNT" line that greets a log-in line.
std::string aut(const lines_t& greeting) {
    return "AUT \"" + test_support::answer(greeting.empty() ? "" : vorta::get_param(greeting[0], 3, " \"", '"')) + "\"";
}

using session_test = ::testing::Test;  // every peer loads the world first

// Each line ends the session when it comes out of order or breaks the
// protocol; some say why first.
TEST_F(session_test, out_of_order_or_refused_lines_close_the_connection) {
    // What comes before the line: nothing, the log-in line (of a browser
    // marked as banned), or the whole log-in.
    enum phase { fresh, greeted, flagged, inside };
    const struct {
        phase before;
        std::string line;
        lines_t answer;  // the lines before the close
    } cases[] = {
        {fresh, lgn("anna", "vcp1"), {"EXT \"vcp2\""}}, {fresh, lgn(""), {}}, {fresh, "AUT \"-1\"", {}},
        {fresh, txt("hallo"), {}}, {fresh, "COL \"FF0000\"", {}}, {fresh, "lgn \"vcp2\" \"anna\"", {}},
        {greeted, lgn("berta"), {}},
        {greeted, "AUT \"0\"", {}},  // no challenge is 0
        {greeted, "NCK \"berta\"", {}}, {greeted, "PWD \"geheim\"", {}},
        {flagged, "", {txt("<p>Willkommen</p>"), "", "EXT"}},  // the refusal in the session's look
        {inside, "", {}},  // a second answer
        {inside, "XYZ", {}}, {inside, "COL \"GG\"", {}}, {inside, "COL \"1234567\"", {}},
        {inside, "COL \"#00FF00\"", {}}, {inside, "COL \"\"", {}}, {inside, "COL", {}},
        {inside, lgn("anders"), {}}, {inside, "NCK \"anders\"", {}}, {inside, "PWD \"geheim\"", {}},
        {inside, "RPW \"\" \"\"", {"COL \"000000\""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        peer p;
        std::string line = c.line;
        if (c.before != fresh) {
            p.send(lgn("anna", "vcp2", c.before == flagged ? "true" : "false"));
            const std::string answer = aut(p.lines());
            if (line.empty()) line = answer;
            if (c.before == inside) p.send(answer);
        }
        p.lines();
        p.send(line);
        lines_t answer = c.answer;
        if (c.before == flagged) answer[1] = p.shown(message(t::msg_ip_banned));
        EXPECT_EQ(p.lines(), answer);
        EXPECT_TRUE(p.closed());
    }
}

// A refused nickname is asked for again until one fits; one too long in the
// log-in line is cut instead.
TEST_F(session_test, refused_nicknames_ask_for_another_until_one_fits) {
    peer anna, guest, cut;
    anna.login("anna");
    guest.send(lgn("a<b"));
    guest.send(aut(guest.lines()));
    const auto refusal = [&guest](t::types type, const char* text = "") {
        return guest.shown(message(type, std::string(text)));
    };
    EXPECT_EQ(guest.lines(), (lines_t{txt("<p>Willkommen</p>"), "NCK", refusal(t::msg_nickname_invalid, "&lt;")}));
    const std::pair<std::string, std::string> attempts[] = {
        {"ab", refusal(t::msg_nickname_too_short)},  {"", refusal(t::msg_nickname_too_short)},
        {"abcdefghijklm", refusal(t::msg_nickname_too_long)},  // not cut with "NCK"
        {"ab<c", refusal(t::msg_nickname_invalid, "&lt;")}, {"gr\xFCn", refusal(t::msg_nickname_invalid, "\xFC")},
        {"an na", refusal(t::msg_nickname_invalid, " ")}, {"ANNA", guest.shown(message(t::msg_nickname_double, anna.session()))},
    };
    for (const auto& [nick, message] : attempts) {
        guest.send("NCK \"" + nick + "\"");
        EXPECT_EQ(guest.lines(), (lines_t{"NCK", message})) << nick;
    }
    guest.send("NCK \"abc\"");
    const lines_t in = guest.lines();
    EXPECT_TRUE(in.size() == 3 && in[0] == "LGN" && in[1] == "NRM \"Lobby\" \"anna\" \"abc\"") << in.size();
    cut.send(lgn("abcdefghijklmnop"));
    const lines_t greeting = cut.lines();
    ASSERT_EQ(greeting.size(), 1u);
    EXPECT_EQ(vorta::get_param(greeting[0], 1, " \"", '"'), "abcdefghijkl");
}

// Two speakers take turns, so that the flood rule stays out of the way;
// asking is no line of its own.
TEST_F(session_test, the_history_keeps_the_last_ten_lines) {
    auto anna = test_support::arrive("anna", "Lobby"), bert = test_support::arrive("bert", "Lobby");
    for (const auto& [p, line] : {std::pair{anna.get(), ".nr Chronik"}, std::pair{bert.get(), ".g Chronik"}}) {
        p->send(txt(line));
        test_support::drain({anna.get(), bert.get()});
    }
    std::string kept;
    for (int i = 1; i <= 11; ++i) {
        const std::string nick = i % 2 ? "anna" : "bert", text = i == 11 ? "winkt &lt;zu&gt;" : "zeile " + std::to_string(i);
        (i % 2 ? anna : bert)->send(txt(i == 11 ? ".me winkt <zu>" : text));
        test_support::pump();
        if (i > 1) kept += (i > 2 ? "<br>" : "") + nick + (i == 11 ? " " : ": ") + text;
    }
    test_support::drain({anna.get(), bert.get()});
    for (peer* p : {anna.get(), bert.get()}) {
        p->send(txt(".history"));
        EXPECT_EQ(p->lines(), lines_t{p->shown(message(t::msg_history, std::string(kept)))});
    }
}

TEST_F(session_test, a_session_that_missed_two_ticks_gives_way_to_a_new_log_in) {
    peer witness;
    witness.login("zeuge", "Garten");
    auto stale = std::make_unique<peer>();
    stale->login("clara", "Garten");
    const std::string notice = witness.shown(message(t::msg_disconnected, stale->session()));
    Scheduler.set_interval(1);
    test_support::pump(2600ms);  // two ticks without a heartbeat from clara
    Scheduler.set_interval(12);
    witness.lines();
    peer fresh;
    fresh.login("CLARA", "Garten");
    EXPECT_EQ(fresh.session()->get_room(), Manager.get_room("Garten"));
    const lines_t old = stale->lines();
    EXPECT_TRUE(!old.empty() && old.back() == "EXT" && stale->closed());
    const lines_t seen = witness.lines();
    for (const std::string& line : {notice, del("clara"), std::string("ADD \"CLARA\"")})
        EXPECT_NE(std::find(seen.begin(), seen.end(), line), seen.end()) << line;
}

// A name is cut to at most 20 characters and cleaned of blanks and entities;
// the form is read from its first letters.
TEST_F(session_test, created_rooms_are_cut_and_cleaned) {
    peer owner;
    owner.login("fritz");
    const std::tuple<std::string, std::string, std::string, vorta::room::form> cases[] = {
        {"Garten am See und mehr", "DC", "Garten_am_See_und", vorta::room::form::dictatorship},
        {"Abcdefghijklmnopqrstuvwxyz", "an", "Abcdefghijklmnopqrst", vorta::room::form::anarchy},
        {"a&amp;b", "monarchy", "a_b", vorta::room::form::democracy},
    };
    for (auto [name, form, made_name, government] : cases) {
        vorta::room* made = Manager.create(name, form, owner.session());
        ASSERT_NE(made, nullptr) << made_name;
        EXPECT_EQ(name + " " + made->get_name(), made_name + " " + made_name);
        EXPECT_EQ(made->get_form(), government);
        EXPECT_EQ(owner.session()->get_status(), "Owner");
        // The owner stands in two rooms until he leaves the new one.
        made->leave(owner.session(), vorta::room::change::go);
        test_support::pump();
    }
}

// The k-th line in a row is spam when k-1 exceeds both 9 minus the members
// and a number drawn from 3 and 4.
TEST_F(session_test, flood_check_follows_the_number_of_members) {
    std::vector<std::unique_ptr<peer>> members;
    for (int i = 0; i < 6; ++i) members.push_back(test_support::arrive("floh" + std::to_string(i), "Garten"));
    vorta::room* garten = Manager.get_room("Garten");
    auto line_of = [&](int member) { return message(t::action_say, members[member]->session(), std::string("x")); };
    for (int round = 0; round < 20; ++round) {
        garten->spammer(line_of(1));
        int caught = 0;
        for (int k = 1; k <= 6 && caught == 0; ++k)
            if (garten->spammer(line_of(0))) caught = k;
        EXPECT_TRUE(caught == 5 || caught == 6) << caught;
    }
    // Two members: the ninth line in a row, whatever is drawn.
    members.resize(2);
    test_support::pump();
    ASSERT_EQ(garten->get_members().size(), 2u);
    garten->spammer(line_of(1));
    for (int k = 1; k <= 8; ++k) EXPECT_FALSE(garten->spammer(line_of(0))) << k;
    EXPECT_TRUE(garten->spammer(line_of(0)));
}

// Sessions from one address (behind a proxy) draw distinct stream numbers in range.
TEST_F(session_test, stream_numbers_are_distinct_and_in_range) {
    std::srand(1);  // without the check, two of these sessions draw the same number
    std::vector<std::unique_ptr<peer>> peers;
    std::set<long> ids;
    for (int i = 0; i < 300; ++i) {
        const vorta::user* u = peers.emplace_back(std::make_unique<peer>("10.0.0.7"))->session();
        ids.insert(vorta::string_to_long(u->get_randomid(), 10));
    }
    EXPECT_EQ(ids.size(), peers.size());
    EXPECT_TRUE(*ids.begin() >= 8096 && *ids.rbegin() <= 65534);
}

// A logged room keeps its lines in the plain look; a logged user his log-in with
// the client's values escaped, what he receives, and his log-out.
TEST_F(session_test, logged_rooms_and_users_write_their_logs) {
    test_support::temp_dir dir;
    Security.reload(dir.write("rules", "r salon >\nu anna >\n"));
    {
        peer anna("10.0.0.9", {"anna", "Lobby", "UA <b>\"x\"&", "http://www.example.org/<i>"});
        peer berta("10.0.0.8", {"berta", "Lobby"});
        std::string salon = "Salon", form = "DC";
        ASSERT_NE(Manager.create(salon, form, anna.session()), nullptr);
        berta.send(txt(".go Salon"));
        berta.send(txt("hallo"));
        test_support::pump();
    }
    test_support::pump();
    Manager.remove(Manager.get_room("Salon"));  // the owner left it as a dropped connection
    Security.reload(dir.write("rules", ""));
    const auto user_log = test_support::log_events(dir.file("anna.u"));
    ASSERT_FALSE(user_log.empty());
    EXPECT_EQ(user_log.front(), "<div class=\"login\">Login: anna [Extern-IP: 10.0.0.9; Intern-IP: 192.168.1.2; "
                                "User-Agent: UA &lt;b&gt;&quot;x&quot;&amp;; Referer: http://www.example.org/&lt;i&gt;]</div>");
    EXPECT_EQ(user_log.back(), "<div class=\"logout\">Logout: anna</div>");
    EXPECT_EQ(test_support::log_events(dir.file("salon.r")),
              (lines_t{"<div class=\"roomHello\">anna betritt den Raum.</div>",
                       "<div class=\"roomHello\">berta betritt den Raum.</div>",
                       "<span class=\"internSay\">berta:</span> <span class=\"actionSay\" style=\"color:#000000;\">hallo</span><br>"}));
}

}  // namespace
