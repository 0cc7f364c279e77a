#pragma once
// The chat lines of the plain look as writers over a sink (see build), so
// that the other looks put their buttons or a photo in front of a line, or
// between a held line's id and the line, without writing the line again.
// `text` is always the anchored text.
#include "render/fragment.hpp"
#include "render/message.hpp"

namespace vorta::fragment {

template <typename Sink>
void say_line(Sink& write, const message& m, piece text) {
    put(write, R"(<span class="internSay")", style(m.first_user), nickname(m.first_user),
        R"(:</span> <span class="actionSay" style="color:#)", colour(m.first_user), ";\">", text,
        "</span><br>");
}

// The id that ".ok" takes to release a held line, and the blank after it.
template <typename Sink>
void message_id(Sink& write, const message& m) {
    put(write, R"(<span class="internMessageId">)", decimal(m.number), "</span> ");
}

// A held said line after its id.
template <typename Sink>
void say_moderated_line(Sink& write, const message& m, piece text) {
    put(write, R"(<span class="internSayModerated")", style(m.first_user), nickname(m.first_user),
        R"(:</span> <span class="actionSayModerated" style="color:#)", colour(m.first_user), ";\">",
        text, "</span><br>");
}

// The first user is the whisperer.
template <typename Sink>
void got_whisper_line(Sink& write, const message& m, piece text) {
    put(write, R"(<span class="internGotWhisper">)", nickname(m.first_user),
        R"( fl&uuml;stert:</span> <span class="actionGotWhisper" style="color:#)", colour(m.first_user),
        ";\">", text, "</span><br>");
}

template <typename Sink>
void me_line(Sink& write, const message& m, piece text) {
    put(write, R"(<span class="internMe")", style(m.first_user), nickname(m.first_user),
        R"(</span> <span class="actionMe">)", text, "</span><br>");
}

// A held action line after its id.
template <typename Sink>
void me_moderated_line(Sink& write, const message& m, piece text) {
    put(write, R"(<span class="internMeModerated")", style(m.first_user), nickname(m.first_user),
        R"(</span> <span class="actionMeModerated">)", text, "</span><br>");
}

}  // namespace vorta::fragment
