// The looks: every plain fragment byte for byte, pictures and overviews; the
// icon look's buttons per recipient; the photo look.
#include "render/mode_standard.hpp"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "chat/manager.hpp"
#include "chat/profile.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "config/configuration.hpp"
#include "program.hpp"
#include "render/mode_icon.hpp"
#include "render/mode_photo.hpp"
#include "support/chat_world.hpp"

namespace {

using namespace test_support;
using vorta::message;

vorta::profile profile_of(long id, const std::string& rank) {
    vorta::profile record;
    record.set_id(id);
    record.set_rank(rank);
    return record;
}

std::string div(const std::string& css_class, const std::string& inner) {
    return "<div class=\"" + css_class + "\">" + inner + "</div>";
}

// Alice and bob in the Lobby, logged in through the applet, each with a stored
// profile: alice has a colour, clan, photo, banner, homepage and skin; bob has
// a colour and sees pictures. Both are visitors until a test loads another rank.
class look_test : public ::testing::Test {
protected:
    using t = vorta::mode_standard;

    void SetUp() override {
        saved_ = Config;
        configure("");
        alice_ = std::make_unique<peer>("10.0.0.1", login_details{"alice", "Lobby"});
        bob_ = std::make_unique<peer>("10.0.0.2", login_details{"bob", "Lobby"});
        ASSERT_TRUE(alice_->in_room() && bob_->in_room());
        alice_->load(alice_profile());
        bob_->load(bob_profile("visitor"));
        lobby_ = Manager.get_room("Lobby");
    }
    void TearDown() override { Config = saved_; }

    static vorta::profile alice_profile() {
        vorta::profile a = profile_of(1, "visitor");
        a.set_colour("FF0000");
        a.set_clan("Rot");
        a.set_photo("www.example.org/alice.jpg");
        a.set_banner("www.example.org/banner.gif");
        a.set_homepage("www.alice.example");
        a.set_skin("Herbst");
        return a;
    }
    static vorta::profile bob_profile(const std::string& rank) {
        vorta::profile b = profile_of(2, rank);
        b.set_colour("00FF00");
        b.set_show_images(true);
        return b;
    }

    // A message of `type` with every field set: from alice to bob, the text
    // "carol", the number 5 and the Lobby.
    message full(int type) const {
        message m(static_cast<t::types>(type), alice(), bob(), "carol");
        m.room = lobby_;
        m.number = 5;
        return m;
    }
    // The plain fragment of the full message of `type`, with `extra` after
    // the first `at`, or in front when `at` is empty.
    std::string plain_with(int type, const std::string& at, const std::string& extra) const {
        std::string fragment = plain.get(full(type));
        return fragment.insert(at.empty() ? 0 : fragment.find(at) + at.size(), extra);
    }

    using fragments = std::vector<std::pair<t::types, std::string>>;
    // The full message of each type of `cases` (each listed once) renders in
    // `look` as the fragment beside it, that of every other type as in plain.
    void expect_fragments(const t& look, const fragments& cases) const {
        std::vector<std::string> expected(t::types_end);
        for (int type = 0; type < t::types_end; ++type) expected[type] = plain.get(full(type));
        for (const auto& [type, fragment] : cases) {
            EXPECT_NE(expected[type], fragment) << "type " << type << " listed twice or as plain";
            expected[type] = fragment;
        }
        for (int type = 0; type < t::types_end; ++type)
            EXPECT_EQ(look.get(full(type)), expected[type]) << "type " << type;
    }

    vorta::user* alice() const { return alice_->session(); }
    vorta::user* bob() const { return bob_->session(); }

