// The icon look: its buttons byte for byte, every renderer it overrides, and
// what differs per recipient (the ban button by rank, the mark button by the
// recipient's marks, pictures by preference).
#include "render/mode_icon.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chat/profile.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "render/message.hpp"
#include "util/c_util.hpp"
#include "support/chat_world.hpp"
#include "support/look_fixture.hpp"

namespace {

using vorta::message;
using vorta::mode_standard;
using test_support::login_details;
using test_support::peer;

// Every button has its own picture, size and markup; the unmark button has
// no markup.
const char* const buttons =
    "info.out = i.example/info.gif\n"
    "info.width = 11\n"
    "info.height = 12\n"
    "info.html = class=\"i\"\n"
    "go.out = i.example/go.gif\n"
    "go.width = 13\n"
    "go.height = 14\n"
    "go.html = class=\"g\"\n"
    "ban.out = i.example/ban.gif\n"
    "ban.width = 15\n"
    "ban.height = 16\n"
    "ban.html = class=\"b\"\n"
    "mark.out = i.example/mark.gif\n"
    "mark.width = 17\n"
    "mark.height = 18\n"
    "mark.html = class=\"m\"\n"
    "unmark.out = i.example/unmark.gif\n"
    "unmark.width = 19\n"
    "unmark.height = 20\n"
    "unmark.html =\n";

const std::string info_alice =
    R"(<img src="http://i.example/info.gif" alt="Informationen anzeigen" width="11" height="12" onmousedown="on_icon_click(this, 'info', '.u alice');" onmouseover="on_icon_over(this, 'info');" onmouseout="on_icon_out(this, 'info');" class="i"> )";
const std::string info_bob =
    R"(<img src="http://i.example/info.gif" alt="Informationen anzeigen" width="11" height="12" onmousedown="on_icon_click(this, 'info', '.u bob');" onmouseover="on_icon_over(this, 'info');" onmouseout="on_icon_out(this, 'info');" class="i"> )";
const std::string info_carol =
    R"(<img src="http://i.example/info.gif" alt="Informationen anzeigen" width="11" height="12" onmousedown="on_icon_click(this, 'info', '.u carol');" onmouseover="on_icon_over(this, 'info');" onmouseout="on_icon_out(this, 'info');" class="i"> )";
const std::string info_lobby =
    R"(<img src="http://i.example/info.gif" alt="Informationen anzeigen" width="11" height="12" onmousedown="on_icon_click(this, 'info', '.r Lobby');" onmouseover="on_icon_over(this, 'info');" onmouseout="on_icon_out(this, 'info');" class="i"> )";
const std::string go_lobby =
    R"(<img src="http://i.example/go.gif" alt="Raum wechseln" width="13" height="14" onmousedown="on_icon_click(this, 'go', '.g Lobby');" onmouseover="on_icon_over(this, 'go');" onmouseout="on_icon_out(this, 'go');" class="g"> )";
const std::string info_garten =
    R"(<img src="http://i.example/info.gif" alt="Informationen anzeigen" width="11" height="12" onmousedown="on_icon_click(this, 'info', '.r Garten');" onmouseover="on_icon_over(this, 'info');" onmouseout="on_icon_out(this, 'info');" class="i"> )";
const std::string go_garten =
    R"(<img src="http://i.example/go.gif" alt="Raum wechseln" width="13" height="14" onmousedown="on_icon_click(this, 'go', '.g Garten');" onmouseover="on_icon_over(this, 'go');" onmouseout="on_icon_out(this, 'go');" class="g"> )";
const std::string ban_alice =
    R"(<img src="http://i.example/ban.gif" alt="15 Minuten bannen" width="15" height="16" onmousedown="on_icon_click(this, 'ban', '.ban alice');" onmouseover="on_icon_over(this, 'ban');" onmouseout="on_icon_out(this, 'ban');" class="b"> )";
// The recipient has not marked alice: the click marks her.
const std::string unmarked_alice =
    R"(<img src="http://i.example/unmark.gif" alt="Nicht markiert" width="19" height="20" onmousedown="on_icon_click(this, 'unmark', '.m alice');" onmouseover="on_icon_over(this, 'unmark');" onmouseout="on_icon_out(this, 'unmark');" > )";
// The recipient has marked alice: the click takes the mark back.
const std::string marked_alice =
    R"(<img src="http://i.example/mark.gif" alt="Markiert" width="17" height="18" onmousedown="on_icon_click(this, 'mark', '.um alice');" onmouseover="on_icon_over(this, 'mark');" onmouseout="on_icon_out(this, 'mark');" class="m"> )";

class icon_look : public test_support::look_test {
protected:
    void SetUp() override {
        look_test::SetUp();
        configure(buttons);
    }

