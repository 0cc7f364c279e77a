// The icon look: its buttons byte for byte, every renderer it overrides, and
// what differs per recipient (the ban button by rank, the mark button by the
// recipient's marks, pictures by preference).
#include "render/mode_icon.hpp"

#include <gtest/gtest.h>

#include <string>

#include "render/mode_photo.hpp"
#include "support/look_fixture.hpp"
#include "util/c_util.hpp"

namespace {

using test_support::configure;
using test_support::div;
using test_support::login_details;
using test_support::peer;
using vorta::message;

// Each button has its own picture, size and markup; the unmark button has no
// markup.
const char* const kinds[] = {"info", "go", "ban", "mark", "unmark"};

std::string button(int kind, const std::string& alt, const std::string& command) {
    const std::string name = kinds[kind];
    return R"(<img src="http://i.example/)" + name + R"(.gif" alt=")" + alt + R"(" width=")" +
           std::to_string(11 + 2 * kind) + R"(" height=")" + std::to_string(12 + 2 * kind) +
           R"(" onmousedown="on_icon_click(this, ')" + name + "', '" + command +
           R"(');" onmouseover="on_icon_over(this, ')" + name + R"(');" onmouseout="on_icon_out(this, ')" +
           name + "');\" " + (kind == 4 ? "" : "class=\"" + name.substr(0, 1) + "\"") + "> ";
}
std::string info(const std::string& command) { return button(0, "Informationen anzeigen", command); }
// A user or a room and the buttons before it.
std::string user(const std::string& nickname) { return info(".u " + nickname) + nickname; }
std::string room(const std::string& name) {
    return info(".r " + name) + button(1, "Raum wechseln", ".g " + name) + name;
}
// The recipient has marked alice, or not yet: the click takes the mark back, or sets it.
const std::string ban_alice = button(2, "15 Minuten bannen", ".ban alice");
const std::string marked_alice = button(3, "Markiert", ".um alice");
const std::string unmarked_alice = button(4, "Nicht markiert", ".m alice");
const std::string info_alice = info(".u alice");

class icon_look : public test_support::look_test {
protected:
    void SetUp() override {
        look_test::SetUp();
        std::string buttons;
        for (int kind = 0; kind < 5; ++kind) {
            const std::string name = kinds[kind];
            buttons += name + ".out = i.example/" + name + ".gif\n" + name + ".width = " +
                       std::to_string(11 + 2 * kind) + "\n" + name + ".height = " + std::to_string(12 + 2 * kind) +
                       "\n" + name + ".html =" + (kind == 4 ? "" : " class=\"" + name.substr(0, 1) + "\"") + "\n";
        }
        configure(buttons);
    }