    const t plain{"Plain"};
    std::unique_ptr<peer> alice_, bob_;
    vorta::room* lobby_ = nullptr;

private:
    vorta::configuration saved_;
};

// Each type by name with its plain fragment of the full message.
const char* const plain_fragments = R"fragments(
intern_nop carol
intern_css <link rel="stylesheet" type="text/css" href="http://carol">
pw_please <div class="pwPlease">Der Nickname ist registriert. Bitte Passwort eingeben.</div>
pw_wrong <div class="pwWrong">Das Passwort ist falsch. Bitte erneut eingeben.</div>
pw_access_denied <div class="pwAccessDenied">Das Passwort ist falsch. Der Zugang zum Chat wird verweigert.</div>
pw_ok <div class="pwOk">Passwort ok, eingeloggt!</div>
action_help <div class="actionHelp">Klicke hier, um die <a href="http://www.example.org/hilfe.html" target="_blank">Hilfe zum Chat</a> aufzurufen.</div>
action_say <span class="internSay">alice:</span> <span class="actionSay" style="color:#FF0000;">carol</span><br>
action_say_moderated <span class="internMessageId">5</span> <span class="internSayModerated">alice:</span> <span class="actionSayModerated" style="color:#FF0000;">carol</span><br>
action_say_blind <span class="actionSayBlind">carol</span><br>
action_whisper_syntax <div class="actionWhisperSyntax">Syntax zum Fl&uuml;stern mit einem User:<br>.whisper &lt;Nickname&gt; &lt;Text&gt;</div>
action_whisper <span class="internWhisper">Du fl&uuml;sterst zu alice:</span> <span class="actionWhisper" style="color:#00FF00;">carol</span><br>
action_whisper_failed_nouser <div class="actionWhisperFailedNoUser">Fl&uuml;stern mit carol nicht m&ouml;glich, da niemand namens carol im Chat ist.</div>
action_got_whisper <span class="internGotWhisper">alice fl&uuml;stert:</span> <span class="actionGotWhisper" style="color:#FF0000;">carol</span><br>
action_user <div class="actionUser"><img src="http://www.example.org/alice.jpg" alt="alice" width="40" height="60" class="photoUser" border="0"> User&uuml;bersicht:<br>alice [Raum: Lobby; Rang: Visitor; Status: -; Clan: Rot]<br><a href="http://www.alice.example" target="_blank"><img src="http://www.example.org/banner.gif" alt="www.alice.example" width="468" height="60" class="photoUserBanner"></a></div>
action_user_this <div class="actionUser"><img src="http://www.example.org/alice.jpg" alt="alice" width="40" height="60" class="photoUser" border="0"> User&uuml;bersicht:<br>alice [Raum: Lobby; Rang: Visitor; Status: -; Clan: Rot; Skin: Herbst]<br><a href="http://www.alice.example" target="_blank"><img src="http://www.example.org/banner.gif" alt="www.alice.example" width="468" height="60" class="photoUserBanner"></a></div>
action_user_failed_nouser <div class="actionUserFailedNoUser">Es ist momentan niemand namens carol im Chat eingeloggt.</div>
action_users <div class="actionUsers">Chat&uuml;bersicht:<br>- alice [Raum: Lobby; Rang: Visitor; Status: -; Clan: Rot]<br>- bob [Raum: Lobby; Rang: Visitor; Status: -]</div>
action_invite_syntax <div class="actionInviteSyntax">Syntax zum Einladen eines Users:<br>.invite &lt;Nickname&gt;</div>
action_invite <div class="actionInvite">Du hast alice eingeladen, in deinen Raum zu wechseln.</div>
action_invite_failed_nouser <div class="actionInviteFailedNoUser">Der User carol, den du einladen wolltest, ist momentan nicht im Chat.</div>
action_invite_failed_inroom <div class="actionInviteFailedInRoom">Du kannst den User alice nicht einladen, da er schon in deinem Raum ist.</div>
action_invite_ok_syntax <div class="actionInviteOkSyntax">Syntax zum Annehmen einer Einladung:<br>.goinvited</div>
action_invite_ok <div class="actionInviteOk">alice nimmt eine Einladung an und wechselt den Raum.</div>
action_got_invited <div class="actionGotInvited">Du hast von alice eine Einladung erhalten, in den Raum Lobby zu wechseln.</div>
action_alarm <div class="actionAlarm">Du hast stillen Alarm ausgel&ouml;st. Im Chat anwesende kickberechtigte User haben deinen Hilferuf erhalten.</div>
action_alarm_failed_noright <div class="actionAlarmFailedNoRight">Du besitzt keine Berechtigung, Alarm auszul&ouml;sen.</div>
action_alarm_failed_isset <div class="actionAlarmFailedIsSet">Alarm darf nur im Notfall ausgel&ouml;st werden. Um einen andauernden Alarmzustand zu vermeiden, kann der Alarm pro Chat-Session nur einmal von einem User aktiviert werden.</div>
action_alarm_ok_syntax <div class="actionAlarmOkSyntax">Syntax zum Annehmen eines Alarms:<br>.goalarm</div>
action_alarm_ok <div class="actionAlarmOk">alice wird zu einem Alarm gerufen und wechselt den Raum.</div>
action_ban_syntax <div class="actionBanSyntax">Syntax zum Bannen eines Users:<br>.ban &lt;Nickname&gt; [ &lt;Zeit in Minuten&gt; ]</div>
action_ban <div class="actionBan">alice wird f&uuml;r 5 Minuten gebannt.</div>
action_ban_failed_nouser <div class="actionBanFailedNoUser">carol kann nicht gebannt werden, da niemand namens carol im Chat ist.</div>
action_ban_failed_noright <div class="actionBanFailedNoRight">Du besitzt keine Berechtigung, carol zu bannen.</div>
action_lock_nickname_syntax <div class="actionLockNicknameSyntax">Syntax zum Sperren eines Nicknames:<br>.locknickname &lt;Nickname&gt; [ &lt;Zeit in Stunden&gt; ]</div>
action_banex_syntax <div class="actionBanExSyntax">Syntax zum Bannen eines ausgeloggten Users:<br>.banex &lt;Nickname&gt; [ &lt;Zeit in Minuten&gt; ]</div>
action_banex <div class="actionBanEx">carol wird f&uuml;r 5 Minuten gebannt.</div>
action_banex_failed_nouser <div class="actionBanExFailedNoUser">carol kann nicht gebannt werden, da sich bisher niemand namens carol ausgeloggt hat oder Daten zu diesem User nicht mehr gespeichert sind.</div>
action_lock_nickname <div class="actionLockNickname">Der Nickname alice wird f&uuml;r 5 Stunden gesperrt.</div>
action_lock_nickname_failed_nouser <div class="actionLockNicknameFailedNoUser">Der Nickname carol kann nicht gesperrt werden, da niemand namens carol im Chat ist.</div>
action_lock_nickname_failed_noright <div class="actionLockNicknameFailedNoRight">Du besitzt keine Berechtigung, den Nickname carol zu sperren.</div>
action_kick_syntax <div class="actionKickSyntax">Syntax zum Kicken eines Users:<br>.kick &lt;Nickname&gt;</div>
action_kick <div class="actionKick">alice wird aus dem Chat gekickt.</div>
action_kick_failed_nouser <div class="actionKickFailedNoUser">carol kann nicht gekickt werden, da niemand namens carol im Raum ist.</div>
action_kick_failed_noright <div class="actionKickFailedNoRight">Du besitzt keine Berechtigung, alice zu kicken.</div>
action_mark_syntax <div class="actionMarkSyntax">Syntax zum Markieren eines Users:<br>.mark &lt;Nickname&gt;</div>
action_mark <div class="actionMark">Du hast alice zum Kicken markiert.</div>
action_mark_failed_nouser <div class="actionMarkFailedNoUser">Es ist momentan niemand namens carol in diesem Raum.</div>
action_mark_failed_isset <div class="actionMarkFailedIsSet">Du hast alice bereits zum Kicken markiert.</div>
action_mark_failed_noright <div class="actionMarkFailedNoRight">Du besitzt keine Berechtigung, alice zum Kicken zu markieren.</div>
action_me_syntax <div class="actionMeSyntax">Syntax zum Ausf&uuml;hren einer Aktion:<br>.me &lt;Aktion&gt;</div>
action_me <span class="internMe">alice</span> <span class="actionMe">carol</span><br>
action_me_moderated <span class="internMessageId">5</span> <span class="internMeModerated">alice</span> <span class="actionMeModerated">carol</span><br>
action_ok_syntax <div class="actionOkSyntax">Syntax zum Freigeben von Textmeldungen:<br>.ok &lt;Nummer&gt;</div>
action_unmark_syntax <div class="actionUnmarkSyntax">Syntax zum Demarkieren eines Users:<br>.unmark &lt;Nickname&gt;</div>
action_unmark <div class="actionUnmark">Du hast alice demarkiert.</div>
action_unmark_failed_nouser <div class="actionUnmarkFailedNoUser">Es ist momentan niemand namens carol im Chat.</div>
action_unmark_failed_isset <div class="actionUnmarkFailedIsSet">Der User alice kann nicht demarkiert werden, da er nicht markiert ist.</div>
action_make_admin_syntax <div class="actionMakeAdminSyntax">Syntax zum Ernennen eines Users zum Admin:<br>.makeadmin &lt;Nickname&gt;</div>
action_make_admin <div class="actionMakeAdmin">alice ernennt bob zum Admin.</div>
action_make_admin_failed_nouser <div class="actionMakeAdminFailedNoUser">carol kann nicht zum Admin ernannt werden, da niemand namens carol im Raum ist.</div>
action_make_admin_failed_noright <div class="actionMakeAdminFailedNoRight">Du kannst carol nicht zum Admin ernennen, weil du nicht die erforderlichen Rechte besitzt.</div>
action_make_admin_failed_isset <div class="actionMakeAdminFailedIsSet">alice ist bereits Admin in diesem Raum.</div>
action_make_admin_failed_owner <div class="actionMakeAdminFailedOwner">alice ist Owner in diesem Raum.</div>
action_unmake_admin_syntax <div class="actionUnmakeAdminSyntax">Syntax zum Degradieren eines Admins zum User:<br>.unmakeadmin &lt;Nickname&gt;</div>
action_unmake_admin <div class="actionUnmakeAdmin">alice degradiert bob vom Admin zum User.</div>
action_unmake_admin_failed_isset <div class="actionUnmakeAdminFailedIsSet">alice ist kein Admin in diesem Raum.</div>
action_unmake_admin_failed_noright <div class="actionUnmakeAdminFailedNoRight">Du besitzt keine Berechtigung, Admins zu degradieren.</div>
action_unmake_admin_failed_nouser <div class="actionUnmakeAdminFailedNoUser">carol kann nicht zum User degradiert werden, da niemand namens carol im Chat ist.</div>
action_set_subject <div class="actionSetSubject">alice &auml;ndert das Thema des Raums auf: carol</div>
action_set_subject_empty <div class="actionSetSubjectEmpty">alice l&ouml;scht das Thema des Raums.</div>
action_set_subject_empty_failed_isset <div class="actionSetSubjectEmptyFailedIsSet">Das Thema des Raums kann nicht gel&ouml;scht werden, da kein Thema festgelegt ist.</div>
action_set_subject_failed_noright <div class="actionSetSubjectFailedNoRight">Du besitzt keine Berechtigung, das Thema des Raums zu &auml;ndern.</div>
action_block_list <div class="actionBlockList">Momentan ist kein User im Chat geblockt.</div>
action_block_syntax <div class="actionBlockSyntax">Syntax zum Blocken eines Users:<br>.block &lt;Nickname&gt;</div>
action_block <div class="actionBlock">alice wird ab sofort geblockt.</div>
action_block_failed_nouser <div class="actionBlockFailedNoUser">carol kann nicht geblockt werden, da niemand namens carol im Chat ist.</div>
action_block_failed_isset <div class="actionBlockFailedIsSet">alice wird bereits geblockt.</div>
action_unblock_syntax <div class="actionUnblockSyntax">Syntax zum Aufheben der Blockierung eines Users:<br>.unblock &lt;Nickname&gt;</div>
action_unblock <div class="actionUnblock">Die Blockierung von alice wird aufgehoben.</div>
action_unblock_failed_nouser <div class="actionUnblockFailedNoUser">Die Blockierung von carol kann nicht aufgehoben werden, da niemand namens carol im Chat ist.</div>
action_unblock_failed_isset <div class="actionUnblockFailedIsSet">Die Blockierung von alice kann nicht aufgehoben werden, da alice nicht geblockt wird.</div>
action_morph_syntax <div class="actionMorphSyntax">Syntax zum Morphen:<br>.morph &lt;Nickname&gt;</div>
action_morph <div class="actionMorph">alice morpht sich zu carol.</div>
action_morph_failed_online <div class="actionMorphFailedOnline">Du kannst dich nicht zu carol morphen, da carol momentan im Chat ist.</div>
action_morph_failed_not_registered <div class="actionMorphFailedNotRegistered">Du kannst dich nicht zu carol morphen, da der Nickname carol nicht registriert ist.</div>
action_morph_failed_password <div class="actionMorphFailedPassword">Das Passwort ist falsch. Morphen zu carol wird verweigert.</div>
action_morph_pw_please <div class="actionMorphPwPlease">Gib bitte das Passwort f&uuml;r carol ein, um dich zu morphen.</div>
action_morph_ok <div class="actionMorphOk">Du hast dich zu alice gemorpht.</div>
action_moderate_failed_no_msg <div class="actionModerateFailedNoMsg">Die Nachricht Nr. 5 kann nicht gesendet werden, da es sie nicht gibt.</div>
action_moderate_failed_no_right <div class="actionModerateFailedNoRight">Du besitzt keine Berechtigung, um diesen Raum zu moderieren.</div>
action_new_skin_syntax <div class="actionNewSkinSyntax">Syntax zum Wechseln des Skins:<br>.newskin &lt;Skin&gt;</div>
action_kill_syntax <div class="actionKillSyntax">Syntax zum Killen eines Users:<br>.kill &lt;User&gt;</div>
action_kill <div class="actionKill">alice wurde gekillt.</div>
action_is_killed <iframe width="0" height="0" style="visibility:hidden;" src="http://www.example.org/kill.html"><layer src="http://www.example.org/kill.html"></layer></iframe>
action_kill_failed_noright <div class="actionKillFailedNoRight">Du besitzt keine Berechtigung zum Killen.</div>
action_kill_failed_nouser <div class="actionKillFailedNoUser">carol kann nicht gekillt werden, da niemand namens carol im Chat ist.</div>
action_enter <div class="actionEnter">alice betritt den Chat.</div>
action_version <div class="actionVersion">vorta chat carol</div>
action_quit <div class="actionQuit">alice verl&auml;sst den Chat.</div>
room_hello <div class="roomHello">alice betritt den Raum.</div>
room_new_syntax <div class="roomNewSyntax">Syntax zum Erstellen eines neuen Raums:<br>.newroom &lt;Raumname&gt;</div>
room_new <div class="roomNew">alice erstellt den Raum Lobby und wechselt in diesen.</div>
room_new_failed_doesexist <div class="roomNewFailedDoesExist">Der Raum Lobby kann nicht erstellt werden, da es ihn bereits gibt.</div>
room_lock <div class="roomLock">alice sperrt den Raum ab.</div>
room_lock_failed_noright <div class="roomLockFailedNoRight">Du kannst den Raum nicht absperren, da du nicht die erforderlichen Rechte besitzt.</div>
room_lock_failed_isset <div class="roomLockFailedIsSet">Der Raum ist bereits abgesperrt.</div>
room_open <div class="roomOpen">alice &ouml;ffnet den Raum.</div>
room_open_failed_noright <div class="roomOpenFailedNoRight">Du kannst den Raum nicht &ouml;ffnen, da du nicht die erforderlichen Rechte besitzt.</div>
room_open_failed_isset <div class="roomOpenFailedIsSet">Der Raum ist bereits ge&ouml;ffnet.</div>
room_hide <div class="roomHide">alice versteckt den Raum.</div>
room_hide_failed_noright <div class="roomHideFailedNoRight">Du kannst den Raum nicht verstecken, da du nicht die erforderlichen Rechte besitzt.</div>
room_hide_failed_isset <div class="roomHideFailedIsSet">Der Raum ist bereits versteckt.</div>
room_show <div class="roomShow">alice macht den Raum sichtbar.</div>
room_show_failed_noright <div class="roomShowFailedNoRight">Du kannst den Raum nicht sichtbar machen, da du nicht die erforderlichen Rechte besitzt.</div>
room_show_failed_isset <div class="roomShowFailedIsSet">Der Raum ist bereits sichtbar.</div>
room_moderate <div class="roomModerate">alice startet die Moderator-Funktion f&uuml;r diesen Raum.</div>
room_moderate_failed_noright <div class="roomModerateFailedNoRight">Du besitzt nicht die erforderliche Berechtigung, um die Moderator-Funktion f&uuml;r diesen Raum zu starten.</div>
room_moderate_failed_isset <div class="roomModerateFailedIsSet">Die Moderator-Funktion ist bereits aktiviert.</div>
room_unmoderate <div class="roomUnmoderate">alice beendet die Moderator-Funktion f&uuml;r diesen Raum.</div>
room_unmoderate_failed_noright <div class="roomUnmoderateFailedNoRight">Du besitzt nicht die erforderliche Berechtigung, um die Moderator-Funktion f&uuml;r diesen Raum zu beenden.</div>
room_unmoderate_failed_isset <div class="roomUnmoderateFailedIsSet">Du kannst die Moderator-Funktion nicht abschalten, da sie nicht aktiviert ist.</div>
room_lightoff <div class="roomLightOff">alice macht das Licht aus.</div>
room_lightoff_failed_noright <div class="roomLightOffFailedNoRight">Du besitzt keine Berechtigung, das Licht auszumachen.</div>
room_lightoff_failed_isset <div class="roomLightOffFailedIsSet">Du kannst das Licht nicht ausmachen, da es bereits aus ist.</div>
room_lighton <div class="roomLightOn">alice macht das Licht an.</div>
room_lighton_failed_noright <div class="roomLightOnFailedNoRight">Du besitzt keine Berechtigung, das Licht anzumachen.</div>
room_lighton_failed_isset <div class="roomLightOnFailedIsSet">Du kannst das Licht nicht anmachen, da es bereits an ist.</div>
room_censorshipoff <div class="roomCensorshipOff">alice deaktiviert die Zensur-Funktion.</div>
room_censorshipoff_failed_noright <div class="roomCensorshipOffFailedNoRight">Du besitzt keine Berechtigung, die Zensur-Funktion zu deaktivieren.</div>
room_censorshipoff_failed_isset <div class="roomCensorshipOffFailedIsSet">Du kannst die Zensur-Funktion nicht deaktivieren, da sie bereits deaktiviert ist.</div>
room_censorshipon <div class="roomCensorshipOn">alice aktiviert die Zensur-Funktion.</div>
room_censorshipon_failed_noright <div class="roomCensorshipOnFailedNoRight">Du besitzt keine Berechtigung, die Zensur-Funktion zu aktivieren.</div>
room_censorshipon_failed_isset <div class="roomCensorshipOnFailedNoIsSet">Du kannst die Zensur-Funktion nicht aktivieren, da sie bereits aktiviert ist.</div>
room_set_password <div class="roomSetPassword">Das Passwort f&uuml;r den Raum lautet nun: carol</div>
room_set_password_empty <div class="roomSetPasswordEmpty">Das Passwort f&uuml;r den Raum wurde gel&ouml;scht.</div>
room_set_password_empty_failed_isset <div class="roomSetPasswordEmptyFailedIsSet">Das Passwort f&uuml;r den Raum kann nicht gel&ouml;scht werden, da kein Passwort festgelegt wurde.</div>
room_set_password_failed_noright <div class="roomSetPasswordFailedNoRight">Du besitzt keine Berechtigung, das Passwort f&uuml;r den Raum zu &auml;ndern.</div>
room_set_rank <div class="roomSetRank">alice hat den Mindestrang, um den Raum betreten zu d&uuml;rfen, wie folgt festgesetzt: carol</div>
room_set_rank_empty <div class="roomSetRankEmpty">alice l&ouml;scht den Mindestrang.</div>
room_set_rank_empty_failed_isset <div class="roomSetRankEmptyFailedIsSet">Der Mindestrang f&uuml;r den Raum kann nicht gel&ouml;scht werden, da kein Mindestrang festgelegt ist.</div>
room_set_rank_failed_noright <div class="roomSetRankFailedNoRight">Du besitzt keine Berechtigung, den Mindestrang zum Betreten des Raums zu &auml;ndern.</div>
room_set_rank_failed_unknown <div class="roomSetRankFailedUnknown">carol kann nicht als Mindestrang zum Betreten des Raums eingestellt werden, da es diesen Rang nicht gibt.</div>
room_set_clan <div class="roomSetClan">alice weist den Raum dem Clan carol zu.</div>
room_set_clan_empty <div class="roomSetClanEmpty">alice hebt die Zuweisung des Raums zum Clan carol auf.</div>
room_set_clan_empty_failed_isset <div class="roomSetClanEmptyFailedIsSet">Die Zuweisung des Raums zu einem Clan kann nicht aufgehoben werden, da es keine Zuweisung gibt.</div>
room_set_clan_failed_noright <div class="roomSetClanFailedNoRight">Du besitzt keine Berechtigung, den Raum einem Clan zuzuweisen.</div>
room_set_clan_failed_unknown <div class="roomSetClanFailedUnknown">Es existiert kein Clan carol, dem der Raum zugeordnet werden kann.</div>
room_info <div class="roomInfo">Raum&uuml;bersicht:<br>Lobby [2 User; Demokratie]<br>Thema: Eingangshalle<br>User: alice, bob</div>
room_info_failed_noroom <div class="roomInfoFailedNoRoom">Es k&ouml;nnen keine Informationen zum Raum carol abgerufen werden, da es diesen Raum nicht gibt.</div>
room_info_failed_noright <div class="roomInfoFailedNoRight">Du besitzt keine Berechtigung, Informationen zum Raum Lobby abzurufen.</div>
rooms_info <div class="roomList">Chat&uuml;bersicht:<br>- Lobby [2 User; Demokratie; Thema: Eingangshalle]<br>- Garten [0 User; Demokratie]</div>
room_go_syntax <div class="roomGoSyntax">Syntax zum Wechseln des Raums:<br>.go &lt;Raumname&gt;</div>
room_go <div class="roomGo">alice wechselt in den Raum Lobby.</div>
room_go_failed_locked <div class="roomGoFailedLocked">Der Raumwechsel schlug fehl, da der Raum Lobby abgesperrt ist.</div>
room_go_failed_noroom <div class="roomGoFailedNoRoom">Der Raumwechsel schlug fehl, da es den Raum carol nicht gibt.</div>
room_go_failed_inroom <div class="roomGoFailedInRoom">Du bist bereits im Raum Lobby.</div>
room_go_failed_password <div class="roomGoFailedPassword">Das Passwort ist falsch. Der Zugang zum Raum Lobby wird verweigert.</div>
room_go_failed_rank <div class="roomGoFailedRank">Der Raumwechsel schlug fehl, da du nicht den erforderlichen Mindestrang carol besitzt.</div>
room_go_failed_clan <div class="roomGoFailedClan">Der Raumwechsel schlug fehl, da nur Mitglieder des Clans carol den Raum betreten d&uuml;rfen.</div>
room_goback_syntax <div class="roomGobackSyntax">Syntax zum Wechseln in den vorherigen Raum:<br>.goback</div>
room_change <div class="roomChange">Du befindest dich nun im Raum Lobby.</div>
room_back <div class="roomBack">alice wechselt zur&uuml;ck in den Raum Lobby.</div>
room_back_failed_no_prev_room <div class="roomBackFailedNoPrevRoom">Es gibt keinen Raum, in den du zur&uuml;ckwechseln kannst.</div>
room_pw_please <div class="roomPwPlease">Der Raum Lobby ist passwort-gesch&uuml;tzt. Bitte Passwort eingeben.</div>
msg_is_kicked_admin <div class="msgIsKickedAdmin">carol wird von alice aus dem Chat gekickt.</div>
msg_is_kicked_decision <div class="msgIsKickedDecision">alice wird durch Mehrheitsbeschlu&szlig; aus dem Chat gekickt.</div>
msg_got_alarm <div class="msgGotAlarm">Alarm! alice ben&ouml;tigt dringend Hilfe im Raum Lobby.</div>
msg_spammer <div class="msgSpammer">alice ist ein Spammer und wird automatisch aus dem Chat gekickt.</div>
msg_history <div class="msgHistory">carol</div>
msg_history_failed_empty <div class="msgHistoryFailedEmpty">Die History ist leer.</div>
msg_disconnected <div class="msgDisconnected">Die Verbindung zu alice wurde unterbrochen.</div>
msg_censored <div class="msgCensored">alice hat ein zensiertes Wort verwendet und wird automatisch aus dem Chat gekickt.</div>
msg_is_censored <div class="msgIsCensored">Du wirst aufgrund der Verwendung eines zensierten Wortes automatisch aus dem Chat gekickt.</div>
msg_mode_syntax <div class="msgModeSyntax">Syntax zum Wechseln des Modes:<br>.newmode [ &lt;Mode&gt; ]</div>
msg_mode_box <div class="msgModeBox"><form action=""><select onchange="on_mode_change(options[options.selectedIndex].value);"><option value="standard" selected="selected">Standard</option><option value="plain">Plain</option><option value="photo">Photo</option></select></form></div>
msg_mode_changed <div class="msgModeChanged">Mode wurde auf carol ge&auml;ndert.</div>
msg_skin_box <div class="msgSkinBox"><form action=""><select onchange="on_skin_change(options[options.selectedIndex].value);"></select></form></div>
msg_skin_changed <link rel="stylesheet" type="text/css" href="http://carol">
msg_nickname_double <div class="msgNicknameDouble">Es ist bereits jemand unter dem Nickname alice eingeloggt. Gib einen neuen Nickname ein, um dich in den Chat einzuloggen.</div>
msg_nickname_too_short <div class="msgNicknameTooShort">Der Nickname ist zu kurz. Gib einen neuen Nickname mit mindestens 3 Zeichen ein.</div>
msg_nickname_too_long <div class="msgNicknameTooLong">Der Nickname ist zu lang. Gib einen neuen Nickname mit h&ouml;chstens 12 Zeichen ein.</div>
msg_nickname_invalid <div class="msgNicknameInvalid">Der Nickname enth&auml;lt mindestens ein ung&uuml;ltiges Zeichen ('carol'). Gib einen neuen Nickname ein, um dich einzuloggen.</div>
msg_nickname_is_censored <div class="msgNicknameIsCensored">Der Nickname ist zensiert. Gib einen neuen Nickname ein, um dich einzuloggen.</div>
msg_nickname_is_locked <div class="msgNicknameIsLocked">Der Nickname ist gesperrt. Gib einen neuen Nickname ein, um dich einzuloggen.</div>
msg_ip_double <div class="msgIpDouble">Du bist bereits von diesem Computer aus im Chat eingeloggt. Es ist lediglich ein einziges Einloggen pro Computer erlaubt.</div>
msg_ip_banned <div class="msgIpBanned">Der von dir benutzte Computer ist f&uuml;r den Chat gesperrt.</div>
msg_no_unregistered <div class="msgNoUnregistered">Um diesen Chat zu betreten, musst du registriert sein. Gib einen registrierten Nickname ein, um dich einzuloggen.</div>
msg_shutdown <div class="msgShutdown">Der Chat-Server wird heruntergefahren.</div>
action_register <div class="actionRegister">Der Nickname carol ist nun registriert. Beim n&auml;chsten Einloggen wird nach dem Passwort gefragt.</div>
action_register_failed_taken <div class="actionRegisterFailedTaken">Der Nickname carol ist bereits registriert.</div>
action_register_failed <div class="actionRegisterFailed">Der Nickname kann nicht registriert werden: carol</div>)fragments";

