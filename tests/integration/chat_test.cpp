// Life in the chat as the clients see it: the room lists of the applet, the
// notices about arrivals, departures and room changes, the protocol verbs of
// a logged-in session, said lines, the history and the flood rule.
#include <functional>

#include "integration/chat_fixture.hpp"

using namespace chat_support;
using namespace std::chrono_literals;

namespace {

using chat_test = chat_daemon;

const std::string blue = "0000FF";

// Logs in over the applet alone and returns the lines the log-in sent, from
// "LGN" on (without the welcome).
std::vector<std::string> log_in_lines(applet& a, const std::string& nickname, const std::string& room) {
    login_form form;
    form.nickname = nickname;
    form.room = room;
    a.send_login(form);
    auto hello = a.read_greeting();
    if (!hello) return {};
    a.authenticate(challenge_answer(hello->challenge));
    std::vector<std::string> lines;
    if (!a.expect_line(txt(welcome_text))) return lines;
    for (int i = 0; i < 3; ++i) lines.push_back(a.read_line().value_or("(nothing)"));
    return lines;
}

TEST_F(chat_test, arrivals_and_departures_reach_every_member_in_order) {
    auto anna = log_in("anna");
    auto berta = log_in("berta");
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));

    applet carl;
    EXPECT_EQ(log_in_lines(carl, "carl", ""),
              (std::vector<std::string>{"LGN", nrm("Lobby", {"anna", "berta", "carl"}),
                                        txt(look::room_info("Lobby", lobby_subject, {"anna", "berta", "carl"}))}));
    EXPECT_TRUE(expect_arrival(*anna, "carl"));
    EXPECT_TRUE(expect_arrival(*berta, "carl"));

    // Closing the connection is a farewell: first the notice, then the list.
    berta->app.close();
    for (applet* member : {&anna->app, &carl}) {
        EXPECT_TRUE(member->expect_html(look::quit("berta")));
        EXPECT_TRUE(member->expect_line(proto_line("DEL", {"berta"})));
    }

    // A room of his own for dora, entered by a name in other letter case.
    applet dora;
    EXPECT_EQ(log_in_lines(dora, "dora", "technik"),
              (std::vector<std::string>{"LGN", nrm("Technik", {"dora"}),
                                        txt(look::room_info("Technik", technik_subject, {"dora"}))}));

    // anna follows her with the room password line (no password needed).
    anna->app.send("RPW", {"TECHNIK", ""});
    EXPECT_TRUE(anna->app.expect_lines({proto_line("COL", {blue}), nrm("Technik", {"dora", "anna"}),
                                        txt(look::room_change("Technik"))}));
    EXPECT_TRUE(dora.expect_lines({proto_line("ADD", {"anna"}), txt(look::hello("anna"))}));
    EXPECT_TRUE(carl.expect_lines({proto_line("DEL", {"anna"}), txt(look::room_go("anna", "Technik"))}));

    // The rooms keep apart: a line in Technik does not reach carl.
    dora.send_text("hier");
    EXPECT_TRUE(anna->expect_html(look::say("dora", blue, "hier")));
    EXPECT_TRUE(dora.expect_html(look::say("dora", blue, "hier")));
    carl.send_text("dort");
    EXPECT_TRUE(carl.expect_html(look::say("carl", blue, "dort")));
    EXPECT_TRUE(anna->app.drain().empty());

    // The list of a newcomer forgets those who left.
    applet erik;
    EXPECT_EQ(log_in_lines(erik, "erik", ""),
              (std::vector<std::string>{"LGN", nrm("Lobby", {"carl", "erik"}),
                                        txt(look::room_info("Lobby", lobby_subject, {"carl", "erik"}))}));
    // ... and counts those who came by a change of room.
    applet fritz;
    EXPECT_EQ(log_in_lines(fritz, "fritz", "Technik"),
              (std::vector<std::string>{"LGN", nrm("Technik", {"dora", "anna", "fritz"}),
                                        txt(look::room_info("Technik", technik_subject, {"dora", "anna", "fritz"}))}));
}

