// The photo look: its photo byte for byte and every renderer it overrides,
// with the photo's place around a held line's id.
#include "render/mode_photo.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chat/user.hpp"
#include "render/message.hpp"
#include "support/look_fixture.hpp"

namespace {

using vorta::message;
using vorta::mode_standard;

// The test configuration gives photos 40 by 60 pixels and border="0".
const std::string photo_alice =
    R"(<img src="http://www.example.org/alice.jpg" alt="alice" width="40" height="60" class="photoUser" border="0"> )";

class photo_look : public test_support::look_test {
protected:
    const vorta::mode_photo photo;
};

message numbered(message m, int number) {
    m.number = number;
    return m;
}

// Every renderer of the look, for alice speaking or acting and bob receiving.
TEST_F(photo_look, every_overridden_type_renders_its_template) {
    using t = mode_standard;
    const fragments cases = {
        {message(t::action_say, alice(), bob(), "Hallo"),
         photo_alice +
             R"(<span class="internSay">alice:</span> <span class="actionSay" style="color:#FF0000;">Hallo</span><br>)"},
        // The photo before the id of a held said line ...
        {numbered(message(t::action_say_moderated, alice(), bob(), "Hallo"), 7),
         photo_alice +
             R"(<span class="internMessageId">7</span> <span class="internSayModerated">alice:</span> <span class="actionSayModerated" style="color:#FF0000;">Hallo</span><br>)"},
        {message(t::action_got_whisper, alice(), bob(), "psst"),
         photo_alice +
             R"(<span class="internGotWhisper">alice fl&uuml;stert:</span> <span class="actionGotWhisper" style="color:#FF0000;">psst</span><br>)"},
        {message(t::action_got_invited, alice()),
         R"(<div class="actionGotInvited">)" + photo_alice +
             "Du hast von alice eine Einladung erhalten, in den Raum Lobby zu wechseln.</div>"},
        {message(t::action_me, alice(), bob(), "winkt"),
         photo_alice + R"(<span class="internMe">alice</span> <span class="actionMe">winkt</span><br>)"},
        // ... and after the id of a held action line.
        {numbered(message(t::action_me_moderated, alice(), bob(), "winkt"), 8),
         R"(<span class="internMessageId">8</span> )" + photo_alice +
             R"(<span class="internMeModerated">alice</span> <span class="actionMeModerated">winkt</span><br>)"},
        {message(t::action_enter, alice(), bob()),
         R"(<div class="actionEnter">)" + photo_alice + "alice betritt den Chat.</div>"},
        {message(t::action_quit, alice()),
         R"(<div class="actionQuit">)" + photo_alice + "alice verl&auml;sst den Chat.</div>"},
        {message(t::room_hello, alice(), bob()),
         R"(<div class="roomHello">)" + photo_alice + "alice betritt den Raum.</div>"},
    };
    expect_fragments(photo, cases, 9);
    EXPECT_EQ(photo.name, "Photo");
    EXPECT_EQ(photo.get(message()), "");
}

// The markup follows a blank even when there is none; a user without a
// photo of his own shows the default one.
TEST_F(photo_look, the_photo_keeps_its_blank_without_markup) {
    configure("photo.html =\n");
    EXPECT_EQ(photo.get_photo_button("p.example/x.jpg", "bob"),
              R"(<img src="http://p.example/x.jpg" alt="bob" width="40" height="60" class="photoUser" > )");
    EXPECT_EQ(photo.get(message(mode_standard::action_quit, bob())),
              R"(<div class="actionQuit"><img src="http://www.example.org/nophoto.gif" alt="bob" width="40" height="60" class="photoUser" > bob verl&auml;sst den Chat.</div>)");
}

// Bob sees pictures, alice sees links; a speaker in danger is named in red.
TEST_F(photo_look, chat_lines_anchor_per_recipient_and_name_the_endangered_in_red) {
    const std::string text = "img:www.example.org/a.gif";
    EXPECT_EQ(photo.get(message(mode_standard::action_say, alice(), bob(), text)),
              photo_alice +
                  R"(<span class="internSay">alice:</span> <span class="actionSay" style="color:#FF0000;"><img src="http://www.example.org/a.gif" alt=""></span><br>)");
    EXPECT_EQ(photo.get(message(mode_standard::action_say, alice(), alice(), text)),
              photo_alice +
                  R"(<span class="internSay">alice:</span> <span class="actionSay" style="color:#FF0000;"><a href="http://www.example.org/a.gif" target="_blank">www.example.org/a.gif (Bild)</a></span><br>)");

    bob()->mark(alice());
    ASSERT_TRUE(alice()->danger());
    EXPECT_EQ(photo.get(message(mode_standard::action_me, alice(), bob(), "winkt")),
              photo_alice +
                  R"(<span class="internMe" style="color:#CC0000;">alice</span> <span class="actionMe">winkt</span><br>)");
}

}  // namespace