TEST_F(look_test, every_type_renders_its_template) {
#define VORTA_NAME(name) {#name, t::name},
    std::map<std::string, t::types> types{VORTA_MESSAGE_TYPES(VORTA_NAME)};
#undef VORTA_NAME
    std::istringstream in(plain_fragments);
    std::string name, fragment;
    while (in >> name && std::getline(in.ignore(1), fragment)) {
        ASSERT_EQ(types.count(name), 1u) << name << " unknown or listed twice";
        EXPECT_EQ(plain.get(full(types[name])), fragment) << name;
        types.erase(name);
    }
    EXPECT_TRUE(types.empty()) << types.size() << " types left out, first " << types.begin()->first;
    for (int beyond : {int(t::types_end), 200, 255}) EXPECT_EQ(plain.get(full(beyond)), "") << beyond;
}

// The mode box selects the current look; the chat overview leaves hidden
// rooms out and counts the members at the time of rendering. Durations are
// singular only for one; a speaker whom the room is about to vote out is named
// in red; a room lists its owner, form and members.
TEST_F(look_test, live_state_numbers_danger_rooms_and_pictures_change_the_template) {
    peer carol("10.0.0.3", login_details{"carol", "Garten"});
    vorta::profile record = profile_of(1, "visitor");
    record.set_mode("PHOTO");
    alice_->load(record);
    EXPECT_EQ(plain.get(message(t::msg_mode_box, alice())),
              div("msgModeBox", R"(<form action=""><select onchange="on_mode_change(options[options.selectedIndex].)"
                                R"(value);"><option value="standard">Standard</option><option value="plain">)"
                                R"(Plain</option><option value="photo" selected="selected">Photo</option>)"
                                "</select></form>"));
    const std::string rooms = "Chat&uuml;bersicht:<br>- Lobby [2 User; Demokratie; Thema: Eingangshalle]<br>- Garten [";
    EXPECT_EQ(plain.get(message(t::rooms_info)), div("roomList", rooms + "1 User; Demokratie]"));
    carol.send(txt(".nr Versteck"));
    carol.send(txt(".h"));
    carol.lines();
    EXPECT_EQ(plain.get(message(t::rooms_info)), div("roomList", rooms + "0 User; Demokratie]"));
    const std::string ban = " wird f&uuml;r ", head = "Raum&uuml;bersicht:<br>";
    vorta::room salon("Salon", alice(), "", vorta::room::form::dictatorship);
    ASSERT_NE(salon.join(bob(), vorta::room::enter::go, ""), nullptr);
    vorta::room wild("Wildnis", nullptr, "frei", vorta::room::form::anarchy);
    const std::vector<std::pair<message, std::string>> rows = {
        {message(t::action_ban, bob(), 1), div("actionBan", "bob" + ban + "1 Minute gebannt.")},
        {message(t::action_ban, bob(), 2), div("actionBan", "bob" + ban + "2 Minuten gebannt.")},
        {message(t::action_banex, "carol", 1), div("actionBanEx", "carol" + ban + "1 Minute gebannt.")},
        {message(t::action_lock_nickname, bob(), 1),
         div("actionLockNickname", "Der Nickname bob" + ban + "1 Stunde gesperrt.")},
        {message(t::room_info, &salon),
         div("roomInfo", head + "Salon [2 User; Diktatur; versteckt]<br>Owner: alice<br>User: alice, bob")},
        {message(t::room_info, &wild), div("roomInfo", head + "Wildnis [0 User; Anarchie]<br>Thema: frei")},
        {message(t::action_say, bob(), alice(), "Hallo"),
         R"(<span class="internSay" style="color:#CC0000;">bob:</span> <span class="actionSay" )"
         R"(style="color:#00FF00;">Hallo</span><br>)"},
        {message(t::action_me, bob(), alice(), "winkt"),
         R"(<span class="internMe" style="color:#CC0000;">bob</span> <span class="actionMe">winkt</span><br>)"},
    };
    alice()->mark(bob());  // 4 votes against a third of the room's weight 8
    salon.set_hide(true, alice());
    for (const auto& [m, expected] : rows) EXPECT_EQ(plain.get(m), expected) << m.type;
    alice()->unmark(bob());
    // Bob sees pictures, alice links; every chat line anchors its text.
    const std::string image = R"(<img src="http://www.example.org/a.gif" alt="">)";
    const std::string link =
        R"(<a href="http://www.example.org/a.gif" target="_blank">www.example.org/a.gif (Bild)</a>)";
    const std::string picture = "img:www.example.org/a.gif";
    const struct {
        std::string text, for_bob, for_alice;
    } pictures[] = {
        {"see " + picture, "see " + image, "see " + link},
        {"see img:http://www.example.org/a.gif", "see " + image, "see " + link},
        {picture + "!", R"(<img src="http://www.example.org/a.gif!" alt="">)",
         R"(<a href="http://www.example.org/a.gif!" target="_blank">www.example.org/a.gif! (Bild)</a>)"},
        {"see" + picture, "see" + picture, "see" + picture},
        {picture + "\t" + picture, image + "\t" + image, link + "\t" + link},
        {"img: alone", "img: alone", "img: alone"},
    };
    auto blind = [](const std::string& text) { return R"(<span class="actionSayBlind">)" + text + "</span><br>"; };
    for (const auto& r : pictures) {
        EXPECT_EQ(plain.get(message(t::action_say_blind, alice(), bob(), r.text)), blind(r.for_bob));
        EXPECT_EQ(plain.get(message(t::action_say_blind, bob(), alice(), r.text)), blind(r.for_alice));
    }
    for (auto type : {t::action_say, t::action_say_moderated, t::action_whisper, t::action_got_whisper, t::action_me,
                      t::action_me_moderated}) {
        message m = full(type);
        std::string expected = plain.get(m);
        expected.replace(expected.rfind(">carol<") + 1, 5, image);
        m.text = picture;
        EXPECT_EQ(plain.get(m), expected) << type;
    }
    configure("all.links = 0\n");
    EXPECT_EQ(plain.get(message(t::action_say_blind, alice(), bob(), picture)), blind(picture));
}

// The overview of a user: pictures by profile (a banner or a homepage alone),
// connection details by rank (the right and a higher rank; himself, the right
// alone), the client's own values escaped; referers other than a web page or
// a local file unknown.
TEST_F(look_test, the_user_overview_shows_details_by_rank_and_escapes_the_clients_values) {
    const auto overview = [](const std::string& photo, const std::string& rest) {
        return div("actionUser", R"(<img src="http://www.example.org/)" + photo +
                                     R"(" alt="carol" width="40" height="60" class="photoUser" border="0">)" +
                                     " User&uuml;bersicht:<br>carol [Raum: Lobby; Rang: " + rest);
    };
    const std::string connection = "<br>IP: 10.0.0.3; User-Agent: &lt;script&gt;alert(1)&lt;/script&gt;<br>Referer: ";
    const std::pair<std::string, std::string> referers[] = {
        {R"(http://www.example.org/a"b.html)", R"(<a href="http://www.example.org/a&quot;b.html" )"
                                               R"(target="_blank">http://www.example.org/a&quot;b.html</a>)"},
        {"file:///C:/chat.html", "file:///C:/chat.html (local file)"},
        {"https://www.example.org/chat.html", "unknown"},
        {"", "unknown"},
        {"ftp://x", "unknown"}};
    for (const auto& [referer, shown] : referers) {
        SCOPED_TRACE(referer);
        peer carol("10.0.0.3", login_details{"carol", "Lobby", "<script>alert(1)</script>", referer});
        vorta::profile record = profile_of(3, "visitor");
        record.set_photo("www.example.org/carol.jpg");
        carol.load(record);
        const message other(t::action_user, carol.session(), bob()), self(t::action_user_this, carol.session());
        EXPECT_EQ(plain.get(self), overview("carol.jpg", "Visitor; Status: -; Skin: ]"));
        for (const char* rank : {"visitor", "guard"}) {  // no right; the right at the same level
            bob_->load(profile_of(2, rank));
            EXPECT_EQ(plain.get(other), overview("carol.jpg", "Visitor; Status: -]")) << rank;
        }
        bob_->load(profile_of(2, "mod"));
        EXPECT_EQ(plain.get(other), overview("carol.jpg", "Visitor; Status: -]" + connection + shown));
        carol.load(profile_of(3, "guard"));
        EXPECT_EQ(plain.get(self), overview("nophoto.gif", "Wache; Status: -; Skin: ]" + connection + shown));
    }
    configure("photo.html =\nbanner.html = style=\"b\"\n");
    vorta::profile record = profile_of(2, "visitor");
    record.set_photo("www.example.org/bob.jpg");
    record.set_banner("www.example.org/b.gif");
    bob_->load(record);
    const message m(t::action_user, bob(), alice());
    const std::string head =
        R"(<img src="http://www.example.org/bob.jpg" alt="bob" width="40" height="60" class="photoUser">)"
        " User&uuml;bersicht:<br>bob [Raum: Lobby; Rang: Visitor; Status: -]<br>";
    EXPECT_EQ(plain.get(m), div("actionUser", head + R"(<img src="http://www.example.org/b.gif" alt="" )"
                                                     R"(width="468" height="60" class="photoUserBanner" style="b">)"));
    record.set_banner("");
    record.set_homepage("www.bob.example");
    bob_->load(record);
    EXPECT_EQ(plain.get(m), div("actionUser", head + R"(<a href="http://www.bob.example" target="_blank">)"
                                                     "www.bob.example (Homepage)</a>"));
}

