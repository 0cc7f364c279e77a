// The plain look: every fragment byte for byte, the picture anchoring of chat
// text, and the overviews that read live sessions and rooms.
#include "render/mode_standard.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "chat/manager.hpp"
#include "chat/profile.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "config/configuration.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "support/chat_world.hpp"
#include "support/look_fixture.hpp"
#include "support/temp_dir.hpp"

namespace {

using vorta::message;
using vorta::mode_standard;
using test_support::peer;
using test_support::login_details;
using test_support::profile_of;

class plain_look : public test_support::look_test {
protected:
    mode_standard plain{"Plain"};
};

// One message of every type, rendered for fixed users and rooms; the expected
// fragments are the templates with these values filled in.
TEST_F(plain_look, every_type_renders_its_template) {
    using t = mode_standard;
    const fragments cases = {
        {message(t::intern_nop, "<b>roh</b>"), "<b>roh</b>"},
        {message(t::intern_css, "www.example.org/skin.css"),
         R"(<link rel="stylesheet" type="text/css" href="http://www.example.org/skin.css">)"},
        {message(t::pw_please), R"(<div class="pwPlease">Der Nickname ist registriert. Bitte Passwort eingeben.</div>)"},
        {message(t::pw_wrong), R"(<div class="pwWrong">Das Passwort ist falsch. Bitte erneut eingeben.</div>)"},
        {message(t::pw_access_denied),
         R"(<div class="pwAccessDenied">Das Passwort ist falsch. Der Zugang zum Chat wird verweigert.</div>)"},
        {message(t::pw_ok), R"(<div class="pwOk">Passwort ok, eingeloggt!</div>)"},
        {message(t::action_help),
         R"(<div class="actionHelp">Klicke hier, um die <a href="http://www.example.org/hilfe.html" target="_blank">Hilfe zum Chat</a> aufzurufen.</div>)"},
        {message(t::action_say, alice(), bob(), "Hallo"),
         R"(<span class="internSay">alice:</span> <span class="actionSay" style="color:#FF0000;">Hallo</span><br>)"},
        {[&] {
             message m(t::action_say_moderated, alice(), bob(), "Hallo");
             m.number = 7;
             return m;
         }(),
         R"(<span class="internMessageId">7</span> <span class="internSayModerated">alice:</span> <span class="actionSayModerated" style="color:#FF0000;">Hallo</span><br>)"},
        {message(t::action_say_blind, alice(), bob(), "Hallo"), R"(<span class="actionSayBlind">Hallo</span><br>)"},
        {message(t::action_whisper_syntax),
         R"(<div class="actionWhisperSyntax">Syntax zum Fl&uuml;stern mit einem User:<br>.whisper &lt;Nickname&gt; &lt;Text&gt;</div>)"},
        {message(t::action_whisper, bob(), alice(), "psst"),
         R"(<span class="internWhisper">Du fl&uuml;sterst zu bob:</span> <span class="actionWhisper" style="color:#FF0000;">psst</span><br>)"},
        {message(t::action_whisper_failed_nouser, "carol"),
         R"(<div class="actionWhisperFailedNoUser">Fl&uuml;stern mit carol nicht m&ouml;glich, da niemand namens carol im Chat ist.</div>)"},
        {message(t::action_got_whisper, alice(), bob(), "psst"),
         R"(<span class="internGotWhisper">alice fl&uuml;stert:</span> <span class="actionGotWhisper" style="color:#FF0000;">psst</span><br>)"},
        {message(t::action_user, alice(), bob()),
         R"(<div class="actionUser"><img src="http://www.example.org/alice.jpg" alt="alice" width="40" height="60" class="photoUser" border="0"> User&uuml;bersicht:<br>alice [Raum: Lobby; Rang: Visitor; Status: -; Clan: Rot]<br><a href="http://www.alice.example" target="_blank"><img src="http://www.example.org/banner.gif" alt="www.alice.example" width="468" height="60" class="photoUserBanner"></a></div>)"},
        {message(t::action_user_this, alice()),
         R"(<div class="actionUser"><img src="http://www.example.org/alice.jpg" alt="alice" width="40" height="60" class="photoUser" border="0"> User&uuml;bersicht:<br>alice [Raum: Lobby; Rang: Visitor; Status: -; Clan: Rot; Skin: Herbst]<br><a href="http://www.alice.example" target="_blank"><img src="http://www.example.org/banner.gif" alt="www.alice.example" width="468" height="60" class="photoUserBanner"></a></div>)"},
        {message(t::action_user_failed_nouser, "carol"),
         R"(<div class="actionUserFailedNoUser">Es ist momentan niemand namens carol im Chat eingeloggt.</div>)"},
        {message(t::action_users),
         R"(<div class="actionUsers">Chat&uuml;bersicht:<br>- alice [Raum: Lobby; Rang: Visitor; Status: -; Clan: Rot]<br>- bob [Raum: Lobby; Rang: Visitor; Status: -]</div>)"},
        {message(t::action_invite_syntax),
         R"(<div class="actionInviteSyntax">Syntax zum Einladen eines Users:<br>.invite &lt;Nickname&gt;</div>)"},
        {message(t::action_invite, bob()),
         R"(<div class="actionInvite">Du hast bob eingeladen, in deinen Raum zu wechseln.</div>)"},
        {message(t::action_invite_failed_nouser, "carol"),
         R"(<div class="actionInviteFailedNoUser">Der User carol, den du einladen wolltest, ist momentan nicht im Chat.</div>)"},
        {message(t::action_invite_failed_inroom, bob()),
         R"(<div class="actionInviteFailedInRoom">Du kannst den User bob nicht einladen, da er schon in deinem Raum ist.</div>)"},
        {message(t::action_invite_ok_syntax),
         R"(<div class="actionInviteOkSyntax">Syntax zum Annehmen einer Einladung:<br>.goinvited</div>)"},
        {message(t::action_invite_ok, bob()),
         R"(<div class="actionInviteOk">bob nimmt eine Einladung an und wechselt den Raum.</div>)"},
        {message(t::action_got_invited, alice()),
         R"(<div class="actionGotInvited">Du hast von alice eine Einladung erhalten, in den Raum Lobby zu wechseln.</div>)"},
        {message(t::action_alarm),
         R"(<div class="actionAlarm">Du hast stillen Alarm ausgel&ouml;st. Im Chat anwesende kickberechtigte User haben deinen Hilferuf erhalten.</div>)"},
        {message(t::action_alarm_failed_noright),
         R"(<div class="actionAlarmFailedNoRight">Du besitzt keine Berechtigung, Alarm auszul&ouml;sen.</div>)"},
        {message(t::action_alarm_failed_isset),
         R"(<div class="actionAlarmFailedIsSet">Alarm darf nur im Notfall ausgel&ouml;st werden. Um einen andauernden Alarmzustand zu vermeiden, kann der Alarm pro Chat-Session nur einmal von einem User aktiviert werden.</div>)"},
        {message(t::action_alarm_ok_syntax),
         R"(<div class="actionAlarmOkSyntax">Syntax zum Annehmen eines Alarms:<br>.goalarm</div>)"},
        {message(t::action_alarm_ok, bob()),
         R"(<div class="actionAlarmOk">bob wird zu einem Alarm gerufen und wechselt den Raum.</div>)"},
        {message(t::action_ban_syntax),
         R"(<div class="actionBanSyntax">Syntax zum Bannen eines Users:<br>.ban &lt;Nickname&gt; [ &lt;Zeit in Minuten&gt; ]</div>)"},
        {message(t::action_ban, bob(), 15), R"(<div class="actionBan">bob wird f&uuml;r 15 Minuten gebannt.</div>)"},
        {message(t::action_ban_failed_nouser, "carol"),
         R"(<div class="actionBanFailedNoUser">carol kann nicht gebannt werden, da niemand namens carol im Chat ist.</div>)"},
        {message(t::action_ban_failed_noright, "carol"),
         R"(<div class="actionBanFailedNoRight">Du besitzt keine Berechtigung, carol zu bannen.</div>)"},
        {message(t::action_lock_nickname_syntax),
         R"(<div class="actionLockNicknameSyntax">Syntax zum Sperren eines Nicknames:<br>.locknickname &lt;Nickname&gt; [ &lt;Zeit in Stunden&gt; ]</div>)"},
        {message(t::action_banex_syntax),
         R"(<div class="actionBanExSyntax">Syntax zum Bannen eines ausgeloggten Users:<br>.banex &lt;Nickname&gt; [ &lt;Zeit in Minuten&gt; ]</div>)"},
        {message(t::action_banex, "carol", 30),
         R"(<div class="actionBanEx">carol wird f&uuml;r 30 Minuten gebannt.</div>)"},
        {message(t::action_banex_failed_nouser, "carol"),
         R"(<div class="actionBanExFailedNoUser">carol kann nicht gebannt werden, da sich bisher niemand namens carol ausgeloggt hat oder Daten zu diesem User nicht mehr gespeichert sind.</div>)"},
        {message(t::action_lock_nickname, bob(), 24),
         R"(<div class="actionLockNickname">Der Nickname bob wird f&uuml;r 24 Stunden gesperrt.</div>)"},
        {message(t::action_lock_nickname_failed_nouser, "carol"),
         R"(<div class="actionLockNicknameFailedNoUser">Der Nickname carol kann nicht gesperrt werden, da niemand namens carol im Chat ist.</div>)"},
        {message(t::action_lock_nickname_failed_noright, "carol"),
         R"(<div class="actionLockNicknameFailedNoRight">Du besitzt keine Berechtigung, den Nickname carol zu sperren.</div>)"},
        {message(t::action_kick_syntax),
         R"(<div class="actionKickSyntax">Syntax zum Kicken eines Users:<br>.kick &lt;Nickname&gt;</div>)"},
        {message(t::action_kick, bob()), R"(<div class="actionKick">bob wird aus dem Chat gekickt.</div>)"},
        {message(t::action_kick_failed_nouser, "carol"),
         R"(<div class="actionKickFailedNoUser">carol kann nicht gekickt werden, da niemand namens carol im Raum ist.</div>)"},
        {message(t::action_kick_failed_noright, bob()),
         R"(<div class="actionKickFailedNoRight">Du besitzt keine Berechtigung, bob zu kicken.</div>)"},
        {message(t::action_mark_syntax),
         R"(<div class="actionMarkSyntax">Syntax zum Markieren eines Users:<br>.mark &lt;Nickname&gt;</div>)"},
        {message(t::action_mark, bob()), R"(<div class="actionMark">Du hast bob zum Kicken markiert.</div>)"},
        {message(t::action_mark_failed_nouser, "carol"),
         R"(<div class="actionMarkFailedNoUser">Es ist momentan niemand namens carol in diesem Raum.</div>)"},
        {message(t::action_mark_failed_isset, bob()),
         R"(<div class="actionMarkFailedIsSet">Du hast bob bereits zum Kicken markiert.</div>)"},
        {message(t::action_mark_failed_noright, bob()),
         R"(<div class="actionMarkFailedNoRight">Du besitzt keine Berechtigung, bob zum Kicken zu markieren.</div>)"},
        {message(t::action_me_syntax),
         R"(<div class="actionMeSyntax">Syntax zum Ausf&uuml;hren einer Aktion:<br>.me &lt;Aktion&gt;</div>)"},
        {message(t::action_me, alice(), bob(), "winkt"),
         R"(<span class="internMe">alice</span> <span class="actionMe">winkt</span><br>)"},
        {[&] {
             message m(t::action_me_moderated, alice(), bob(), "winkt");
             m.number = 8;
             return m;
         }(),
         R"(<span class="internMessageId">8</span> <span class="internMeModerated">alice</span> <span class="actionMeModerated">winkt</span><br>)"},
        {message(t::action_ok_syntax),
         R"(<div class="actionOkSyntax">Syntax zum Freigeben von Textmeldungen:<br>.ok &lt;Nummer&gt;</div>)"},
        {message(t::action_unmark_syntax),
         R"(<div class="actionUnmarkSyntax">Syntax zum Demarkieren eines Users:<br>.unmark &lt;Nickname&gt;</div>)"},
        {message(t::action_unmark, bob()), R"(<div class="actionUnmark">Du hast bob demarkiert.</div>)"},
        {message(t::action_unmark_failed_nouser, "carol"),
         R"(<div class="actionUnmarkFailedNoUser">Es ist momentan niemand namens carol im Chat.</div>)"},
        {message(t::action_unmark_failed_isset, bob()),
         R"(<div class="actionUnmarkFailedIsSet">Der User bob kann nicht demarkiert werden, da er nicht markiert ist.</div>)"},
        {message(t::action_make_admin_syntax),
         R"(<div class="actionMakeAdminSyntax">Syntax zum Ernennen eines Users zum Admin:<br>.makeadmin &lt;Nickname&gt;</div>)"},
        {message(t::action_make_admin, alice(), bob()),
         R"(<div class="actionMakeAdmin">alice ernennt bob zum Admin.</div>)"},
        {message(t::action_make_admin_failed_nouser, "carol"),
         R"(<div class="actionMakeAdminFailedNoUser">carol kann nicht zum Admin ernannt werden, da niemand namens carol im Raum ist.</div>)"},
        {message(t::action_make_admin_failed_noright, "carol"),
         R"(<div class="actionMakeAdminFailedNoRight">Du kannst carol nicht zum Admin ernennen, weil du nicht die erforderlichen Rechte besitzt.</div>)"},
        {message(t::action_make_admin_failed_isset, bob()),
         R"(<div class="actionMakeAdminFailedIsSet">bob ist bereits Admin in diesem Raum.</div>)"},
        {message(t::action_make_admin_failed_owner, bob()),
         R"(<div class="actionMakeAdminFailedOwner">bob ist Owner in diesem Raum.</div>)"},
        {message(t::action_unmake_admin_syntax),
         R"(<div class="actionUnmakeAdminSyntax">Syntax zum Degradieren eines Admins zum User:<br>.unmakeadmin &lt;Nickname&gt;</div>)"},
        {message(t::action_unmake_admin, alice(), bob()),
         R"(<div class="actionUnmakeAdmin">alice degradiert bob vom Admin zum User.</div>)"},
        {message(t::action_unmake_admin_failed_isset, bob()),
         R"(<div class="actionUnmakeAdminFailedIsSet">bob ist kein Admin in diesem Raum.</div>)"},
        {message(t::action_unmake_admin_failed_noright),
         R"(<div class="actionUnmakeAdminFailedNoRight">Du besitzt keine Berechtigung, Admins zu degradieren.</div>)"},
        {message(t::action_unmake_admin_failed_nouser, "carol"),
         R"(<div class="actionUnmakeAdminFailedNoUser">carol kann nicht zum User degradiert werden, da niemand namens carol im Chat ist.</div>)"},
        {message(t::action_set_subject, alice(), "Neues Thema"),
         R"(<div class="actionSetSubject">alice &auml;ndert das Thema des Raums auf: Neues Thema</div>)"},
        {message(t::action_set_subject_empty, alice()),
         R"(<div class="actionSetSubjectEmpty">alice l&ouml;scht das Thema des Raums.</div>)"},
        {message(t::action_set_subject_empty_failed_isset),
         R"(<div class="actionSetSubjectEmptyFailedIsSet">Das Thema des Raums kann nicht gel&ouml;scht werden, da kein Thema festgelegt ist.</div>)"},
        {message(t::action_set_subject_failed_noright),
         R"(<div class="actionSetSubjectFailedNoRight">Du besitzt keine Berechtigung, das Thema des Raums zu &auml;ndern.</div>)"},
        {message(t::action_block_list, alice()),
         R"(<div class="actionBlockList">Momentan ist kein User im Chat geblockt.</div>)"},
        {message(t::action_block_syntax),
         R"(<div class="actionBlockSyntax">Syntax zum Blocken eines Users:<br>.block &lt;Nickname&gt;</div>)"},
        {message(t::action_block, bob()), R"(<div class="actionBlock">bob wird ab sofort geblockt.</div>)"},
        {message(t::action_block_failed_nouser, "carol"),
         R"(<div class="actionBlockFailedNoUser">carol kann nicht geblockt werden, da niemand namens carol im Chat ist.</div>)"},
        {message(t::action_block_failed_isset, bob()),
         R"(<div class="actionBlockFailedIsSet">bob wird bereits geblockt.</div>)"},
        {message(t::action_unblock_syntax),
         R"(<div class="actionUnblockSyntax">Syntax zum Aufheben der Blockierung eines Users:<br>.unblock &lt;Nickname&gt;</div>)"},
        {message(t::action_unblock, bob()),
         R"(<div class="actionUnblock">Die Blockierung von bob wird aufgehoben.</div>)"},
        {message(t::action_unblock_failed_nouser, "carol"),
         R"(<div class="actionUnblockFailedNoUser">Die Blockierung von carol kann nicht aufgehoben werden, da niemand namens carol im Chat ist.</div>)"},
        {message(t::action_unblock_failed_isset, bob()),
         R"(<div class="actionUnblockFailedIsSet">Die Blockierung von bob kann nicht aufgehoben werden, da bob nicht geblockt wird.</div>)"},
        {message(t::action_morph_syntax),
         R"(<div class="actionMorphSyntax">Syntax zum Morphen:<br>.morph &lt;Nickname&gt;</div>)"},
        {message(t::action_morph, alice(), "carol"),
         R"(<div class="actionMorph">alice morpht sich zu carol.</div>)"},
        {message(t::action_morph_failed_online, "carol"),
         R"(<div class="actionMorphFailedOnline">Du kannst dich nicht zu carol morphen, da carol momentan im Chat ist.</div>)"},
        {message(t::action_morph_failed_not_registered, "carol"),
         R"(<div class="actionMorphFailedNotRegistered">Du kannst dich nicht zu carol morphen, da der Nickname carol nicht registriert ist.</div>)"},
        {message(t::action_morph_failed_password, "carol"),
         R"(<div class="actionMorphFailedPassword">Das Passwort ist falsch. Morphen zu carol wird verweigert.</div>)"},
        {message(t::action_morph_pw_please, "carol"),
         R"(<div class="actionMorphPwPlease">Gib bitte das Passwort f&uuml;r carol ein, um dich zu morphen.</div>)"},
        {message(t::action_morph_ok, alice()),
         R"(<div class="actionMorphOk">Du hast dich zu alice gemorpht.</div>)"},
        {message(t::action_moderate_failed_no_msg, 42),
         R"(<div class="actionModerateFailedNoMsg">Die Nachricht Nr. 42 kann nicht gesendet werden, da es sie nicht gibt.</div>)"},
        {message(t::action_moderate_failed_no_right),
         R"(<div class="actionModerateFailedNoRight">Du besitzt keine Berechtigung, um diesen Raum zu moderieren.</div>)"},
        {message(t::action_new_skin_syntax),
         R"(<div class="actionNewSkinSyntax">Syntax zum Wechseln des Skins:<br>.newskin &lt;Skin&gt;</div>)"},
        {message(t::action_kill_syntax),
         R"(<div class="actionKillSyntax">Syntax zum Killen eines Users:<br>.kill &lt;User&gt;</div>)"},
        {message(t::action_kill, bob()), R"(<div class="actionKill">bob wurde gekillt.</div>)"},
        {message(t::action_is_killed),
         R"(<iframe width="0" height="0" style="visibility:hidden;" src="http://www.example.org/kill.html"><layer src="http://www.example.org/kill.html"></layer></iframe>)"},
        {message(t::action_kill_failed_noright),
         R"(<div class="actionKillFailedNoRight">Du besitzt keine Berechtigung zum Killen.</div>)"},
        {message(t::action_kill_failed_nouser, "carol"),
         R"(<div class="actionKillFailedNoUser">carol kann nicht gekillt werden, da niemand namens carol im Chat ist.</div>)"},
        {message(t::action_enter, alice(), bob()), R"(<div class="actionEnter">alice betritt den Chat.</div>)"},
        {message(t::action_version, "1.0.0"), R"(<div class="actionVersion">vorta chat 1.0.0</div>)"},
        {message(t::action_quit, alice()), R"(<div class="actionQuit">alice verl&auml;sst den Chat.</div>)"},
        {message(t::room_hello, alice(), bob()), R"(<div class="roomHello">alice betritt den Raum.</div>)"},
        {message(t::room_new_syntax),
         R"(<div class="roomNewSyntax">Syntax zum Erstellen eines neuen Raums:<br>.newroom &lt;Raumname&gt;</div>)"},
        {message(t::room_new, alice()),
         R"(<div class="roomNew">alice erstellt den Raum Lobby und wechselt in diesen.</div>)"},
        {message(t::room_new_failed_doesexist, lobby_),
         R"(<div class="roomNewFailedDoesExist">Der Raum Lobby kann nicht erstellt werden, da es ihn bereits gibt.</div>)"},
        {message(t::room_lock, alice()), R"(<div class="roomLock">alice sperrt den Raum ab.</div>)"},
        {message(t::room_lock_failed_noright),
         R"(<div class="roomLockFailedNoRight">Du kannst den Raum nicht absperren, da du nicht die erforderlichen Rechte besitzt.</div>)"},
        {message(t::room_lock_failed_isset), R"(<div class="roomLockFailedIsSet">Der Raum ist bereits abgesperrt.</div>)"},
        {message(t::room_open, alice()), R"(<div class="roomOpen">alice &ouml;ffnet den Raum.</div>)"},
        {message(t::room_open_failed_noright),
         R"(<div class="roomOpenFailedNoRight">Du kannst den Raum nicht &ouml;ffnen, da du nicht die erforderlichen Rechte besitzt.</div>)"},
        {message(t::room_open_failed_isset), R"(<div class="roomOpenFailedIsSet">Der Raum ist bereits ge&ouml;ffnet.</div>)"},
        {message(t::room_hide, alice()), R"(<div class="roomHide">alice versteckt den Raum.</div>)"},
        {message(t::room_hide_failed_noright),
         R"(<div class="roomHideFailedNoRight">Du kannst den Raum nicht verstecken, da du nicht die erforderlichen Rechte besitzt.</div>)"},
        {message(t::room_hide_failed_isset), R"(<div class="roomHideFailedIsSet">Der Raum ist bereits versteckt.</div>)"},
        {message(t::room_show, alice()), R"(<div class="roomShow">alice macht den Raum sichtbar.</div>)"},
        {message(t::room_show_failed_noright),
         R"(<div class="roomShowFailedNoRight">Du kannst den Raum nicht sichtbar machen, da du nicht die erforderlichen Rechte besitzt.</div>)"},
        {message(t::room_show_failed_isset), R"(<div class="roomShowFailedIsSet">Der Raum ist bereits sichtbar.</div>)"},
        {message(t::room_moderate, alice()),
         R"(<div class="roomModerate">alice startet die Moderator-Funktion f&uuml;r diesen Raum.</div>)"},
        {message(t::room_moderate_failed_noright),
         R"(<div class="roomModerateFailedNoRight">Du besitzt nicht die erforderliche Berechtigung, um die Moderator-Funktion f&uuml;r diesen Raum zu starten.</div>)"},
        {message(t::room_moderate_failed_isset),
         R"(<div class="roomModerateFailedIsSet">Die Moderator-Funktion ist bereits aktiviert.</div>)"},
        {message(t::room_unmoderate, alice()),
         R"(<div class="roomUnmoderate">alice beendet die Moderator-Funktion f&uuml;r diesen Raum.</div>)"},
        {message(t::room_unmoderate_failed_noright),
         R"(<div class="roomUnmoderateFailedNoRight">Du besitzt nicht die erforderliche Berechtigung, um die Moderator-Funktion f&uuml;r diesen Raum zu beenden.</div>)"},
        {message(t::room_unmoderate_failed_isset),
         R"(<div class="roomUnmoderateFailedIsSet">Du kannst die Moderator-Funktion nicht abschalten, da sie nicht aktiviert ist.</div>)"},
        {message(t::room_lightoff, alice()), R"(<div class="roomLightOff">alice macht das Licht aus.</div>)"},
        {message(t::room_lightoff_failed_noright),
         R"(<div class="roomLightOffFailedNoRight">Du besitzt keine Berechtigung, das Licht auszumachen.</div>)"},
        {message(t::room_lightoff_failed_isset),
         R"(<div class="roomLightOffFailedIsSet">Du kannst das Licht nicht ausmachen, da es bereits aus ist.</div>)"},
        {message(t::room_lighton, alice()), R"(<div class="roomLightOn">alice macht das Licht an.</div>)"},
        {message(t::room_lighton_failed_noright),
         R"(<div class="roomLightOnFailedNoRight">Du besitzt keine Berechtigung, das Licht anzumachen.</div>)"},
        {message(t::room_lighton_failed_isset),
         R"(<div class="roomLightOnFailedIsSet">Du kannst das Licht nicht anmachen, da es bereits an ist.</div>)"},
        {message(t::room_censorshipoff, alice()),
         R"(<div class="roomCensorshipOff">alice deaktiviert die Zensur-Funktion.</div>)"},
        {message(t::room_censorshipoff_failed_noright),
         R"(<div class="roomCensorshipOffFailedNoRight">Du besitzt keine Berechtigung, die Zensur-Funktion zu deaktivieren.</div>)"},
        {message(t::room_censorshipoff_failed_isset),
         R"(<div class="roomCensorshipOffFailedIsSet">Du kannst die Zensur-Funktion nicht deaktivieren, da sie bereits deaktiviert ist.</div>)"},
        {message(t::room_censorshipon, alice()),
         R"(<div class="roomCensorshipOn">alice aktiviert die Zensur-Funktion.</div>)"},
        {message(t::room_censorshipon_failed_noright),
         R"(<div class="roomCensorshipOnFailedNoRight">Du besitzt keine Berechtigung, die Zensur-Funktion zu aktivieren.</div>)"},
        // The class name lacks the symmetry of its sibling above.
        {message(t::room_censorshipon_failed_isset),
         R"(<div class="roomCensorshipOnFailedNoIsSet">Du kannst die Zensur-Funktion nicht aktivieren, da sie bereits aktiviert ist.</div>)"},
        {message(t::room_set_password, "geheim"),
         R"(<div class="roomSetPassword">Das Passwort f&uuml;r den Raum lautet nun: geheim</div>)"},
        {message(t::room_set_password_empty),
         R"(<div class="roomSetPasswordEmpty">Das Passwort f&uuml;r den Raum wurde gel&ouml;scht.</div>)"},
        {message(t::room_set_password_empty_failed_isset),
         R"(<div class="roomSetPasswordEmptyFailedIsSet">Das Passwort f&uuml;r den Raum kann nicht gel&ouml;scht werden, da kein Passwort festgelegt wurde.</div>)"},
        {message(t::room_set_password_failed_noright),
         R"(<div class="roomSetPasswordFailedNoRight">Du besitzt keine Berechtigung, das Passwort f&uuml;r den Raum zu &auml;ndern.</div>)"},
        {message(t::room_set_rank, alice(), "Moderator"),
         R"(<div class="roomSetRank">alice hat den Mindestrang, um den Raum betreten zu d&uuml;rfen, wie folgt festgesetzt: Moderator</div>)"},
        {message(t::room_set_rank_empty, alice()),
         R"(<div class="roomSetRankEmpty">alice l&ouml;scht den Mindestrang.</div>)"},
        {message(t::room_set_rank_empty_failed_isset),
         R"(<div class="roomSetRankEmptyFailedIsSet">Der Mindestrang f&uuml;r den Raum kann nicht gel&ouml;scht werden, da kein Mindestrang festgelegt ist.</div>)"},
        {message(t::room_set_rank_failed_noright),
         R"(<div class="roomSetRankFailedNoRight">Du besitzt keine Berechtigung, den Mindestrang zum Betreten des Raums zu &auml;ndern.</div>)"},
        {message(t::room_set_rank_failed_unknown, "Kaiser"),
         R"(<div class="roomSetRankFailedUnknown">Kaiser kann nicht als Mindestrang zum Betreten des Raums eingestellt werden, da es diesen Rang nicht gibt.</div>)"},
        {message(t::room_set_clan, alice(), "Rot"),
         R"(<div class="roomSetClan">alice weist den Raum dem Clan Rot zu.</div>)"},
        {message(t::room_set_clan_empty, alice(), "Rot"),
         R"(<div class="roomSetClanEmpty">alice hebt die Zuweisung des Raums zum Clan Rot auf.</div>)"},
        {message(t::room_set_clan_empty_failed_isset),
         R"(<div class="roomSetClanEmptyFailedIsSet">Die Zuweisung des Raums zu einem Clan kann nicht aufgehoben werden, da es keine Zuweisung gibt.</div>)"},
        {message(t::room_set_clan_failed_noright),
         R"(<div class="roomSetClanFailedNoRight">Du besitzt keine Berechtigung, den Raum einem Clan zuzuweisen.</div>)"},
        {message(t::room_set_clan_failed_unknown, "Gelb"),
         R"(<div class="roomSetClanFailedUnknown">Es existiert kein Clan Gelb, dem der Raum zugeordnet werden kann.</div>)"},
        {message(t::room_info, lobby_),
         R"(<div class="roomInfo">Raum&uuml;bersicht:<br>Lobby [2 User; Demokratie]<br>Thema: Eingangshalle<br>User: alice, bob</div>)"},
        {message(t::room_info_failed_noroom, "Keller"),
         R"(<div class="roomInfoFailedNoRoom">Es k&ouml;nnen keine Informationen zum Raum Keller abgerufen werden, da es diesen Raum nicht gibt.</div>)"},
        {message(t::room_info_failed_noright, lobby_),
         R"(<div class="roomInfoFailedNoRight">Du besitzt keine Berechtigung, Informationen zum Raum Lobby abzurufen.</div>)"},
        {message(t::rooms_info),
         R"(<div class="roomList">Chat&uuml;bersicht:<br>- Lobby [2 User; Demokratie; Thema: Eingangshalle]<br>- Garten [0 User; Demokratie]</div>)"},
        {message(t::room_go_syntax),
         R"(<div class="roomGoSyntax">Syntax zum Wechseln des Raums:<br>.go &lt;Raumname&gt;</div>)"},
        {message(t::room_go, alice()), R"(<div class="roomGo">alice wechselt in den Raum Lobby.</div>)"},
        {message(t::room_go_failed_locked, lobby_),
         R"(<div class="roomGoFailedLocked">Der Raumwechsel schlug fehl, da der Raum Lobby abgesperrt ist.</div>)"},
        {message(t::room_go_failed_noroom, "Keller"),
         R"(<div class="roomGoFailedNoRoom">Der Raumwechsel schlug fehl, da es den Raum Keller nicht gibt.</div>)"},
        {message(t::room_go_failed_inroom, alice()),
         R"(<div class="roomGoFailedInRoom">Du bist bereits im Raum Lobby.</div>)"},
        {message(t::room_go_failed_password, lobby_),
         R"(<div class="roomGoFailedPassword">Das Passwort ist falsch. Der Zugang zum Raum Lobby wird verweigert.</div>)"},
        {message(t::room_go_failed_rank, "Moderator"),
         R"(<div class="roomGoFailedRank">Der Raumwechsel schlug fehl, da du nicht den erforderlichen Mindestrang Moderator besitzt.</div>)"},
        {message(t::room_go_failed_clan, "Rot"),
         R"(<div class="roomGoFailedClan">Der Raumwechsel schlug fehl, da nur Mitglieder des Clans Rot den Raum betreten d&uuml;rfen.</div>)"},
        {message(t::room_goback_syntax),
         R"(<div class="roomGobackSyntax">Syntax zum Wechseln in den vorherigen Raum:<br>.goback</div>)"},
        {message(t::room_change, lobby_), R"(<div class="roomChange">Du befindest dich nun im Raum Lobby.</div>)"},
        {message(t::room_back, alice()),
         R"(<div class="roomBack">alice wechselt zur&uuml;ck in den Raum Lobby.</div>)"},
        {message(t::room_back_failed_no_prev_room),
         R"(<div class="roomBackFailedNoPrevRoom">Es gibt keinen Raum, in den du zur&uuml;ckwechseln kannst.</div>)"},
        {message(t::room_pw_please, lobby_),
         R"(<div class="roomPwPlease">Der Raum Lobby ist passwort-gesch&uuml;tzt. Bitte Passwort eingeben.</div>)"},
        {message(t::msg_is_kicked_admin, alice(), "bob"),
         R"(<div class="msgIsKickedAdmin">bob wird von alice aus dem Chat gekickt.</div>)"},
        {message(t::msg_is_kicked_decision, bob()),
         R"(<div class="msgIsKickedDecision">bob wird durch Mehrheitsbeschlu&szlig; aus dem Chat gekickt.</div>)"},
        {message(t::msg_got_alarm, alice()),
         R"(<div class="msgGotAlarm">Alarm! alice ben&ouml;tigt dringend Hilfe im Raum Lobby.</div>)"},
        {message(t::msg_spammer, bob()),
         R"(<div class="msgSpammer">bob ist ein Spammer und wird automatisch aus dem Chat gekickt.</div>)"},
        {message(t::msg_history, "<p>alt</p>"), R"(<div class="msgHistory"><p>alt</p></div>)"},
        {message(t::msg_history_failed_empty), R"(<div class="msgHistoryFailedEmpty">Die History ist leer.</div>)"},
        {message(t::msg_disconnected, bob()),
         R"(<div class="msgDisconnected">Die Verbindung zu bob wurde unterbrochen.</div>)"},
        {message(t::msg_censored, bob()),
         R"(<div class="msgCensored">bob hat ein zensiertes Wort verwendet und wird automatisch aus dem Chat gekickt.</div>)"},
        {message(t::msg_is_censored),
         R"(<div class="msgIsCensored">Du wirst aufgrund der Verwendung eines zensierten Wortes automatisch aus dem Chat gekickt.</div>)"},
        {message(t::msg_mode_syntax),
         R"(<div class="msgModeSyntax">Syntax zum Wechseln des Modes:<br>.newmode [ &lt;Mode&gt; ]</div>)"},
        {message(t::msg_mode_box, alice()),
         R"(<div class="msgModeBox"><form action=""><select onchange="on_mode_change(options[options.selectedIndex].value);"><option value="standard" selected="selected">Standard</option><option value="plain">Plain</option><option value="photo">Photo</option></select></form></div>)"},
        {message(t::msg_mode_changed, "Plain"), R"(<div class="msgModeChanged">Mode wurde auf Plain ge&auml;ndert.</div>)"},
        // The store knows no skins.
        {message(t::msg_skin_box, alice()),
         R"(<div class="msgSkinBox"><form action=""><select onchange="on_skin_change(options[options.selectedIndex].value);"></select></form></div>)"},
        {message(t::msg_skin_changed, "www.example.org/herbst.css"),
         R"(<link rel="stylesheet" type="text/css" href="http://www.example.org/herbst.css">)"},
        {message(t::msg_nickname_double, bob()),
         R"(<div class="msgNicknameDouble">Es ist bereits jemand unter dem Nickname bob eingeloggt. Gib einen neuen Nickname ein, um dich in den Chat einzuloggen.</div>)"},
        {message(t::msg_nickname_too_short),
         R"(<div class="msgNicknameTooShort">Der Nickname ist zu kurz. Gib einen neuen Nickname mit mindestens 3 Zeichen ein.</div>)"},
        {message(t::msg_nickname_too_long),
         R"(<div class="msgNicknameTooLong">Der Nickname ist zu lang. Gib einen neuen Nickname mit h&ouml;chstens 12 Zeichen ein.</div>)"},
        {message(t::msg_nickname_invalid, "#"),
         R"(<div class="msgNicknameInvalid">Der Nickname enth&auml;lt mindestens ein ung&uuml;ltiges Zeichen ('#'). Gib einen neuen Nickname ein, um dich einzuloggen.</div>)"},
        {message(t::msg_nickname_is_censored),
         R"(<div class="msgNicknameIsCensored">Der Nickname ist zensiert. Gib einen neuen Nickname ein, um dich einzuloggen.</div>)"},
        {message(t::msg_nickname_is_locked),
         R"(<div class="msgNicknameIsLocked">Der Nickname ist gesperrt. Gib einen neuen Nickname ein, um dich einzuloggen.</div>)"},
        {message(t::msg_ip_double),
         R"(<div class="msgIpDouble">Du bist bereits von diesem Computer aus im Chat eingeloggt. Es ist lediglich ein einziges Einloggen pro Computer erlaubt.</div>)"},
        {message(t::msg_ip_banned),
         R"(<div class="msgIpBanned">Der von dir benutzte Computer ist f&uuml;r den Chat gesperrt.</div>)"},
        {message(t::msg_no_unregistered),
         R"(<div class="msgNoUnregistered">Um diesen Chat zu betreten, musst du registriert sein. Gib einen registrierten Nickname ein, um dich einzuloggen.</div>)"},
        {message(t::msg_shutdown), R"(<div class="msgShutdown">Der Chat-Server wird heruntergefahren.</div>)"},
        {message(t::action_register, "bob"),
         R"(<div class="actionRegister">Der Nickname bob ist nun registriert. Beim n&auml;chsten Einloggen wird nach dem Passwort gefragt.</div>)"},
        {message(t::action_register_failed_taken, "bob"),
         R"(<div class="actionRegisterFailedTaken">Der Nickname bob ist bereits registriert.</div>)"},
        {message(t::action_register_failed, "Grund."),
         R"(<div class="actionRegisterFailed">Der Nickname kann nicht registriert werden: Grund.</div>)"},
    };
    expect_fragments(plain, cases, mode_standard::types_end);
}

TEST_F(plain_look, types_beyond_the_last_render_as_nothing) {
    EXPECT_EQ(plain.get(message()), "");
    for (int beyond : {static_cast<int>(mode_standard::types_end), 200, 255})
        EXPECT_EQ(plain.get(message(static_cast<mode_standard::types>(beyond), alice(), bob(), "x")), "")
            << beyond;
}

// `get` reaches a renderer that a derived look overrides.
TEST_F(plain_look, dispatch_uses_the_overriding_renderer) {
    struct loud : mode_standard {
        loud() : mode_standard("Loud") {}
        void get_pw_ok(std::string& result, const message&) const override { result = "OK!"; }
    } look;
    EXPECT_EQ(look.get(message(mode_standard::pw_ok)), "OK!");
    EXPECT_EQ(look.get(message(mode_standard::pw_wrong)), plain.get(message(mode_standard::pw_wrong)));
}

TEST_F(plain_look, durations_are_singular_only_for_one) {
    using t = mode_standard;
    const std::vector<std::pair<message, std::string>> cases = {
        {message(t::action_ban, bob(), 1), R"(<div class="actionBan">bob wird f&uuml;r 1 Minute gebannt.</div>)"},
        {message(t::action_ban, bob(), 2), R"(<div class="actionBan">bob wird f&uuml;r 2 Minuten gebannt.</div>)"},
        {message(t::action_ban, bob(), 0), R"(<div class="actionBan">bob wird f&uuml;r 0 Minuten gebannt.</div>)"},
        {message(t::action_ban, bob(), -5), R"(<div class="actionBan">bob wird f&uuml;r -5 Minuten gebannt.</div>)"},
        {message(t::action_banex, "carol", 1),
         R"(<div class="actionBanEx">carol wird f&uuml;r 1 Minute gebannt.</div>)"},
        {message(t::action_lock_nickname, bob(), 1),
         R"(<div class="actionLockNickname">Der Nickname bob wird f&uuml;r 1 Stunde gesperrt.</div>)"},
        {message(t::action_lock_nickname, bob(), 3),
         R"(<div class="actionLockNickname">Der Nickname bob wird f&uuml;r 3 Stunden gesperrt.</div>)"},
    };
    for (const auto& [m, expected] : cases) EXPECT_EQ(plain.get(m), expected) << m.number;
}

// A speaker whom the room is about to vote out is named in red.
TEST_F(plain_look, a_speaker_in_danger_is_named_in_red) {
    const message say(mode_standard::action_say, bob(), alice(), "Hallo");
    const message me(mode_standard::action_me, bob(), alice(), "winkt");
    EXPECT_FALSE(bob()->danger());
    alice()->mark(bob());  // 4 votes against a third of the room's weight 8
    ASSERT_TRUE(bob()->danger());
    EXPECT_EQ(plain.get(say),
              R"(<span class="internSay" style="color:#CC0000;">bob:</span> <span class="actionSay" style="color:#00FF00;">Hallo</span><br>)");
    EXPECT_EQ(plain.get(me),
              R"(<span class="internMe" style="color:#CC0000;">bob</span> <span class="actionMe">winkt</span><br>)");
    alice()->unmark(bob());
    EXPECT_EQ(plain.get(say),
              R"(<span class="internSay">bob:</span> <span class="actionSay" style="color:#00FF00;">Hallo</span><br>)");
}

// Bob sees pictures, alice sees links.
TEST_F(plain_look, picture_references_become_images_or_links_per_recipient) {
    const std::string image = R"(<img src="http://www.example.org/a.gif" alt="">)";
    const std::string link =
        R"(<a href="http://www.example.org/a.gif" target="_blank">www.example.org/a.gif (Bild)</a>)";
    const std::string blind_open = R"(<span class="actionSayBlind">)";
    const std::string blind_close = "</span><br>";
    struct anchoring {
        std::string text;
        std::string for_bob;
        std::string for_alice;
    };
    const std::vector<anchoring> cases = {
        {"see img:www.example.org/a.gif", "see " + image, "see " + link},
        {"see img:http://www.example.org/a.gif", "see " + image, "see " + link},
        {"img:www.example.org/a.gif!", R"(<img src="http://www.example.org/a.gif!" alt="">)",
         R"(<a href="http://www.example.org/a.gif!" target="_blank">www.example.org/a.gif! (Bild)</a>)"},
        {"seeimg:www.example.org/a.gif", "seeimg:www.example.org/a.gif", "seeimg:www.example.org/a.gif"},
        {"img:www.example.org/a.gif\timg:www.example.org/a.gif", image + "\t" + image, link + "\t" + link},
        {"no picture here", "no picture here", "no picture here"},
        {"img: alone", "img: alone", "img: alone"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(plain.get(message(mode_standard::action_say_blind, alice(), bob(), c.text)),
                  blind_open + c.for_bob + blind_close)
            << c.text;
        EXPECT_EQ(plain.get(message(mode_standard::action_say_blind, bob(), alice(), c.text)),
                  blind_open + c.for_alice + blind_close)
            << c.text;
    }
    // Every chat line anchors its text.
    EXPECT_EQ(plain.get(message(mode_standard::action_got_whisper, alice(), bob(), "img:www.example.org/a.gif")),
              R"(<span class="internGotWhisper">alice fl&uuml;stert:</span> <span class="actionGotWhisper" style="color:#FF0000;">)" +
                  image + "</span><br>");

    configure("all.links = 0\n");
    EXPECT_EQ(plain.get(message(mode_standard::action_say_blind, alice(), bob(), "see img:www.example.org/a.gif")),
              blind_open + "see img:www.example.org/a.gif" + blind_close);
}

TEST_F(plain_look, the_room_overview_shows_owner_form_and_members) {
    vorta::room salon("Salon", alice(), "", vorta::room::form::dictatorship);
    ASSERT_NE(salon.join(bob(), vorta::room::enter::go, ""), nullptr);
    EXPECT_EQ(plain.get(message(mode_standard::room_info, &salon)),
              R"(<div class="roomInfo">Raum&uuml;bersicht:<br>Salon [2 User; Diktatur]<br>Owner: alice<br>User: alice, bob</div>)");
    vorta::room wild("Wildnis", nullptr, "frei", vorta::room::form::anarchy);
    EXPECT_EQ(plain.get(message(mode_standard::room_info, &wild)),
              R"(<div class="roomInfo">Raum&uuml;bersicht:<br>Wildnis [0 User; Anarchie]<br>Thema: frei</div>)");
}

TEST_F(plain_look, the_mode_box_selects_the_current_look) {
    const std::string head =
        R"(<div class="msgModeBox"><form action=""><select onchange="on_mode_change(options[options.selectedIndex].value);">)";
    const std::string tail = "</select></form></div>";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"PLAIN",
         R"(<option value="standard">Standard</option><option value="plain" selected="selected">Plain</option><option value="photo">Photo</option>)"},
        {"photo",
         R"(<option value="standard">Standard</option><option value="plain">Plain</option><option value="photo" selected="selected">Photo</option>)"},
        {"standard",
         R"(<option value="standard" selected="selected">Standard</option><option value="plain">Plain</option><option value="photo">Photo</option>)"},
    };
    for (const auto& [look, options] : cases) {
        vorta::profile record = profile_of(1, "visitor");
        record.set_mode(look);
        alice_->load(record);
        EXPECT_EQ(plain.get(message(mode_standard::msg_mode_box, alice())), head + options + tail) << look;
    }
}

// The overview of a user: pictures by profile, connection details by rank,
// and the client's own values escaped.
class user_overview : public plain_look {
protected:
    // Carol, looked at, with hostile client values.
    std::unique_ptr<peer> carol(const std::string& referer) {
        auto session = std::make_unique<peer>(
            "10.0.0.3", login_details{"carol", "Lobby", "<script>alert(1)</script>", referer});
        EXPECT_TRUE(session->in_room());
        vorta::profile record = profile_of(3, "visitor");
        record.set_photo("www.example.org/carol.jpg");
        session->load(record);
        return session;
    }

    void rank(peer& session, long id, const std::string& name) const {
        session.load(profile_of(id, name));
    }

    const std::string head =
        R"(<div class="actionUser"><img src="http://www.example.org/carol.jpg" alt="carol" width="40" height="60" class="photoUser" border="0"> User&uuml;bersicht:<br>carol [Raum: Lobby; Rang: Visitor; Status: -])";
    const std::string connection =
        R"(<br>IP: 10.0.0.3; User-Agent: &lt;script&gt;alert(1)&lt;/script&gt;<br>Referer: )";
};

TEST_F(user_overview, connection_details_need_the_right_and_a_higher_rank) {
    auto looked_at = carol(R"(http://www.example.org/a"b.html)");
    const message m(mode_standard::action_user, looked_at->session(), bob());
    const std::string details =
        connection +
        R"(<a href="http://www.example.org/a&quot;b.html" target="_blank">http://www.example.org/a&quot;b.html</a>)";

    EXPECT_EQ(plain.get(m), head + "</div>");  // visitor: no right
    rank(*bob_, 2, "guard");
    EXPECT_EQ(plain.get(m), head + "</div>");  // the right, but the same level
    rank(*bob_, 2, "mod");
    EXPECT_EQ(plain.get(m), head + details + "</div>");
}

TEST_F(user_overview, a_user_looking_at_himself_needs_only_the_right) {
    auto self = carol("file:///C:/chat.html");
    const message m(mode_standard::action_user_this, self->session());
    const std::string this_head =
        R"(<div class="actionUser"><img src="http://www.example.org/carol.jpg" alt="carol" width="40" height="60" class="photoUser" border="0"> User&uuml;bersicht:<br>carol [Raum: Lobby; Rang: Visitor; Status: -; Skin: ])";
    EXPECT_EQ(plain.get(m), this_head + "</div>");
    rank(*self, 3, "guard");
    EXPECT_EQ(plain.get(m),
              R"(<div class="actionUser"><img src="http://www.example.org/nophoto.gif" alt="carol" width="40" height="60" class="photoUser" border="0"> User&uuml;bersicht:<br>carol [Raum: Lobby; Rang: Wache; Status: -; Skin: ])" +
                  connection + "file:///C:/chat.html (local file)</div>");
}

TEST_F(user_overview, referers_of_other_schemes_are_unknown) {
    for (const std::string referer : {"https://www.example.org/chat.html", "", "ftp://x"}) {
        auto self = carol(referer);
        rank(*self, 3, "guard");
        EXPECT_EQ(plain.get(message(mode_standard::action_user_this, self->session())),
                  R"(<div class="actionUser"><img src="http://www.example.org/nophoto.gif" alt="carol" width="40" height="60" class="photoUser" border="0"> User&uuml;bersicht:<br>carol [Raum: Lobby; Rang: Wache; Status: -; Skin: ])" +
                      connection + "unknown</div>")
            << referer;
    }
}

TEST_F(user_overview, banner_and_homepage_each_alone) {
    configure("photo.html =\nbanner.html = style=\"b\"\n");
    vorta::profile record = profile_of(2, "visitor");
    record.set_photo("www.example.org/bob.jpg");
    record.set_banner("www.example.org/b.gif");
    bob_->load(record);
    const message m(mode_standard::action_user, bob(), alice());
    const std::string bob_head =
        R"(<div class="actionUser"><img src="http://www.example.org/bob.jpg" alt="bob" width="40" height="60" class="photoUser"> User&uuml;bersicht:<br>bob [Raum: Lobby; Rang: Visitor; Status: -])";
    EXPECT_EQ(plain.get(m),
              bob_head +
                  R"(<br><img src="http://www.example.org/b.gif" alt="" width="468" height="60" class="photoUserBanner" style="b"></div>)");

    record.set_banner("");
    record.set_homepage("www.bob.example");
    bob_->load(record);
    EXPECT_EQ(plain.get(m),
              bob_head + R"(<br><a href="http://www.bob.example" target="_blank">www.bob.example (Homepage)</a></div>)");
}

TEST_F(plain_look, the_block_list_names_the_blocked_users_online) {
    const message m(mode_standard::action_block_list, alice());
    EXPECT_EQ(plain.get(m), R"(<div class="actionBlockList">Momentan ist kein User im Chat geblockt.</div>)");

    peer carol("10.0.0.3", login_details{"carol", "Lobby"});
    carol.load(profile_of(3, "visitor"));
    vorta::profile record = profile_of(1, "visitor");
    record.set_blocked({3, 2, 99});
    alice_->load(record);
    EXPECT_EQ(plain.get(m), R"(<div class="actionBlockList">Momentan im Chat geblockte User:<br>bob, carol</div>)");
}

// Sessions that have not logged in yet belong to no room and are not listed.
TEST_F(plain_look, the_user_overview_lists_users_in_rooms_in_the_managers_order) {
    peer waiting("10.0.0.4");
    peer carol("10.0.0.3", login_details{"carol", "Garten"});
    ASSERT_TRUE(carol.in_room());
    EXPECT_EQ(plain.get(message(mode_standard::action_users)),
              R"(<div class="actionUsers">Chat&uuml;bersicht:<br>- alice [Raum: Lobby; Rang: Visitor; Status: -; Clan: Rot]<br>- bob [Raum: Lobby; Rang: Visitor; Status: -]<br>- carol [Raum: Garten; Rang: Visitor; Status: -]</div>)");
    EXPECT_EQ(plain.get(message(mode_standard::rooms_info)),
              R"(<div class="roomList">Chat&uuml;bersicht:<br>- Lobby [2 User; Demokratie; Thema: Eingangshalle]<br>- Garten [1 User; Demokratie]</div>)");
}

// Without sessions of the fixture.
class empty_chat : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test_support::chat_world(); }
    mode_standard plain{"Plain"};
};

TEST_F(empty_chat, the_user_overview_is_empty_without_users_and_counts_none_without_rooms) {
    EXPECT_EQ(plain.get(message(mode_standard::action_users)), "");
    peer waiting("10.0.0.4");
    EXPECT_EQ(plain.get(message(mode_standard::action_users)),
              R"(<div class="actionUsers">Chat&uuml;bersicht:<br>0 User</div>)");
}

}  // namespace