TEST_F(chat_test, log_in_enters_the_named_room_or_the_first_one) {
    struct entry {
        std::string nickname, room;
        std::vector<std::string> lines;
    } entries[] = {
        {"anna", "PLAUDERECKE",
         {"LGN", nrm("Plauderecke", {"anna"}), txt(look::room_info("Plauderecke", "", {"anna"}))}},
        {"berta", "Nirgendwo",
         {"LGN", nrm("Lobby", {"berta"}), txt(look::room_info("Lobby", lobby_subject, {"berta"}))}},
        {"carl", "plauderecke",
         {"LGN", nrm("Plauderecke", {"anna", "carl"}), txt(look::room_info("Plauderecke", "", {"anna", "carl"}))}},
    };
    std::vector<std::unique_ptr<applet>> applets;
    for (const auto& e : entries) {
        SCOPED_TRACE(e.nickname);
        applets.push_back(std::make_unique<applet>());
        EXPECT_EQ(log_in_lines(*applets.back(), e.nickname, e.room), e.lines);
    }
    EXPECT_TRUE(applets[0]->expect_lines({proto_line("ADD", {"carl"}), txt(look::enter("carl"))}));
    EXPECT_TRUE(applets[1]->drain().empty());
}

TEST_F(chat_test, room_password_line_for_no_other_room_explains_itself) {
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    anna->app.send("RPW", {"lOBBY", ""});
    EXPECT_TRUE(anna->app.expect_lines({proto_line("COL", {blue}),
                                        txt("<div class=\"roomGoFailedInRoom\">Du bist bereits im Raum Lobby.</div>")}));
    anna->app.send("RPW", {"Nirgendwo", "geheim"});
    EXPECT_TRUE(anna->app.expect_lines(
        {proto_line("COL", {blue}),
         txt("<div class=\"roomGoFailedNoRoom\">Der Raumwechsel schlug fehl, da es den Raum Nirgendwo nicht "
             "gibt.</div>")}));
    anna->say("noch hier");
    EXPECT_TRUE(anna->expect_html(look::say("anna", blue, "noch hier")));
}

TEST_F(chat_test, protocol_violations_in_the_chat_close_the_session_silently) {
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    struct violation {
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
        {"second log-in line", [](applet& a) { a.send_login(test_support::login_as("anders")); }},
        {"nickname line in a room", [](applet& a) { a.send("NCK", {"anders"}); }},
        {"password line of a guest", [](applet& a) { a.send("PWD", {"geheim"}); }},
        {"1025 bytes without line feed", [](applet& a) { a.send_raw("TXT \"" + std::string(1020, 'x')); }},
    };
    int n = 0;
    for (const auto& v : violations) {
        SCOPED_TRACE(v.name);
        std::string nickname = "gast" + std::to_string(++n);
        auto guest = log_in(nickname);
        ASSERT_TRUE(guest);
        EXPECT_TRUE(expect_arrival(*anna, nickname));
        v.steps(guest->app);
        EXPECT_TRUE(guest->app.expect_closed());
        // Removed by the daemon: the list changes without a farewell notice.
        EXPECT_TRUE(anna->app.expect_line(proto_line("DEL", {nickname})));
    }
}

TEST_F(chat_test, a_line_may_grow_to_1024_bytes_before_its_line_feed) {
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    std::string text(1019, 'x');
    anna->app.send_raw("TXT \"" + text);  // 1024 bytes
    EXPECT_FALSE(anna->app.closed(300ms));
    // At least three bytes: less does not wake the daemon's reader.
    anna->app.send_raw("yz\"\n");
    text += "yz";
    EXPECT_TRUE(anna->expect_html(look::say("anna", blue, text)));
}

TEST_F(chat_test, colour_applies_to_the_lines_said_after_it) {
    auto anna = log_in("anna");
    auto berta = log_in("berta");
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    struct step {
        std::string colour, shown;
    } steps[] = {{"F0", "0000F0"}, {"abcDEF", "abcDEF"}, {"0", "000000"}};
    int n = 0;
    for (const auto& [colour, shown] : steps) {
        SCOPED_TRACE(colour);
        anna->app.send("COL", {colour});
        std::string text = "farbe " + std::to_string(++n);
        anna->say(text);
        EXPECT_TRUE(berta->expect_html(look::say("anna", shown, text)));
        EXPECT_TRUE(anna->expect_html(look::say("anna", shown, text)));
    }
    // Only the speaker's colour changed.
    berta->say("meine");
    EXPECT_TRUE(anna->expect_html(look::say("berta", blue, "meine")));
}

