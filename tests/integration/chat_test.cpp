// Life in the chat as the applet sees it: the room lists, the notices about
// arrivals, departures and room changes, said lines and colours, the longest
// line, the history and the flood rule.
#include "integration/daemon_fixture.hpp"

using namespace daemon_support;

namespace {

using chat_test = vcd_daemon;

// Logs in over the applet alone with a heartbeat before each line: the lines
// after the welcome, up to the room information.
std::vector<std::string> log_in_lines(applet& a, const std::string& nick, const std::string& room) {
    a.send("HTB");
    a.send_login(login_as(nick, room));
    const std::string cnt = a.read_line().value_or("");
    const auto values = proto_values(cnt);
    if (values.size() != 5 || cnt != proto_line("CNT", {"vcp2", nick, values[2], values[3], "1"})) return {cnt};
    a.send_line("HTB \"ignored\"");
    a.authenticate(challenge_answer(std::stoi(values[3])));
    std::vector<std::string> lines;
    for (int i = 0; i < 4; ++i) lines.push_back(a.read_line().value_or("(nothing)"));
    return lines;
}
std::vector<std::string> arrived(const std::string& room, const std::string& subject,
                                 const std::vector<std::string>& members) {
    return {txt(welcome_text), "LGN", nrm(room, members), txt(look.room_info(room, subject, members))};
}

TEST_F(chat_test, arrivals_departures_and_room_changes_reach_every_member_in_order) {
    auto anna = log_in("anna");
    applet berta, carl, dora, erik, fritz;
    ASSERT_TRUE(anna);
    EXPECT_EQ(log_in_lines(berta, "berta", ""), arrived("Lobby", lobby_subject, {"anna", "berta"}));
    EXPECT_EQ(log_in_lines(carl, "carl", ""), arrived("Lobby", lobby_subject, {"anna", "berta", "carl"}));
    EXPECT_TRUE(expect_arrival(*anna, "berta") && expect_arrival(*anna, "carl"));
    EXPECT_TRUE(berta.expect_lines({"ADD \"carl\"", look.enter("carl")}));
    // Closing the connection is a farewell: first the notice, then the list.
    berta.close();
    for (applet* member : {&anna->app, &carl}) EXPECT_TRUE(member->expect_lines({quit("berta"), "DEL \"berta\""}));
    // A room of her own for dora, named in other letter case; no subject.
    EXPECT_EQ(log_in_lines(dora, "dora", "plauderECKE"), arrived("Plauderecke", "", {"dora"}));

    // The room password line for the own room or no room explains itself;
    // anna follows dora with it (no password needed).
    const std::string col = proto_line("COL", {blue});
    anna->app.send("RPW", {"lOBBY", ""});
    EXPECT_TRUE(anna->app.expect_lines({col, div("roomGoFailedInRoom", "Du bist bereits im Raum Lobby.")}));
    anna->app.send("RPW", {"Nirgendwo", "geheim"});
    EXPECT_TRUE(anna->app.expect_lines(
        {col, div("roomGoFailedNoRoom", "Der Raumwechsel schlug fehl, da es den Raum Nirgendwo nicht gibt.")}));
    anna->app.send("RPW", {"PLAUDERECKE", ""});
    EXPECT_TRUE(anna->app.expect_lines({col, nrm("Plauderecke", {"dora", "anna"}), look.room_change("Plauderecke")}));
    EXPECT_TRUE(dora.expect_lines({"ADD \"anna\"", look.hello("anna")}));
    EXPECT_TRUE(carl.expect_lines({"DEL \"anna\"", room_go("anna", "Plauderecke")}));

    // The rooms keep apart; only ".me " makes an action; a colour applies to
    // the speaker's later lines.
    const struct {
        std::string colour, typed, html;
    } lines[] = {
        {"", "<script>alert('x')</script> & \"mehr\"",
         look.say("dora", "&lt;script&gt;alert('x')&lt;/script&gt; &amp; &quot;mehr&quot;")},
        {"", ".me  <i>winkt</i>", look.me("dora", "&lt;i&gt;winkt&lt;/i&gt;")},
        {"", ".xyz hallo", look.say("dora", ".xyz hallo")},
        {"", ".ME hallo", look.say("dora", ".ME hallo")},
        {"", " .me auch", look.say("dora", " .me auch")},
        {"F0", "hier", look.say("dora", "hier", "0000F0")},
        {"abcDEF", "hier", look.say("dora", "hier", "abcDEF")},
        {"0", "hier", look.say("dora", "hier", "000000")},
    };
    for (const auto& [colour, typed, html] : lines) {
        if (!colour.empty()) dora.send("COL", {colour});
        dora.send_text(typed);
        EXPECT_TRUE(anna->expect_html(html) && dora.expect_html(html)) << typed;
    }
    // Answered to the speaker alone; empty lines do nothing at all.
    for (const char* line : {".me", ".me   ", "", "   "}) dora.send_text(line);
    const std::string me_syntax = syntax("actionMeSyntax", "Ausf&uuml;hren einer Aktion", ".me &lt;Aktion&gt;");
    EXPECT_TRUE(dora.expect_lines({me_syntax, me_syntax}));
    // A line may grow to 1024 bytes before its line feed.
    const std::string text(1019, 'x');
    carl.send_raw("TXT \"" + text);
    EXPECT_FALSE(carl.closed(300ms));
    carl.send_raw("yz\"\n");  // at least three bytes: less does not wake the daemon's reader
    EXPECT_TRUE(carl.expect_html(look.say("carl", text + "yz")));
    EXPECT_TRUE(anna->app.drain().empty());

    // The list of a newcomer forgets those who left, a room that does not
    // exist gives the first one, and those who came by a change of room count.
    EXPECT_EQ(log_in_lines(erik, "erik", "Nirgendwo"), arrived("Lobby", lobby_subject, {"carl", "erik"}));
    EXPECT_EQ(log_in_lines(fritz, "fritz", "Plauderecke"), arrived("Plauderecke", "", {"dora", "anna", "fritz"}));
}

TEST_F(chat_test, history_keeps_the_last_ten_lines_and_a_lone_sender_floods_at_his_tenth) {
    auto anna = log_in("anna");
    auto berta = log_in("berta");
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    anna->say(".history");
    EXPECT_TRUE(anna->expect_html(div("msgHistoryFailedEmpty", "Die History ist leer.")));
    // Two speakers take turns, so that the flood rule stays out of the way.
    std::string history;
    for (int i = 1; i <= 11; ++i) {
        visitor& speaker = i % 2 ? *anna : *berta;
        const std::string& nick = speaker.nickname;
        const std::string text = i == 11 ? "winkt &lt;zum&gt; Schluss" : "zeile " + std::to_string(i);
        speaker.say(i == 11 ? ".me winkt <zum> Schluss" : text);
        const std::string html = i == 11 ? look.me(nick, text) : look.say(nick, text);
        EXPECT_TRUE(anna->expect_html(html) && berta->expect_html(html));
        if (i > 1) history += (i > 2 ? "<br>" : "") + nick + (i == 11 ? " " : ": ") + text;
    }
    // Asking is no line of its own.
    for (visitor* v : {berta.get(), anna.get()}) {
        v->say(".history");
        EXPECT_TRUE(v->expect_html(div("msgHistory", history)));
    }
    auto carl = log_in("carl", "Plauderecke");
    ASSERT_TRUE(carl);
    for (int i = 1; i <= 9; ++i) {
        carl->say("nachricht " + std::to_string(i));
        EXPECT_TRUE(carl->expect_html(look.say("carl", "nachricht " + std::to_string(i))));
    }
    carl->say("nachricht 10");
    EXPECT_TRUE(carl->app.expect_lines(
        {div("msgSpammer", "carl ist ein Spammer und wird automatisch aus dem Chat gekickt."), "EXT"}));
    EXPECT_TRUE(carl->app.expect_closed());
    // Other rooms hear nothing of it, and the nickname is free again.
    EXPECT_TRUE(anna->app.drain().empty() && berta->app.drain().empty());
    EXPECT_TRUE(log_in("carl", "Plauderecke"));
}

}  // namespace