TEST(empty_chat, the_user_overview_is_empty_without_users_and_counts_none_without_rooms) {
    chat_world();
    const vorta::mode_standard plain("Plain");
    EXPECT_EQ(plain.get(message(vorta::mode_standard::action_users)), "");
    peer waiting("10.0.0.4");
    EXPECT_EQ(plain.get(message(vorta::mode_standard::action_users)),
              div("actionUsers", "Chat&uuml;bersicht:<br>0 User"));
}

// Each button has its own picture, size and markup; the unmark button has no markup.
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
const std::string ban_alice = button(2, "15 Minuten bannen", ".ban alice");
// The recipient has marked alice, or not yet: the click takes the mark back, or sets it.
const std::string marked_alice = button(3, "Markiert", ".um alice");
const std::string unmarked_alice = button(4, "Nicht markiert", ".m alice");
const std::string info_alice = info(".u alice");
const std::string held_id = R"(<span class="internMessageId">5</span> )";

class icon_look : public look_test {
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
TEST_F(icon_look, every_overridden_type_and_the_photo_look_render_their_templates) {
    peer carol("10.0.0.3", login_details{"carol", "Garten"});
    carol.load(profile_of(3, "visitor"));
    vorta::profile blocking = alice_profile();
    blocking.set_blocked({2, 3});
    alice_->load(blocking);
    const std::string alice = user("alice"), bob = user("bob"), carol_ = user("carol");
    const std::string lobby = room("Lobby"), garten = room("Garten");
    const std::string overview = "Chat&uuml;bersicht:<br>- ", buttons = info_alice + unmarked_alice;
    expect_fragments(
        icon,
        {{t::action_say, plain_with(t::action_say, "", buttons)},
         {t::action_say_moderated, plain_with(t::action_say_moderated, held_id, buttons)},
         {t::action_got_whisper, plain_with(t::action_got_whisper, "", info_alice)},
         {t::action_users, div("actionUsers", overview + alice + " [Raum: " + lobby +
                                                  "; Rang: Visitor; Status: -; Clan: Rot]<br>- " + bob +
                                                  " [Raum: " + lobby + "; Rang: Visitor; Status: -]<br>- " + carol_ +
                                                  " [Raum: " + garten + "; Rang: Visitor; Status: -]")},
         {t::action_got_invited,
          div("actionGotInvited", "Du hast von " + alice + " eine Einladung erhalten, in den Raum " + lobby +
                                      " zu wechseln.")},
         {t::action_me, plain_with(t::action_me, "", buttons)},
         {t::action_me_moderated, plain_with(t::action_me_moderated, held_id, buttons)},
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
    // Names go into the script call escaped and next to the button as they
    // are; the owner of a room is listed with a button, like its members.
    const std::string name = R"(O'Neil\x)", escaped = R"(O\'Neil\\x)";
    EXPECT_EQ(icon.get_ban_button(name), button(2, "15 Minuten bannen", ".ban " + escaped));
    EXPECT_EQ(icon.get(message(t::action_morph, alice_->session(), name)),
              div("actionMorph", "alice morpht sich zu " + info(".u " + escaped) + name + "."));
    vorta::room bar(R"(Bob's\Bar)", alice_->session(), "", vorta::room::form::dictatorship);
    EXPECT_EQ(icon.get(message(t::room_change, &bar)),
              div("roomChange", "Du befindest dich nun im Raum " + info(R"(.r Bob\'s\\Bar)") + bar.get_name() + "."));
    EXPECT_EQ(icon.get(message(t::room_info, &bar)),
              div("roomInfo", "Raum&uuml;bersicht:<br>Bob's\\Bar [1 User; Diktatur]<br>Owner: " + alice +
                                  "<br>User: " + alice));
    // The photo comes before a chat line, after a held action line's id, and
    // inside the frame of a notice; its markup follows a blank even when there is
    // none, and a user without a photo of his own shows the default one.
    const vorta::mode_photo photo;
    const std::string photo_alice = R"(<img src="http://www.example.org/alice.jpg" alt="alice" width="40" )"
                                    R"(height="60" class="photoUser" border="0"> )";
    fragments cases = {{t::action_me_moderated, plain_with(t::action_me_moderated, held_id, photo_alice)}};
    for (auto type : {t::action_say, t::action_say_moderated, t::action_got_whisper, t::action_me})
        cases.emplace_back(type, plain_with(type, "", photo_alice));
    for (auto type : {t::action_got_invited, t::action_enter, t::action_quit, t::room_hello})
        cases.emplace_back(type, plain_with(type, ">", photo_alice));
    expect_fragments(photo, cases);
    EXPECT_EQ(photo.name, "Photo");
    configure("photo.html =\n");
    EXPECT_EQ(photo.get(message(t::action_quit, bob_->session())),
              R"(<div class="actionQuit"><img src="http://www.example.org/nophoto.gif" alt="bob" width="40" )"
              R"(height="60" class="photoUser" > bob verl&auml;sst den Chat.</div>)");
}

// Arrivals offer the ban button to a recipient whose rank may ban: the mod,
// not the guard, who only sees addresses, nor alice herself nor nobody. Bob's
// mark on alice shows on her lines to bob only; marked, she is also in danger
// and her name turns red for everybody. Bob sees pictures, alice links.
TEST_F(icon_look, buttons_pictures_and_looks_follow_the_recipient) {
    const std::string hello_without = div("roomHello", user("alice") + " betritt den Raum.");
    bob_->load(bob_profile("guard"));
    EXPECT_EQ(icon.get(full(t::action_enter)), div("actionEnter", user("alice") + " betritt den Chat."));
    bob_->load(bob_profile("mod"));
    EXPECT_EQ(icon.get(full(t::action_enter)), div("actionEnter", info_alice + ban_alice + "alice betritt den Chat."));
    EXPECT_EQ(icon.get(full(t::room_hello)), div("roomHello", info_alice + ban_alice + "alice betritt den Raum."));
    EXPECT_EQ(icon.get(message(t::room_hello, alice(), alice())), hello_without);
    EXPECT_EQ(icon.get(message(t::room_hello, alice())), hello_without);

    const message to_bob = full(t::action_say);
    message to_alice = to_bob;
    to_alice.second_user = alice();
    const std::string red_line = plain_with(t::action_say, R"(<span class="internSay")", R"( style="color:#CC0000;")");
    bob()->mark(alice());
    EXPECT_EQ(icon.get(to_bob), info_alice + marked_alice + red_line);
    EXPECT_EQ(icon.get(to_alice), info_alice + unmarked_alice + red_line);
    EXPECT_EQ(icon.get(full(t::action_me_moderated)),
              held_id + info_alice + marked_alice + R"(<span class="internMeModerated" style="color:#CC0000;">)"
                                                    R"(alice</span> <span class="actionMeModerated">carol</span><br>)");
    bob()->unmark(alice());
    message m(t::action_me, alice(), bob(), "img:www.example.org/a.gif");
    const std::string head =
        info_alice + unmarked_alice + R"(<span class="internMe">alice</span> <span class="actionMe">)";
    EXPECT_EQ(icon.get(m), head + R"(<img src="http://www.example.org/a.gif" alt=""></span><br>)");
    m.second_user = alice();
    EXPECT_EQ(icon.get(m), head + R"(<a href="http://www.example.org/a.gif" target="_blank">)"
                                  "www.example.org/a.gif (Bild)</a></span><br>");
    // A said line reaches every member in his own look: the icon look for a
    // session that just logged in, the look that a stored profile names for
    // the others.
    peer carol("10.0.0.3", login_details{"carol", "Lobby"});
    vorta::profile plain_profile = bob_profile("visitor");
    plain_profile.set_mode("plain");
    bob_->load(plain_profile);
    peer dora("10.0.0.4", login_details{"dora", "Lobby"});
    vorta::profile photo_profile = profile_of(4, "visitor");
    photo_profile.set_mode("Photo");
    dora.load(photo_profile);
    for (peer* p : {bob_.get(), &carol, &dora}) p->lines();
    alice_->send("TXT \"carol\"");
    const std::string line = plain.get(full(t::action_say));
    EXPECT_EQ(carol.lines(), lines_t{txt(info_alice + unmarked_alice + line)});
    EXPECT_EQ(bob_->lines(), lines_t{txt(line)});
    EXPECT_EQ(dora.lines(), lines_t{txt(vorta::mode_photo().get(full(t::action_say)))});
}

}  // namespace
