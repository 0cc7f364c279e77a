// The chat's commands as dialogues of sessions on socket pairs: moving
// between rooms, information, whispers, blocks, looks, the showcase of every
// message and leaving; the switches and settings of a room's owner and his
// admins, the dark, the history, marks and kicks.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "support/chat_world.hpp"

namespace {

using namespace test_support;
using t = vorta::mode_standard;

std::string list(const std::string& head, const std::vector<std::string>& words) {
    std::string line = head;
    for (const std::string& word : words) line += " \"" + word + "\"";
    return line;
}
// A room's name alone, for the notices of a room that a step makes or ends.
vorta::room* named(const std::string& name) {
    static std::vector<std::unique_ptr<vorta::room>> rooms;
    rooms.push_back(std::make_unique<vorta::room>(name, nullptr, "", vorta::room::form::democracy));
    return rooms.back().get();
}
std::string nick(peer* p) { return p->session()->get_nickname(); }

// `p` moves to `to`: his list and notice, the arrival for `there`, `notice`
// (if any) for `left`.
seen_t moved(peer* p, vorta::room* to, const std::vector<peer*>& there, const std::vector<peer*>& left,
             std::optional<vorta::message> notice) {
    std::vector<std::string> names{to->get_name()};
    for (peer* q : there) names.push_back(nick(q));
    names.push_back(nick(p));
    seen_t seen = each(there, {list("ADD", {nick(p)}), msg(t::room_hello, p)});
    seen.push_back({p, {list("NRM", names), msg(t::room_change, to)}});
    for (peer* q : left) {
        seen.push_back({q, {del(nick(p))}});
        if (notice) seen.back().second.push_back(*notice);
    }
    return seen;
}

class commands : public ::testing::Test {
protected:
    vorta::room* const lobby = (chat_world(), Manager.get_room("Lobby"));
};

// anna, carl and dora are bosses: they raise and receive alarms.
TEST_F(commands, rooms_are_changed_made_and_opened_by_invitations_and_alarms) {
    auto anna = arrive("anna", "Lobby", "boss"), bert = arrive("bert", "Lobby"), carl = arrive("carl", "Lobby", "boss"),
         dora = arrive("dora", "Lobby", "boss");
    peer *a = anna.get(), *b = bert.get(), *c = carl.get(), *d = dora.get();
    vorta::room *garten = Manager.get_room("Garten"), *klub = named("Klub");
    drain({a, b, c, d});
    play({a, b, c, d},
         {ask(a, ".go", msg(t::room_go_syntax)),
          ask(a, ".go lOBBY", msg(t::room_go_failed_inroom, a)),
          ask(a, ".g Nirgendwo", msg(t::room_go_failed_noroom, "Nirgendwo")),
          ask(a, ".gob", msg(t::room_goback_syntax)),
          {a, ".g garten", moved(a, garten, {}, {b, c, d}, msg(t::room_go, a, garten))},
          {a, ".goback", moved(a, lobby, {b, c, d}, {}, std::nullopt)},
          ask(a, ".gob", msg(t::room_goback_syntax)),  // the room left is not remembered
          ask(a, ".nr", msg(t::room_new_syntax)),
          ask(a, ".nr LOBBY", msg(t::room_new_failed_doesexist, lobby)),
          {a, ".newroom Klub", moved(a, klub, {}, {b, c, d}, msg(t::room_new, a, klub))},
          ask(a, ".l", msg(t::room_lock, a)),
          ask(b, ".g Klub", msg(t::room_go_failed_locked, klub)),
          // An invitation lets its receiver pass the lock.
          ask(a, ".i", msg(t::action_invite_syntax)),
          ask(a, ".i Anna", msg(t::action_invite_syntax)),
          ask(a, ".i zorro", msg(t::action_invite_failed_nouser, "zorro")),
          ask(b, ".goi", msg(t::action_invite_ok_syntax)),
          {a, ".invite bert", {{a, {msg(t::action_invite, b)}}, {b, {msg(t::action_got_invited, a)}}}},
          {b, ".goinvited", moved(b, klub, {a}, {c, d}, msg(t::action_invite_ok, b))},
          ask(b, ".goi", msg(t::action_invite_ok_syntax)),
          ask(a, ".i bert", msg(t::action_invite_failed_inroom, b)),
          // So does an alarm, which reaches its raiser too.
          {a, ".alarm", {{a, {msg(t::msg_got_alarm, a), msg(t::action_alarm)}}, {c, {msg(t::msg_got_alarm, a)}},
                         {d, {msg(t::msg_got_alarm, a)}}}},
          ask(a, ".alarm", msg(t::action_alarm_failed_isset)),
          ask(b, ".alarm", msg(t::action_alarm_failed_noright)),
          {c, ".goalarm", moved(c, klub, {a, b}, {d}, msg(t::action_alarm_ok, c))},
          ask(c, ".goa", msg(t::action_alarm_ok_syntax)),
          ask(a, ".goa", msg(t::room_go_failed_inroom, a)),
          // The last one out takes the room along, without a word.
          {a, ".g Lobby", moved(a, lobby, {d}, {b, c}, msg(t::room_go, a, lobby))},
          {b, ".g Lobby", moved(b, lobby, {d, a}, {c}, msg(t::room_go, b, lobby))},
          {c, ".gob", moved(c, lobby, {d, a, b}, {}, std::nullopt)},
          ask(d, ".goa", msg(t::room_go_failed_noroom, "Klub"))});
}

// anna and bert are in the Lobby, carl in a hidden room of his own.
TEST_F(commands, information_whispers_and_blocks) {
    auto anna = arrive("anna", "Lobby"), bert = arrive("bert", "Lobby"), carl = arrive("carl", "Garten");
    peer *a = anna.get(), *b = bert.get(), *c = carl.get();
    c->send(txt(".nr Versteck"));
    drain({a, b, c});
    vorta::room* versteck = Manager.get_room("Versteck");
    const std::string tricky = "psst  &lt;i&gt;leise&lt;/i&gt;";
    play({a, b, c},
         {ask(c, ".h", msg(t::room_hide, c)),
          ask(a, ".rs", msg(t::rooms_info)),
          ask(a, ".r", msg(t::room_info, lobby)),
          ask(a, ".room GARTEN", msg(t::room_info, Manager.get_room("Garten"))),
          ask(a, ".r Nirgendwo", msg(t::room_info_failed_noroom, "Nirgendwo")),
          ask(a, ".r versteck", msg(t::room_info_failed_noright, versteck)),
          ask(c, ".r", msg(t::room_info, versteck)),
          ask(a, ".us", msg(t::action_users)),
          ask(a, ".u", msg(t::action_user_this, a)),
          ask(a, ".user carl", msg(t::action_user, c, a)),
          ask(a, ".u zorro", msg(t::action_user_failed_nouser, "zorro")),
          ask(a, ".help", msg(t::action_help)),
          ask(a, ".ver", msg(t::action_version, "2.2.0 D")),
          // Whispers cross rooms and reach oneself too.
          ask(a, ".w", msg(t::action_whisper_syntax)),
          ask(a, ".w carl", msg(t::action_whisper_syntax)),
          ask(a, ".w zorro hallo", msg(t::action_whisper_failed_nouser, "zorro")),
          {a, ".w CARL psst  <i>leise</i>",
           {{a, {msg(t::action_whisper, c, a, tricky)}}, {c, {msg(t::action_got_whisper, a, c, tricky)}}}},
          {a, ".whisper anna selbst",
           {{a, {msg(t::action_whisper, a, a, "selbst"), msg(t::action_got_whisper, a, a, "selbst")}}}},
          // A blocked user's lines and whispers stop; notices about him do not.
          ask(a, ".b", msg(t::action_block_list, a)),
          ask(a, ".b zorro", msg(t::action_block_failed_nouser, "zorro")),
          ask(a, ".block bert", msg(t::action_block, b)),
          ask(a, ".b bert", msg(t::action_block_failed_isset, b)),
          ask(a, ".b anna", msg(t::action_block_list, a)),
          ask(b, "hallo anna", msg(t::action_say, b, "hallo anna")),
          ask(b, ".me winkt", msg(t::action_me, b, "winkt")),
          ask(b, ".w anna psst", msg(t::action_whisper, a, b, "psst")),
          ask(b, ".l", msg(t::room_lock_failed_noright)),
          ask(a, ".ub", msg(t::action_unblock_syntax)),
          ask(a, ".ub zorro", msg(t::action_unblock_failed_nouser, "zorro")),
          ask(a, ".unblock bert", msg(t::action_unblock, b)),
          ask(a, ".ub bert", msg(t::action_unblock_failed_isset, b)),
          {b, "wieder da", each({a, b}, {msg(t::action_say, b, "wieder da")})},
          // Only a full stop in the very first place and the exact name make
          // a command; a blank line does nothing.
          {a, ".VER", each({a, b}, {msg(t::action_say, a, ".VER")})},
          {a, " .ver", each({a, b}, {msg(t::action_say, a, " .ver")})},
          {a, "   ", {}},
          ask(a, ".me", msg(t::action_me_syntax))});
}

TEST_F(commands, looks_style_sheets_morphing_every_message_and_leaving) {
    auto anna = arrive("anna", "Lobby"), bert = arrive("bert", "Lobby");
    peer *a = anna.get(), *b = bert.get();
    drain({a, b});
    play({a, b},
         {ask(a, ".nm", msg(t::msg_mode_box, a)),
          ask(a, ".nm schick", msg(t::msg_mode_syntax)),
          ask(a, ".newmode PHOTO", msg(t::msg_mode_changed, "Photo")),
          ask(a, ".nm plain", msg(t::msg_mode_changed, "Plain")),
          ask(a, ".ns", msg(t::msg_skin_box)),
          ask(a, ".newskin herbst", msg(t::action_new_skin_syntax)),
          // Without a stream the applet loads the style sheet.
          ask(a, ".css http://http://static.test/neu.css", "SKN \"static.test/neu.css\""),
          {a, ".css http://kurz.c", {}},
          ask(a, ".morph", msg(t::action_morph_syntax)),
          ask(a, ".morph ANNA", msg(t::action_morph_syntax)),
          ask(a, ".morph bert", msg(t::action_morph_failed_online, "bert")),
          // The nickname is looked up as typed and shown escaped.
          ask(a, ".morph <b>x", msg(t::action_morph_failed_not_registered, "&lt;b&gt;x"))});

    // Every message once, the kill page, the skin change and the two internal
    // lines excepted, with anna's room.
    lines_t showcase;
    for (int type = 0; type < t::types_end; ++type)
        if (type != t::intern_nop && type != t::intern_css && type != t::action_is_killed &&
            type != t::msg_skin_changed)
            showcase.push_back(a->shown(msg(t::types(type), a, a, lobby, "XXXXX")));
    ASSERT_EQ(showcase.size(), 188u);
    a->send(txt(".allmsg"));
    EXPECT_EQ(a->lines(), showcase);
    // Leaving: the applet is told to log out, the room sees the farewell.
    play({a, b}, {{b, ".exit", {{b, {"LGO"}}, {a, {msg(t::action_quit, b), del("bert")}}}}});
    EXPECT_TRUE(b->closed());
}

// Each switch of a room: its commands and its answers, refused, already set
// and done, to switch on and off.
struct toggle {
    const char *set, *set_alias, *reset, *reset_alias;
    t::types on, on_no_right, on_is_set, off, off_no_right, off_is_set;
};
const toggle toggles[] = {
    {".lock", ".l", ".open", ".o", t::room_lock, t::room_lock_failed_noright, t::room_lock_failed_isset,
     t::room_open, t::room_open_failed_noright, t::room_open_failed_isset},
    {".hide", ".h", ".show", ".s", t::room_hide, t::room_hide_failed_noright, t::room_hide_failed_isset,
     t::room_show, t::room_show_failed_noright, t::room_show_failed_isset},
    {".moderate", ".mod", ".unmoderate", ".umod", t::room_moderate, t::room_moderate_failed_noright,
     t::room_moderate_failed_isset, t::room_unmoderate, t::room_unmoderate_failed_noright,
     t::room_unmoderate_failed_isset},
    {".lightoff", ".loff", ".lighton", ".lon", t::room_lightoff, t::room_lightoff_failed_noright,
     t::room_lightoff_failed_isset, t::room_lighton, t::room_lighton_failed_noright, t::room_lighton_failed_isset},
    {".censoroff", ".coff", ".censoron", ".con", t::room_censorshipoff, t::room_censorshipoff_failed_noright,
     t::room_censorshipoff_failed_isset, t::room_censorshipon, t::room_censorshipon_failed_noright,
     t::room_censorshipon_failed_isset},
};

// anna owns the Salon with bert in it; carl stays in the Lobby.
TEST_F(commands, owner_and_admins_steer_the_room_and_the_password_stays_private) {
    auto anna = arrive("anna", "Lobby"), bert = arrive("bert", "Lobby"), carl = arrive("carl", "Lobby");
    peer *a = anna.get(), *b = bert.get(), *c = carl.get();
    a->send(txt(".nr Salon"));
    b->send(txt(".g Salon"));
    drain({a, b, c});
    vorta::room* salon = Manager.get_room("Salon");
    const auto both = [a, b](peer* p, const std::string& line, const vorta::message& m) {
        return step{p, line, each({a, b}, {m})};
    };
    std::vector<step> script;
    for (const toggle& s : toggles) {
        script.push_back(ask(b, s.set, msg(s.on_no_right)));
        script.push_back(ask(a, s.reset_alias, msg(s.off_is_set)));
        script.push_back(both(a, s.set_alias, msg(s.on, a)));
        script.push_back(ask(a, s.set, msg(s.on_is_set)));
        script.push_back(ask(b, s.reset, msg(s.off_no_right)));
        script.push_back(both(a, s.reset, msg(s.off, a)));
    }
    play({a, b, c}, script);

    const std::string words = "wort wort wort wort wort wort wort wort wort wort wort wort wort wort wort wort";
    const std::string eighty(80, 'x');
    play({a, b, c},
         {ask(b, ".ss Neues Thema", msg(t::action_set_subject_failed_noright)),
          ask(a, ".ss", msg(t::action_set_subject_empty_failed_isset)),
          both(a, ".ss " + words + " ende", msg(t::action_set_subject, a, words + " ...")),
          both(a, ".setsubject " + eighty, msg(t::action_set_subject, a, eighty)),
          both(a, ".ss <b>fett</b> & so", msg(t::action_set_subject, a, "&lt;b&gt;fett&lt;/b&gt; &amp; so")),
          both(a, ".ss", msg(t::action_set_subject_empty, a)),
          ask(b, ".sr Visitor", msg(t::room_set_rank_failed_noright)),
          ask(a, ".sr", msg(t::room_set_rank_empty_failed_isset)),
          ask(a, ".sr Kaiser", msg(t::room_set_rank_failed_unknown, "Kaiser")),
          ask(a, ".sr chef", msg(t::room_set_rank_failed_noright)),  // above anna's own level
          both(a, ".setrank visitor", msg(t::room_set_rank, a, "Visitor")),
          both(a, ".sr", msg(t::room_set_rank_empty, a)),
          ask(b, ".sc Rot", msg(t::room_set_clan_failed_noright)),
          ask(a, ".sc", msg(t::room_set_clan_empty_failed_isset)),
          ask(a, ".setclan Rot", msg(t::room_set_clan_failed_unknown, "Rot")),
          ask(b, ".ma anna", msg(t::action_make_admin_failed_noright, "anna")),
          ask(a, ".ma", msg(t::action_make_admin_syntax)),
          ask(a, ".ma ANNA", msg(t::action_make_admin_syntax)),
          ask(a, ".ma carl", msg(t::action_make_admin_failed_nouser, "carl")),
          both(a, ".makeadmin bert", msg(t::action_make_admin, a, b)),
          ask(a, ".ma bert", msg(t::action_make_admin_failed_isset, b)),
          ask(b, ".ma anna", msg(t::action_make_admin_failed_owner, a)),
          both(b, ".lock", msg(t::room_lock, b)),
          ask(c, ".go Salon", msg(t::room_go_failed_locked, salon)),
          both(b, ".ss Admins d&uuml;rfen das", msg(t::action_set_subject, b, "Admins d&amp;uuml;rfen das")),
          ask(b, ".uma anna", msg(t::action_unmake_admin_failed_noright)),
          ask(a, ".uma", msg(t::action_unmake_admin_syntax)),
          ask(a, ".uma zorro", msg(t::action_unmake_admin_failed_nouser, "zorro")),
          ask(a, ".uma carl", msg(t::action_unmake_admin_failed_isset, c)),
          both(a, ".unmakeadmin bert", msg(t::action_unmake_admin, a, b)),
          ask(b, ".o", msg(t::room_open_failed_noright)),
          both(a, ".o", msg(t::room_open, a))});

    // The password goes to the owner alone, cut to 15 characters, and is kept
    // as typed: the room password line brings it unescaped.
    play({a, b, c},
         {ask(b, ".sp geheim", msg(t::room_set_password_failed_noright)),
          ask(a, ".sp", msg(t::room_set_password_empty_failed_isset)),
          ask(a, ".sp tmp", msg(t::room_set_password, "tmp")),
          ask(a, ".sp", msg(t::room_set_password_empty)),
          ask(a, ".setpassword geheim&sicher12345", msg(t::room_set_password, "geheim&amp;sicher12")),
          {c, ".go Salon", {{c, {"RPW \"Salon\"", msg(t::room_pw_please, salon)}}}}});
    c->send("RPW \"Salon\" \"geheim&amp;sicher12\"");
    EXPECT_EQ(c->lines(), (lines_t{"COL \"000000\"", c->shown(msg(t::room_go_failed_password, salon))}));
    c->send("RPW \"Salon\" \"geheim&sicher12\"");
    EXPECT_EQ(c->lines(), (lines_t{"COL \"000000\"", list("NRM", {"Salon", "anna", "bert", "carl"}),
                                   c->shown(msg(t::room_change, salon))}));
    for (peer* p : {a, b}) EXPECT_EQ(p->lines(), (lines_t{list("ADD", {"carl"}), p->shown(msg(t::room_hello, c, p))}));
}

// anna owns the Ring with bert and carl in it; dora joins later.
TEST_F(commands, dark_rooms_the_history_marks_and_kicks) {
    auto anna = arrive("anna", "Lobby"), bert = arrive("bert", "Lobby"), carl = arrive("carl", "Lobby"),
         dora = arrive("dora", "Lobby");
    peer *a = anna.get(), *b = bert.get(), *c = carl.get(), *d = dora.get();
    a->send(txt(".nr Ring"));
    b->send(txt(".g Ring"));
    c->send(txt(".g Ring"));
    drain({a, b, c, d});
    vorta::room* ring = Manager.get_room("Ring");
    const std::vector<peer*> ring_members{a, b, c};
    play({a, b, c, d},
         {// In the dark a line shows no speaker, and the history keeps none.
          {a, ".loff", each(ring_members, {msg(t::room_lightoff, a)})},
          {c, "dunkel", each(ring_members, {msg(t::action_say_blind, c, "dunkel")})},
          {c, ".me schleicht", each(ring_members, {msg(t::action_say_blind, c, "schleicht")})},
          ask(b, ".history", msg(t::msg_history_failed_empty)),
          {a, ".lon", each(ring_members, {msg(t::room_lighton, a)})},
          {c, "hell", each(ring_members, {msg(t::action_say, c, "hell")})},
          ask(b, ".hs", msg(t::msg_history, "carl: hell")),
          {d, ".g Ring", moved(d, ring, {a, b, c}, {}, std::nullopt)},
          // A mark taken back counts no more.
          ask(b, ".m", msg(t::action_mark_syntax)),
          ask(b, ".mark dora", msg(t::action_mark, d)),
          ask(b, ".um", msg(t::action_unmark_syntax)),
          ask(b, ".um zorro", msg(t::action_unmark_failed_nouser, "zorro")),
          ask(b, ".unmark dora", msg(t::action_unmark, d)),
          ask(b, ".um dora", msg(t::action_unmark_failed_isset, d)),
          // No "EXT" for a kick: the connection just ends.
          {a, ".kick carl", {{a, {msg(t::action_kick, c), del("carl")}}, {c, {msg(t::msg_is_kicked_admin, a, "carl")}},
                             {b, {msg(t::msg_is_kicked_admin, a, "carl"), del("carl")}},
                             {d, {msg(t::msg_is_kicked_admin, a, "carl"), del("carl")}}}}});
    EXPECT_TRUE(c->closed());
}

}  // namespace
