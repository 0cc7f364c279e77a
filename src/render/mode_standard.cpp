#include "render/mode_standard.hpp"

#include <boost/regex.hpp>

#include <iterator>

#include "chat/user.hpp"
#include "config/configuration.hpp"
#include "program.hpp"
#include "render/chat_lines.hpp"
#include "render/fragment.hpp"
#include "render/message.hpp"

// The plain look: the dispatch, the link anchoring of chat text, the chat
// lines and the fragments that read the configuration or a number. The
// notices are in mode_standard_notices.cpp, the lists and boxes in
// mode_standard_lists.cpp.

namespace vorta {

using namespace fragment;

mode_standard::mode_standard(std::string mode_name) : name(std::move(mode_name)) {}

std::string mode_standard::get(const message& m) const {
    using renderer = void (mode_standard::*)(std::string&, const message&) const;
#define VORTA_TABLE_ENTRY(type) &mode_standard::get_##type,
    static const renderer renderers[] = {VORTA_MESSAGE_TYPES(VORTA_TABLE_ENTRY)};
#undef VORTA_TABLE_ENTRY
    static_assert(std::size(renderers) == types_end);

    std::string result;
    const int type = m.type;
    if (type >= 0 && type < types_end) (this->*renderers[type])(result, m);
    return result;
}

unsigned mode_standard::variant(const message& m) const {
    return m.second_user != nullptr && m.second_user->get_show_images() ? 1u : 0u;
}

std::string mode_standard::anchors(const message& m) const {
    if (Config.get_int(configuration::all_links) == 0) return m.text;
    if (m.text.find("img:") == std::string::npos) return m.text;
    static const boost::regex reference(R"((^|\s)img:(http://)?([^\s]+))");
    const bool show_images = m.second_user != nullptr && m.second_user->get_show_images();
    const char* const format = show_images
        ? R"($1<img src="http\://$3" alt="">)"
        : R"($1<a href="http\://$3" target="_blank">$3 \(Bild\)</a>)";
    std::string anchored;
    anchored.reserve(m.text.size() + 64);
    boost::regex_replace(std::back_inserter(anchored), m.text.begin(), m.text.end(), reference, format);
    return anchored;
}

// ---- Chat lines; the text is always the anchored text. The lines
// themselves are in chat_lines.hpp, shared with the other looks.

void mode_standard::get_action_say(std::string& result, const message& m) const {
    const std::string text = anchors(m);
    build(result, [&](auto& write) { say_line(write, m, text); });
}

void mode_standard::get_action_say_moderated(std::string& result, const message& m) const {
    const std::string text = anchors(m);
    build(result, [&](auto& write) {
        message_id(write, m);
        say_moderated_line(write, m, text);
    });
}

void mode_standard::get_action_say_blind(std::string& result, const message& m) const {
    const std::string text = anchors(m);
    compose(result, {R"(<span class="actionSayBlind">)", text, "</span><br>"});
}

// The first user is the one whispered to; the colour is the whisperer's.
void mode_standard::get_action_whisper(std::string& result, const message& m) const {
    const std::string text = anchors(m);
    compose(result, {R"(<span class="internWhisper">Du fl&uuml;sterst zu )", nickname(m.first_user),
                     R"(:</span> <span class="actionWhisper" style="color:#)", colour(m.second_user),
                     ";\">", text, "</span><br>"});
}

void mode_standard::get_action_got_whisper(std::string& result, const message& m) const {
    const std::string text = anchors(m);
    build(result, [&](auto& write) { got_whisper_line(write, m, text); });
}

void mode_standard::get_action_me(std::string& result, const message& m) const {
    const std::string text = anchors(m);
    build(result, [&](auto& write) { me_line(write, m, text); });
}

void mode_standard::get_action_me_moderated(std::string& result, const message& m) const {
    const std::string text = anchors(m);
    build(result, [&](auto& write) {
        message_id(write, m);
        me_moderated_line(write, m, text);
    });
}

// ---- Internal and configuration-driven fragments.

// The text unchanged: raw HTML, or nothing.
void mode_standard::get_intern_nop(std::string& result, const message& m) const { result = m.text; }

void mode_standard::get_intern_css(std::string& result, const message& m) const {
    compose(result, {R"(<link rel="stylesheet" type="text/css" href="http://)", m.text, R"(">)"});
}

// The same as intern_css.
void mode_standard::get_msg_skin_changed(std::string& result, const message& m) const {
    get_intern_css(result, m);
}

void mode_standard::get_action_help(std::string& result, const message&) const {
    const std::string help = Config.get(configuration::file_help);
    compose(result, {R"(<div class="actionHelp">Klicke hier, um die <a href="http://)", help,
                     R"(" target="_blank">Hilfe zum Chat</a> aufzurufen.</div>)"});
}

void mode_standard::get_action_is_killed(std::string& result, const message&) const {
    const std::string kill = Config.get(configuration::file_kill);
    compose(result, {R"(<iframe width="0" height="0" style="visibility:hidden;" src="http://)", kill,
                     R"("><layer src="http://)", kill, R"("></layer></iframe>)"});
}

// The text is the version string.
void mode_standard::get_action_version(std::string& result, const message& m) const {
    compose(result, {R"(<div class="actionVersion">vorta chat )", m.text, "</div>"});
}

void mode_standard::get_msg_nickname_too_short(std::string& result, const message&) const {
    const std::string minimum = Config.get(configuration::nick_min);
    compose(result, {R"(<div class="msgNicknameTooShort">Der Nickname ist zu kurz. Gib einen neuen Nickname mit mindestens )",
                     minimum, " Zeichen ein.</div>"});
}

void mode_standard::get_msg_nickname_too_long(std::string& result, const message&) const {
    const std::string maximum = Config.get(configuration::nick_max);
    compose(result, {R"(<div class="msgNicknameTooLong">Der Nickname ist zu lang. Gib einen neuen Nickname mit h&ouml;chstens )",
                     maximum, " Zeichen ein.</div>"});
}

void mode_standard::get_action_moderate_failed_no_msg(std::string& result, const message& m) const {
    compose(result, {R"(<div class="actionModerateFailedNoMsg">Die Nachricht Nr. )", decimal(m.number),
                     " kann nicht gesendet werden, da es sie nicht gibt.</div>"});
}

// ---- Durations with singular and plural: minutes for the bans, hours for
// the nickname lock. Exactly 1 is singular; 0 and negative numbers are plural.

void mode_standard::get_action_ban(std::string& result, const message& m) const {
    if (m.number == 1)
        compose(result, {R"(<div class="actionBan">)", nickname(m.first_user), " wird f&uuml;r ",
                         "1 Minute gebannt.</div>"});
    else
        compose(result, {R"(<div class="actionBan">)", nickname(m.first_user), " wird f&uuml;r ",
                         decimal(m.number), " Minuten gebannt.</div>"});
}

void mode_standard::get_action_banex(std::string& result, const message& m) const {
    if (m.number == 1)
        compose(result, {R"(<div class="actionBanEx">)", m.text, " wird f&uuml;r ", "1 Minute gebannt.</div>"});
    else
        compose(result, {R"(<div class="actionBanEx">)", m.text, " wird f&uuml;r ", decimal(m.number),
                         " Minuten gebannt.</div>"});
}

void mode_standard::get_action_lock_nickname(std::string& result, const message& m) const {
    if (m.number == 1)
        compose(result, {R"(<div class="actionLockNickname">Der Nickname )", nickname(m.first_user),
                         " wird f&uuml;r ", "1 Stunde gesperrt.</div>"});
    else
        compose(result, {R"(<div class="actionLockNickname">Der Nickname )", nickname(m.first_user),
                         " wird f&uuml;r ", decimal(m.number), " Stunden gesperrt.</div>"});
}

}  // namespace vorta