    const vorta::mode_icon icon;
};

// For alice speaking or acting and bob (a visitor) receiving, with carol in
// the Garten; alice blocks bob and carol.
TEST_F(icon_look, every_overridden_type_renders_its_template) {
    peer carol("10.0.0.3", login_details{"carol", "Garten"});
    carol.load(test_support::profile_of(3, "visitor"));
    vorta::profile blocking = alice_profile();
    blocking.set_blocked({2, 3});
    alice_->load(blocking);
    const std::string id = R"(<span class="internMessageId">5</span> )";
    const std::string alice = user("alice"), bob = user("bob"), carol_ = user("carol");
    const std::string lobby = room("Lobby"), garten = room("Garten");
    const std::string overview = "Chat&uuml;bersicht:<br>- ";
    expect_fragments(
        icon,
        {{t::action_say, plain_with(t::action_say, "", info_alice + unmarked_alice)},
         {t::action_say_moderated, plain_with(t::action_say_moderated, id, info_alice + unmarked_alice)},
         {t::action_got_whisper, plain_with(t::action_got_whisper, "", info_alice)},
         {t::action_users, div("actionUsers", overview + alice + " [Raum: " + lobby +
                                                  "; Rang: Visitor; Status: -; Clan: Rot]<br>- " + bob +
                                                  " [Raum: " + lobby + "; Rang: Visitor; Status: -]<br>- " + carol_ +
                                                  " [Raum: " + garten + "; Rang: Visitor; Status: -]")},
         {t::action_got_invited,
          div("actionGotInvited", "Du hast von " + alice + " eine Einladung erhalten, in den Raum " + lobby +
                                      " zu wechseln.")},
         {t::action_me, plain_with(t::action_me, "", info_alice + unmarked_alice)},
         {t::action_me_moderated, plain_with(t::action_me_moderated, id, info_alice + unmarked_alice)},
         {t::action_make_admin, div("actionMakeAdmin", alice + " ernennt " + bob + " zum Admin.")},
         {t::action_block_list, div("actionBlockList", "Momentan im Chat geblockte User:<br>" + bob + ", " + carol_)},
         {t::action_morph, div("actionMorph", "alice morpht sich zu " + carol_ + ".")},
         {t::action_enter, div("actionEnter", alice + " betritt den Chat.")},
         {t::room_hello, div("roomHello", alice + " betritt den Raum.")},
         {t::room_new, div("roomNew", alice + " erstellt den Raum " + lobby + " und wechselt in diesen.")},
         {t::room_info, div("roomInfo", "Raum&uuml;bersicht:<br>Lobby [2 User; Demokratie]<br>Thema: "
                                        "Eingangshalle<br>User: " + alice + ", " + bob)},
         {t::rooms_info, div("roomList", overview + lobby + " [2 User; Demokratie; Thema: Eingangshalle]<br>- " +
                                             garten + " [1 User; Demokratie]")},
         {t::room_change, div("roomChange", "Du befindest dich nun im Raum " + info(".r Lobby") + "Lobby.")},
         {t::msg_got_alarm, div("msgGotAlarm", "Alarm! " + alice + " ben&ouml;tigt dringend Hilfe im Raum " +
                                                   lobby + ".")}});
    EXPECT_EQ(icon.name, "Standard");
}

// Names go into the script call escaped, and next to the button as they are;
// the owner of a room is listed with a button, like its members.
TEST_F(icon_look, names_are_escaped_in_the_script_call_and_owners_get_a_button) {
    const std::string name = R"(O'Neil\x)", escaped = R"(O\'Neil\\x)";
    EXPECT_EQ(icon.get_ban_button(name), button(2, "15 Minuten bannen", ".ban " + escaped));
    EXPECT_EQ(icon.get(message(t::action_morph, alice(), name)),
              div("actionMorph", "alice morpht sich zu " + info(".u " + escaped) + name + "."));
    vorta::room bar(R"(Bob's\Bar)", alice(), "", vorta::room::form::dictatorship);
    EXPECT_EQ(icon.get(message(t::room_change, &bar)),
              div("roomChange", "Du befindest dich nun im Raum " + info(R"(.r Bob\'s\\Bar)") + bar.get_name() + "."));
    EXPECT_EQ(icon.get(message(t::room_info, &bar)),
              div("roomInfo", "Raum&uuml;bersicht:<br>Bob's\\Bar [1 User; Diktatur]<br>Owner: " + info_alice +
                                  "alice<br>User: " + user("alice")));
}

// Arrivals offer the ban button to recipients whose rank may ban: the mod,
// not the guard, who only sees addresses, nor alice herself nor nobody.
TEST_F(icon_look, arrivals_offer_the_ban_button_by_the_recipients_rank) {
    const std::string hello_without = div("roomHello", user("alice") + " betritt den Raum.");
    bob_->load(bob_profile("guard"));
    EXPECT_EQ(icon.get(full(t::action_enter)), div("actionEnter", user("alice") + " betritt den Chat."));
    bob_->load(bob_profile("mod"));
    EXPECT_EQ(icon.get(full(t::action_enter)), div("actionEnter", info_alice + ban_alice + "alice betritt den Chat."));
    EXPECT_EQ(icon.get(full(t::room_hello)), div("roomHello", info_alice + ban_alice + "alice betritt den Raum."));
    EXPECT_EQ(icon.get(message(t::room_hello, alice(), alice())), hello_without);
    EXPECT_EQ(icon.get(message(t::room_hello, alice())), hello_without);
}

// Bob's mark on alice shows on her lines to bob only; marked, she is also in
// danger, and her name turns red for everybody. Bob sees pictures, alice links.
TEST_F(icon_look, the_mark_button_shows_the_recipients_own_mark_and_pictures_his_preference) {
    const message to_bob = full(t::action_say);
    message to_alice = to_bob;
    to_alice.second_user = alice();
    const std::string red_line = plain_with(t::action_say, R"(<span class="internSay")", R"( style="color:#CC0000;")");
    bob()->mark(alice());
    EXPECT_EQ(icon.get(to_bob), info_alice + marked_alice + red_line);
    EXPECT_EQ(icon.get(to_alice), info_alice + unmarked_alice + red_line);
    EXPECT_EQ(icon.get(full(t::action_me_moderated)),
              R"(<span class="internMessageId">5</span> )" + info_alice + marked_alice +
                  R"(<span class="internMeModerated" style="color:#CC0000;">alice</span> )"
                  R"(<span class="actionMeModerated">carol</span><br>)");
    bob()->unmark(alice());
    message m(t::action_me, alice(), bob(), "img:www.example.org/a.gif");
    const std::string head =
        info_alice + unmarked_alice + R"(<span class="internMe">alice</span> <span class="actionMe">)";
    EXPECT_EQ(icon.get(m), head + R"(<img src="http://www.example.org/a.gif" alt=""></span><br>)");
    m.second_user = alice();
    EXPECT_EQ(icon.get(m), head + R"(<a href="http://www.example.org/a.gif" target="_blank">)"
                                  "www.example.org/a.gif (Bild)</a></span><br>");
}

// A said line reaches every member in his own look: the icon look for a
// session that just logged in, the look that a stored profile names for the
// others. Without a browser stream it arrives as an applet "TXT" line.
TEST_F(icon_look, a_said_line_reaches_each_member_in_his_look) {
    peer carol("10.0.0.3", login_details{"carol", "Lobby"});
    vorta::profile plain_profile = bob_profile("visitor");
    plain_profile.set_mode("plain");
    bob_->load(plain_profile);
    peer dora("10.0.0.4", login_details{"dora", "Lobby"});
    vorta::profile photo_profile = test_support::profile_of(4, "visitor");
    photo_profile.set_mode("Photo");
    dora.load(photo_profile);
    for (peer* p : {bob_.get(), &carol, &dora}) p->lines();

    alice_->send("TXT \"carol\"");
    const std::string line = t("Plain").get(full(t::action_say));
    EXPECT_EQ(carol.lines(), test_support::lines_t{test_support::txt(info_alice + unmarked_alice + line)});
    EXPECT_EQ(bob_->lines(), test_support::lines_t{test_support::txt(line)});
    EXPECT_EQ(dora.lines(), test_support::lines_t{test_support::txt(vorta::mode_photo().get(full(t::action_say)))});
}

}  // namespace