TEST_F(chat_test, said_lines_reach_everybody_escaped_and_commands_are_told_apart) {
    auto anna = log_in("anna");
    auto berta = log_in("berta", "", true);
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    // What a typed line becomes for everybody in the room.
    struct said {
        std::string typed, html;
    } lines[] = {
        {"<script>alert('x')</script> & \"mehr\"",
         look::say("anna", blue, "&lt;script&gt;alert('x')&lt;/script&gt; &amp; &quot;mehr&quot;")},
        {".me winkt", look::me("anna", "winkt")},
        {".me  <i>laut</i>", look::me("anna", "&lt;i&gt;laut&lt;/i&gt;")},
        {".xyz hallo", look::say("anna", blue, ".xyz hallo")},
        {".ME hallo", look::say("anna", blue, ".ME hallo")},
        {" .me auch", look::say("anna", blue, " .me auch")},
    };
    for (const auto& [typed, html] : lines) {
        SCOPED_TRACE(typed);
        anna->say(typed);
        EXPECT_TRUE(berta->expect_html(html));
        EXPECT_TRUE(anna->expect_html(html));
    }
    // Answered to the speaker alone; empty lines do nothing at all.
    anna->say(".me");
    anna->say(".me   ");
    anna->say("");
    anna->say("   ");
    const std::string syntax = "<div class=\"actionMeSyntax\">Syntax zum Ausf&uuml;hren einer Aktion:<br>.me "
                               "&lt;Aktion&gt;</div>";
    EXPECT_TRUE(anna->expect_html(syntax));
    EXPECT_TRUE(anna->expect_html(syntax));
    anna->say("fertig");
    EXPECT_TRUE(anna->expect_html(look::say("anna", blue, "fertig")));
    EXPECT_TRUE(berta->expect_html(look::say("anna", blue, "fertig")));
}

TEST_F(chat_test, history_keeps_the_last_ten_lines) {
    auto anna = log_in("anna");
    auto berta = log_in("berta");
    ASSERT_TRUE(anna && berta);
    EXPECT_TRUE(expect_arrival(*anna, "berta"));
    anna->say(".history");
    EXPECT_TRUE(anna->expect_html("<div class=\"msgHistoryFailedEmpty\">Die History ist leer.</div>"));

    // Two speakers take turns, so that the flood rule stays out of the way.
    std::vector<std::string> entries;
    for (int i = 1; i <= 11; ++i) {
        visitor& speaker = i % 2 ? *anna : *berta;
        std::string text = "zeile " + std::to_string(i);
        std::string html = look::say(speaker.nickname, blue, text);
        std::string entry = speaker.nickname + ": " + text;
        if (i == 11) {
            text = ".me winkt <zum> Schluss";
            html = look::me(speaker.nickname, "winkt &lt;zum&gt; Schluss");
            entry = speaker.nickname + " winkt &lt;zum&gt; Schluss";
        }
        speaker.say(text);
        EXPECT_TRUE(anna->expect_html(html));
        EXPECT_TRUE(berta->expect_html(html));
        entries.push_back(entry);
    }
    std::string history;
    for (int i = 1; i <= 10; ++i) history += (i > 1 ? "<br>" : "") + entries[i];
    berta->say(".history");
    EXPECT_TRUE(berta->expect_html("<div class=\"msgHistory\">" + history + "</div>"));
    // Asking is no line of its own.
    anna->say(".history");
    EXPECT_TRUE(anna->expect_html("<div class=\"msgHistory\">" + history + "</div>"));
    EXPECT_TRUE(berta->app.drain().empty());
}

TEST_F(chat_test, sender_alone_in_a_room_is_thrown_out_at_his_tenth_line_in_a_row) {
    auto anna = log_in("anna");
    auto carl = log_in("carl", "Plauderecke");
    ASSERT_TRUE(anna && carl);
    for (int i = 1; i <= 9; ++i) {
        std::string text = "nachricht " + std::to_string(i);
        carl->say(text);
        EXPECT_TRUE(carl->expect_html(look::say("carl", blue, text)));
    }
    carl->say("nachricht 10");
    EXPECT_TRUE(carl->app.expect_lines({txt(look::spammer("carl")), "EXT"}));
    EXPECT_TRUE(carl->app.expect_closed());
    // Other rooms hear nothing of it, and the nickname is free again.
    EXPECT_TRUE(anna->app.drain().empty());
    auto again = log_in("carl", "Plauderecke");
    ASSERT_TRUE(again);
    again->say("wieder da");
    EXPECT_TRUE(again->expect_html(look::say("carl", blue, "wieder da")));
}

}  // namespace