    const vorta::mode_icon icon;
};

message numbered(message m, int number) {
    m.number = number;
    return m;
}

// Every renderer of the look, for alice speaking or acting and bob (a
// visitor) receiving, with carol in the Garten; alice blocks bob and carol.
TEST_F(icon_look, every_overridden_type_renders_its_template) {
    peer carol("10.0.0.3", login_details{"carol", "Garten"});
    ASSERT_TRUE(carol.in_room());
    carol.load(test_support::profile_of(3, "visitor"));
    vorta::profile blocking = alice_profile();
    blocking.set_blocked({2, 3});
    alice_->load(blocking);

    using t = mode_standard;
    const fragments cases = {
        {message(t::action_say, alice(), bob(), "Hallo"),
         info_alice + unmarked_alice +
             R"(<span class="internSay">alice:</span> <span class="actionSay" style="color:#FF0000;">Hallo</span><br>)"},
        {numbered(message(t::action_say_moderated, alice(), bob(), "Hallo"), 7),
         R"(<span class="internMessageId">7</span> )" + info_alice + unmarked_alice +
             R"(<span class="internSayModerated">alice:</span> <span class="actionSayModerated" style="color:#FF0000;">Hallo</span><br>)"},
        {message(t::action_got_whisper, alice(), bob(), "psst"),
         info_alice +
             R"(<span class="internGotWhisper">alice fl&uuml;stert:</span> <span class="actionGotWhisper" style="color:#FF0000;">psst</span><br>)"},
        {message(t::action_users),
         R"(<div class="actionUsers">Chat&uuml;bersicht:<br>- )" + info_alice + "alice [Raum: " + info_lobby +
             go_lobby + "Lobby; Rang: Visitor; Status: -; Clan: Rot]<br>- " + info_bob + "bob [Raum: " +
             info_lobby + go_lobby + "Lobby; Rang: Visitor; Status: -]<br>- " + info_carol + "carol [Raum: " +
             info_garten + go_garten + "Garten; Rang: Visitor; Status: -]</div>"},
        {message(t::action_got_invited, alice()),
         R"(<div class="actionGotInvited">Du hast von )" + info_alice +
             "alice eine Einladung erhalten, in den Raum " + info_lobby + go_lobby + "Lobby zu wechseln.</div>"},
        {message(t::action_me, alice(), bob(), "winkt"),
         info_alice + unmarked_alice + R"(<span class="internMe">alice</span> <span class="actionMe">winkt</span><br>)"},
        {numbered(message(t::action_me_moderated, alice(), bob(), "winkt"), 8),
         R"(<span class="internMessageId">8</span> )" + info_alice + unmarked_alice +
             R"(<span class="internMeModerated">alice</span> <span class="actionMeModerated">winkt</span><br>)"},
        {message(t::action_make_admin, alice(), bob()),
         R"(<div class="actionMakeAdmin">)" + info_alice + "alice ernennt " + info_bob + "bob zum Admin.</div>"},
        {message(t::action_block_list, alice()),
         R"(<div class="actionBlockList">Momentan im Chat geblockte User:<br>)" + info_bob + "bob, " + info_carol +
             "carol</div>"},
        {message(t::action_morph, alice(), "carol"),
         R"(<div class="actionMorph">alice morpht sich zu )" + info_carol + "carol.</div>"},
        {message(t::action_enter, alice(), bob()),
         R"(<div class="actionEnter">)" + info_alice + "alice betritt den Chat.</div>"},
        {message(t::room_hello, alice(), bob()), R"(<div class="roomHello">)" + info_alice + "alice betritt den Raum.</div>"},
        {message(t::room_new, alice()),
         R"(<div class="roomNew">)" + info_alice + "alice erstellt den Raum " + info_lobby + go_lobby +
             "Lobby und wechselt in diesen.</div>"},
        {message(t::room_info, lobby_),
         R"(<div class="roomInfo">Raum&uuml;bersicht:<br>Lobby [2 User; Demokratie]<br>Thema: Eingangshalle<br>User: )" +
             info_alice + "alice, " + info_bob + "bob</div>"},
        {message(t::rooms_info),
         R"(<div class="roomList">Chat&uuml;bersicht:<br>- )" + info_lobby + go_lobby +
             "Lobby [2 User; Demokratie; Thema: Eingangshalle]<br>- " + info_garten + go_garten +
             "Garten [1 User; Demokratie]</div>"},
        {message(t::room_change, lobby_),
         R"(<div class="roomChange">Du befindest dich nun im Raum )" + info_lobby + "Lobby.</div>"},
        {message(t::msg_got_alarm, alice()),
         R"(<div class="msgGotAlarm">Alarm! )" + info_alice + "alice ben&ouml;tigt dringend Hilfe im Raum " +
             info_lobby + go_lobby + "Lobby.</div>"},
    };
    expect_fragments(icon, cases, 17);
    EXPECT_EQ(icon.name, "Standard");
    EXPECT_EQ(icon.get(message()), "");
}

TEST_F(icon_look, buttons_alone) {
    EXPECT_EQ(icon.get_info_button(".r Lobby"), info_lobby);
    EXPECT_EQ(icon.get_info_button(".u alice"), info_alice);
    EXPECT_EQ(icon.get_go_button("Garten"), go_garten);
    EXPECT_EQ(icon.get_ban_button("alice"), ban_alice);
    EXPECT_EQ(icon.get_mark_button(message(mode_standard::action_say, alice(), bob(), "Hallo")), unmarked_alice);
    bob()->mark(alice());
    EXPECT_EQ(icon.get_mark_button(message(mode_standard::action_say, alice(), bob(), "Hallo")), marked_alice);
}

// Names go into the script call escaped, and next to the button as they are.
TEST_F(icon_look, quotes_and_backslashes_are_escaped_inside_the_script_call) {
    EXPECT_EQ(icon.get_ban_button(R"(O'Neil\x)"),
              R"(<img src="http://i.example/ban.gif" alt="15 Minuten bannen" width="15" height="16" onmousedown="on_icon_click(this, 'ban', '.ban O\'Neil\\x');" onmouseover="on_icon_over(this, 'ban');" onmouseout="on_icon_out(this, 'ban');" class="b"> )");
    EXPECT_EQ(icon.get(message(mode_standard::action_morph, alice(), R"(O'Neil\x)")),
              R"(<div class="actionMorph">alice morpht sich zu <img src="http://i.example/info.gif" alt="Informationen anzeigen" width="11" height="12" onmousedown="on_icon_click(this, 'info', '.u O\'Neil\\x');" onmouseover="on_icon_over(this, 'info');" onmouseout="on_icon_out(this, 'info');" class="i"> O'Neil\x.</div>)");
    vorta::room bar(R"(Bob's\Bar)", nullptr, "", vorta::room::form::democracy);
    EXPECT_EQ(icon.get(message(mode_standard::room_change, &bar)),
              R"(<div class="roomChange">Du befindest dich nun im Raum <img src="http://i.example/info.gif" alt="Informationen anzeigen" width="11" height="12" onmousedown="on_icon_click(this, 'info', '.r Bob\'s\\Bar');" onmouseover="on_icon_over(this, 'info');" onmouseout="on_icon_out(this, 'info');" class="i"> Bob's\Bar.</div>)");
}

// Arrivals offer the ban button to recipients whose rank may ban: the mod,
// not the visitor nor the guard, who only sees addresses.
TEST_F(icon_look, arrivals_offer_the_ban_button_by_the_recipients_rank) {
    const message enter(mode_standard::action_enter, alice(), bob());
    const message hello(mode_standard::room_hello, alice(), bob());
    const std::string enter_without = R"(<div class="actionEnter">)" + info_alice + "alice betritt den Chat.</div>";
    const std::string hello_without = R"(<div class="roomHello">)" + info_alice + "alice betritt den Raum.</div>";
    EXPECT_EQ(icon.get(enter), enter_without);
    EXPECT_EQ(icon.get(hello), hello_without);

    bob_->load(bob_profile("guard"));
    EXPECT_EQ(icon.get(enter), enter_without);

    bob_->load(bob_profile("mod"));
    EXPECT_EQ(icon.get(enter), R"(<div class="actionEnter">)" + info_alice + ban_alice + "alice betritt den Chat.</div>");
    EXPECT_EQ(icon.get(hello), R"(<div class="roomHello">)" + info_alice + ban_alice + "alice betritt den Raum.</div>");
    // The same notice for alice herself, a visitor, and for nobody in particular.
    EXPECT_EQ(icon.get(message(mode_standard::room_hello, alice(), alice())), hello_without);
    EXPECT_EQ(icon.get(message(mode_standard::room_hello, alice())), hello_without);
}

// Bob's mark on alice shows on her lines to bob only; marked, she is also in
// danger, and her name turns red for everybody.
TEST_F(icon_look, the_mark_button_shows_the_recipients_own_mark) {
    const message to_bob(mode_standard::action_say, alice(), bob(), "Hallo");
    const message to_alice(mode_standard::action_say, alice(), alice(), "Hallo");
    const std::string line =
        R"(<span class="internSay">alice:</span> <span class="actionSay" style="color:#FF0000;">Hallo</span><br>)";
    const std::string red_line =
        R"(<span class="internSay" style="color:#CC0000;">alice:</span> <span class="actionSay" style="color:#FF0000;">Hallo</span><br>)";
    EXPECT_EQ(icon.get(to_bob), info_alice + unmarked_alice + line);

    bob()->mark(alice());
    ASSERT_TRUE(alice()->danger());
    EXPECT_EQ(icon.get(to_bob), info_alice + marked_alice + red_line);
    EXPECT_EQ(icon.get(to_alice), info_alice + unmarked_alice + red_line);
    EXPECT_EQ(icon.get(numbered(message(mode_standard::action_me_moderated, alice(), bob(), "winkt"), 3)),
              R"(<span class="internMessageId">3</span> )" + info_alice + marked_alice +
                  R"(<span class="internMeModerated" style="color:#CC0000;">alice</span> <span class="actionMeModerated">winkt</span><br>)");

    bob()->unmark(alice());
    EXPECT_EQ(icon.get(to_bob), info_alice + unmarked_alice + line);
}

// Bob sees pictures, alice sees links.
TEST_F(icon_look, chat_lines_anchor_pictures_by_the_recipients_preference) {
    const std::string text = "img:www.example.org/a.gif";
    EXPECT_EQ(icon.get(message(mode_standard::action_me, alice(), bob(), text)),
              info_alice + unmarked_alice +
                  R"(<span class="internMe">alice</span> <span class="actionMe"><img src="http://www.example.org/a.gif" alt=""></span><br>)");
    EXPECT_EQ(icon.get(message(mode_standard::action_me, alice(), alice(), text)),
              info_alice + unmarked_alice +
                  R"(<span class="internMe">alice</span> <span class="actionMe"><a href="http://www.example.org/a.gif" target="_blank">www.example.org/a.gif (Bild)</a></span><br>)");
}

// The owner of a room is listed with a button, like its members.
TEST_F(icon_look, the_room_overview_puts_buttons_before_owner_and_members) {
    vorta::room salon("Salon", alice(), "", vorta::room::form::dictatorship);
    ASSERT_NE(salon.join(bob(), vorta::room::enter::go, ""), nullptr);
    EXPECT_EQ(icon.get(message(mode_standard::room_info, &salon)),
              R"(<div class="roomInfo">Raum&uuml;bersicht:<br>Salon [2 User; Diktatur]<br>Owner: )" + info_alice +
                  "alice<br>User: " + info_alice + "alice, " + info_bob + "bob</div>");
}

// A said line reaches every member in his own look: the icon look for a
// session that just logged in, the look that a stored profile names for the
// others. Without a browser stream it arrives as an applet "TXT" line.
TEST_F(icon_look, a_said_line_reaches_each_member_in_his_look) {
    peer carol("10.0.0.3", login_details{"carol", "Lobby"});
    ASSERT_TRUE(carol.in_room());
    vorta::profile plain_profile = bob_profile("visitor");
    plain_profile.set_mode("plain");
    bob_->load(plain_profile);
    peer dora("10.0.0.4", login_details{"dora", "Lobby"});
    vorta::profile photo_profile = test_support::profile_of(4, "visitor");
    photo_profile.set_mode("Photo");
    dora.load(photo_profile);
    bob_->lines();
    carol.lines();
    dora.lines();

    alice_->send("TXT \"Hallo\"");
    const std::string line =
        R"(<span class="internSay">alice:</span> <span class="actionSay" style="color:#FF0000;">Hallo</span><br>)";
    auto txt = [](const std::string& html) { return "TXT \"" + vorta::c_escape(html) + "\""; };
    EXPECT_EQ(carol.lines(), std::vector<std::string>{txt(info_alice + unmarked_alice + line)});
    EXPECT_EQ(bob_->lines(), std::vector<std::string>{txt(line)});
    EXPECT_EQ(dora.lines(),
              std::vector<std::string>{txt(
                  R"(<img src="http://www.example.org/alice.jpg" alt="alice" width="40" height="60" class="photoUser" border="0"> )" +
                  line)});
}

}  // namespace
