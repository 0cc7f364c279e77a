// The look a visitor sees on his browser stream. A new visitor has the icon
// look: arrivals and chat lines carry the buttons beside the name, and the
// buttons of a visitor's rank offer no ban.
#include "integration/chat_fixture.hpp"

using namespace chat_support;

namespace {

using look_test = chat_daemon;

// The configuration of the chat fixture: the information button is 11 by 13
// pixels with border="0", the mark button of an unmarked user 9 by 10 with
// class="unmark".
TEST_F(look_test, a_new_visitor_sees_arrivals_and_chat_on_his_stream_in_the_icon_look) {
    auto berta = log_in("berta", "", true);
    ASSERT_TRUE(berta);
    auto anna = log_in("anna");
    ASSERT_TRUE(anna);
    EXPECT_TRUE(berta->app.expect_line(proto_line("ADD", {"anna"})));
    EXPECT_TRUE(berta->web->expect_next(
        R"(<div class="actionEnter"><img src="http://static.test/info.gif" alt="Informationen anzeigen" width="11" height="13" onmousedown="on_icon_click(this, 'info', '.u anna');" onmouseover="on_icon_over(this, 'info');" onmouseout="on_icon_out(this, 'info');" border="0"> anna betritt den Chat.</div>)"));

    anna->say("Hallo 'Berta'");
    EXPECT_TRUE(berta->web->expect_next(
        R"(<img src="http://static.test/info.gif" alt="Informationen anzeigen" width="11" height="13" onmousedown="on_icon_click(this, 'info', '.u anna');" onmouseover="on_icon_over(this, 'info');" onmouseout="on_icon_out(this, 'info');" border="0"> )"
        R"(<img src="http://static.test/unmark.gif" alt="Nicht markiert" width="9" height="10" onmousedown="on_icon_click(this, 'unmark', '.m anna');" onmouseover="on_icon_over(this, 'unmark');" onmouseout="on_icon_out(this, 'unmark');" class="unmark"> )"
        R"(<span class="internSay">anna:</span> <span class="actionSay" style="color:#0000FF;">Hallo 'Berta'</span><br>)"));
}

}  // namespace
