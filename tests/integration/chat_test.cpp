// Life in the chat as the clients see it: the room lists of the applet, the
// notices about arrivals, departures and room changes, the protocol verbs of
// a logged-in session, said lines in the icon look, the history and the flood
// rule.
#include <functional>

#include "integration/daemon_fixture.hpp"

using namespace daemon_support;

namespace {

using chat_test = vcd_daemon;

// Logs in over the applet alone, with heartbeats at every step: the lines
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
    if (!a.expect_line(txt(welcome_text))) return lines;
    for (int i = 0; i < 3; ++i) lines.push_back(a.read_line().value_or("(nothing)"));
    return lines;
}
std::vector<std::string> arrived(const std::string& room, const std::string& subject,
                                 const std::vector<std::string>& members) {
    return {"LGN", nrm(room, members), txt(look.room_info(room, subject, members))};
}

TEST_F(chat_test, arrivals_departures_and_room_changes_reach_every_member_in_order) {
    auto anna = log_in("anna");
    auto berta = log_in("berta");
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    applet carl;
    EXPECT_EQ(log_in_lines(carl, "carl", ""), arrived("Lobby", lobby_subject, {"anna", "berta", "carl"}));
    EXPECT_TRUE(expect_arrival(*anna, "carl"));
    EXPECT_TRUE(expect_arrival(*berta, "carl"));

    // Closing the connection is a farewell: first the notice, then the list.
    berta->app.close();
    for (applet* member : {&anna->app, &carl}) EXPECT_TRUE(member->expect_lines({quit("berta"), "DEL \"berta\""}));

    // A room of her own for dora, named in other letter case; no subject.
    applet dora;
    EXPECT_EQ(log_in_lines(dora, "dora", "plauderECKE"), arrived("Plauderecke", "", {"dora"}));

    // The room password line for the own room or no room explains itself.
    const std::string col = proto_line("COL", {blue});
    anna->app.send("RPW", {"lOBBY", ""});
    EXPECT_TRUE(anna->app.expect_lines({col, div("roomGoFailedInRoom", "Du bist bereits im Raum Lobby.")}));
    anna->app.send("RPW", {"Nirgendwo", "geheim"});
    EXPECT_TRUE(anna->app.expect_lines(
        {col, div("roomGoFailedNoRoom", "Der Raumwechsel schlug fehl, da es den Raum Nirgendwo nicht gibt.")}));
    // anna follows dora with it (no password needed).
    anna->app.send("RPW", {"PLAUDERECKE", ""});
    EXPECT_TRUE(anna->app.expect_lines({col, nrm("Plauderecke", {"dora", "anna"}), look.room_change("Plauderecke")}));
    EXPECT_TRUE(dora.expect_lines({"ADD \"anna\"", look.hello("anna")}));
    EXPECT_TRUE(carl.expect_lines({"DEL \"anna\"", room_go("anna", "Plauderecke")}));

    // The rooms keep apart: a line in Plauderecke does not reach carl.
    dora.send_text("hier");
    EXPECT_TRUE(anna->expect_html(look.say("dora", "hier")));
    EXPECT_TRUE(dora.expect_html(look.say("dora", "hier")));
    carl.send_text("dort");
    EXPECT_TRUE(carl.expect_html(look.say("carl", "dort")));
    EXPECT_TRUE(anna->app.drain().empty());

    // The list of a newcomer forgets those who left, and a room that does
    // not exist gives the first one...
    applet erik;
    EXPECT_EQ(log_in_lines(erik, "erik", "Nirgendwo"), arrived("Lobby", lobby_subject, {"carl", "erik"}));
    // ... and counts those who came by a change of room.
    applet fritz;
    EXPECT_EQ(log_in_lines(fritz, "fritz", "Plauderecke"), arrived("Plauderecke", "", {"dora", "anna", "fritz"}));
}

TEST_F(chat_test, protocol_violations_in_the_chat_close_the_session_silently) {
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    const struct {
        const char* name;
        std::function<void(applet&)> steps;
    } violations[] = {
        {"unknown verb", [](applet& a) { a.send_line("XYZ"); }},
        {"colour with a letter beyond F", [](applet& a) { a.send("COL", {"GG"}); }},
        {"colour of seven digits", [](applet& a) { a.send("COL", {"1234567"}); }},
        {"colour with a hash sign", [](applet& a) { a.send("COL", {"#00FF00"}); }},
        {"empty colour", [](applet& a) { a.send("COL", {""}); }},
        {"colour without value", [](applet& a) { a.send("COL"); }},
        {"room password line without room",
         [](applet& a) {
             a.send("RPW", {"", ""});
             EXPECT_TRUE(a.expect_line(proto_line("COL", {blue})));
         }},
        {"second log-in line", [](applet& a) { a.send_login(login_as("anders")); }},
        {"nickname line in a room", [](applet& a) { a.send("NCK", {"anders"}); }},
        {"password line of a guest", [](applet& a) { a.send("PWD", {"geheim"}); }},
        {"1025 bytes without line feed", [](applet& a) { a.send_raw("TXT \"" + std::string(1020, 'x')); }},
    };
    int n = 0;
    for (const auto& v : violations) {
        SCOPED_TRACE(v.name);
        const std::string nick = "gast" + std::to_string(++n);
        auto guest = log_in(nick);
        ASSERT_TRUE(guest);
        EXPECT_TRUE(expect_arrival(*anna, nick));
        v.steps(guest->app);
        EXPECT_TRUE(guest->app.expect_closed());
        // Removed by the daemon: the list changes without a farewell notice.
        EXPECT_TRUE(anna->app.expect_line(proto_line("DEL", {nick})));
    }
    // A line may grow to 1024 bytes before its line feed.
    const std::string text(1019, 'x');
    anna->app.send_raw("TXT \"" + text);
    EXPECT_FALSE(anna->app.closed(300ms));
    anna->app.send_raw("yz\"\n");  // at least three bytes: less does not wake the daemon's reader
    EXPECT_TRUE(anna->expect_html(look.say("anna", text + "yz")));
}

