// The photo look: its photo byte for byte and every renderer it overrides,
// with the photo's place around a held line's id.
#include "render/mode_photo.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/look_fixture.hpp"

namespace {

using test_support::configure;
using vorta::message;

// The test configuration gives photos 40 by 60 pixels and border="0".
const std::string photo_alice =
    R"(<img src="http://www.example.org/alice.jpg" alt="alice" width="40" height="60" class="photoUser" border="0"> )";

class photo_look : public test_support::look_test {
protected:
    const vorta::mode_photo photo;
};

// The photo comes before a chat line, after a held action line's id, and
// inside the frame of a notice.
TEST_F(photo_look, every_overridden_type_renders_its_template) {
    const std::string id = R"(<span class="internMessageId">5</span> )";
    fragments cases = {{t::action_me_moderated, plain_with(t::action_me_moderated, id, photo_alice)}};
    for (auto type : {t::action_say, t::action_say_moderated, t::action_got_whisper, t::action_me})
        cases.emplace_back(type, plain_with(type, "", photo_alice));
    for (auto type : {t::action_got_invited, t::action_enter, t::action_quit, t::room_hello})
        cases.emplace_back(type, plain_with(type, ">", photo_alice));
    expect_fragments(photo, cases);
    EXPECT_EQ(photo.name, "Photo");
    // The markup follows a blank even when there is none; a user without a
    // photo of his own shows the default one.
    configure("photo.html =\n");
    EXPECT_EQ(photo.get(message(t::action_quit, bob())),
              R"(<div class="actionQuit"><img src="http://www.example.org/nophoto.gif" alt="bob" width="40" )"
              R"(height="60" class="photoUser" > bob verl&auml;sst den Chat.</div>)");
}

}  // namespace