TEST_F(chat_test, said_lines_reach_everybody_escaped_in_the_speakers_colour) {
    auto anna = log_in("anna");
    auto berta = log_in("berta", "", true);
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    // What a typed line becomes for everybody in the room; a colour applies
    // to the lines its speaker says after it.
    const struct {
        std::string colour, typed, html;
    } lines[] = {
        {"", "<script>alert('x')</script> & \"mehr\"",
         look.say("anna", "&lt;script&gt;alert('x')&lt;/script&gt; &amp; &quot;mehr&quot;")},
        {"", ".me winkt", look.me("anna", "winkt")},
        {"", ".me  <i>laut</i>", look.me("anna", "&lt;i&gt;laut&lt;/i&gt;")},
        {"", ".xyz hallo", look.say("anna", ".xyz hallo")},
        {"", ".ME hallo", look.say("anna", ".ME hallo")},
        {"", " .me auch", look.say("anna", " .me auch")},
        {"F0", "eins", look.say("berta", "eins", "0000F0")},
        {"abcDEF", "zwei", look.say("berta", "zwei", "abcDEF")},
        {"0", "drei", look.say("berta", "drei", "000000")},
    };
    for (const auto& [colour, typed, html] : lines) {
        SCOPED_TRACE(typed);
        visitor& speaker = colour.empty() ? *anna : *berta;
        if (!colour.empty()) speaker.app.send("COL", {colour});
        speaker.say(typed);
        EXPECT_TRUE(berta->expect_html(html));
        EXPECT_TRUE(anna->expect_html(html));
    }
    // Answered to the speaker alone; empty lines do nothing at all.
    for (const char* line : {".me", ".me   ", "", "   "}) anna->say(line);
    const std::string syntax = div("actionMeSyntax", "Syntax zum Ausf&uuml;hren einer Aktion:<br>.me &lt;Aktion&gt;");
    EXPECT_TRUE(anna->app.expect_lines({syntax, syntax}));
    // Only the speaker's colour changed.
    anna->say("meine");
    EXPECT_TRUE(anna->expect_html(look.say("anna", "meine")));
    EXPECT_TRUE(berta->expect_html(look.say("anna", "meine")));
}

TEST_F(chat_test, history_keeps_the_last_ten_lines) {
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
        const std::string text = "zeile " + std::to_string(i);
        const bool last = i == 11;
        speaker.say(last ? ".me winkt <zum> Schluss" : text);
        const std::string html = last ? look.me(nick, "winkt &lt;zum&gt; Schluss") : look.say(nick, text);
        EXPECT_TRUE(anna->expect_html(html));
        EXPECT_TRUE(berta->expect_html(html));
        if (i > 1) history += (i > 2 ? "<br>" : "") + (last ? nick + " winkt &lt;zum&gt; Schluss" : nick + ": " + text);
    }
    // Asking is no line of its own.
    for (visitor* v : {berta.get(), anna.get()}) {
        v->say(".history");
        EXPECT_TRUE(v->expect_html(div("msgHistory", history)));
    }
    EXPECT_TRUE(berta->app.drain().empty());
}

TEST_F(chat_test, sender_alone_in_a_room_is_thrown_out_at_his_tenth_line_in_a_row) {
    auto anna = log_in("anna");
    auto carl = log_in("carl", "Plauderecke");
    ASSERT_TRUE(anna && carl);
    for (int i = 1; i <= 9; ++i) {
        carl->say("nachricht " + std::to_string(i));
        EXPECT_TRUE(carl->expect_html(look.say("carl", "nachricht " + std::to_string(i))));
    }
    carl->say("nachricht 10");
    EXPECT_TRUE(carl->app.expect_lines(
        {div("msgSpammer", "carl ist ein Spammer und wird automatisch aus dem Chat gekickt."), "EXT"}));
    EXPECT_TRUE(carl->app.expect_closed());
    // Other rooms hear nothing of it, and the nickname is free again.
    EXPECT_TRUE(anna->app.drain().empty());
    auto again = log_in("carl", "Plauderecke");
    ASSERT_TRUE(again);
    again->say("wieder da");
    EXPECT_TRUE(again->expect_html(look.say("carl", "wieder da")));
}

}  // namespace
