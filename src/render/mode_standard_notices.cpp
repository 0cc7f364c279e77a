#include <string>

#include "render/fragment.hpp"
#include "render/message.hpp"
#include "render/mode_standard.hpp"

// The notices of the plain look: constant fragments, and fragments that put
// the message's text, nicknames or room names between literal pieces.

namespace vorta {

using namespace fragment;

// ---- Fixed notices: the type carries nothing and the fragment is constant.

#define VORTA_FIXED(type, html) \
    void mode_standard::get_##type(std::string& result, const message&) const { result.assign(piece(html)); }

VORTA_FIXED(pw_please,
    R"(<div class="pwPlease">Der Nickname ist registriert. Bitte Passwort eingeben.</div>)")
VORTA_FIXED(pw_wrong,
    R"(<div class="pwWrong">Das Passwort ist falsch. Bitte erneut eingeben.</div>)")
VORTA_FIXED(pw_access_denied,
    R"(<div class="pwAccessDenied">Das Passwort ist falsch. Der Zugang zum Chat wird verweigert.</div>)")
VORTA_FIXED(pw_ok,
    R"(<div class="pwOk">Passwort ok, eingeloggt!</div>)")
VORTA_FIXED(action_whisper_syntax,
    R"(<div class="actionWhisperSyntax">Syntax zum Fl&uuml;stern mit einem User:<br>.whisper &lt;Nickname&gt; &lt;Text&gt;</div>)")
VORTA_FIXED(action_invite_syntax,
    R"(<div class="actionInviteSyntax">Syntax zum Einladen eines Users:<br>.invite &lt;Nickname&gt;</div>)")
VORTA_FIXED(action_invite_ok_syntax,
    R"(<div class="actionInviteOkSyntax">Syntax zum Annehmen einer Einladung:<br>.goinvited</div>)")
VORTA_FIXED(action_alarm,
    R"(<div class="actionAlarm">Du hast stillen Alarm ausgel&ouml;st. Im Chat anwesende kickberechtigte User haben deinen Hilferuf erhalten.</div>)")
VORTA_FIXED(action_alarm_failed_noright,
    R"(<div class="actionAlarmFailedNoRight">Du besitzt keine Berechtigung, Alarm auszul&ouml;sen.</div>)")
VORTA_FIXED(action_alarm_failed_isset,
    R"(<div class="actionAlarmFailedIsSet">Alarm darf nur im Notfall ausgel&ouml;st werden. Um einen andauernden Alarmzustand zu vermeiden, kann der Alarm pro Chat-Session nur einmal von einem User aktiviert werden.</div>)")
VORTA_FIXED(action_alarm_ok_syntax,
    R"(<div class="actionAlarmOkSyntax">Syntax zum Annehmen eines Alarms:<br>.goalarm</div>)")
VORTA_FIXED(action_ban_syntax,
    R"(<div class="actionBanSyntax">Syntax zum Bannen eines Users:<br>.ban &lt;Nickname&gt; [ &lt;Zeit in Minuten&gt; ]</div>)")
VORTA_FIXED(action_lock_nickname_syntax,
    R"(<div class="actionLockNicknameSyntax">Syntax zum Sperren eines Nicknames:<br>.locknickname &lt;Nickname&gt; [ &lt;Zeit in Stunden&gt; ]</div>)")
VORTA_FIXED(action_banex_syntax,
    R"(<div class="actionBanExSyntax">Syntax zum Bannen eines ausgeloggten Users:<br>.banex &lt;Nickname&gt; [ &lt;Zeit in Minuten&gt; ]</div>)")
VORTA_FIXED(action_kick_syntax,
    R"(<div class="actionKickSyntax">Syntax zum Kicken eines Users:<br>.kick &lt;Nickname&gt;</div>)")
VORTA_FIXED(action_mark_syntax,
    R"(<div class="actionMarkSyntax">Syntax zum Markieren eines Users:<br>.mark &lt;Nickname&gt;</div>)")
VORTA_FIXED(action_me_syntax,
    R"(<div class="actionMeSyntax">Syntax zum Ausf&uuml;hren einer Aktion:<br>.me &lt;Aktion&gt;</div>)")
VORTA_FIXED(action_ok_syntax,
    R"(<div class="actionOkSyntax">Syntax zum Freigeben von Textmeldungen:<br>.ok &lt;Nummer&gt;</div>)")
VORTA_FIXED(action_unmark_syntax,
    R"(<div class="actionUnmarkSyntax">Syntax zum Demarkieren eines Users:<br>.unmark &lt;Nickname&gt;</div>)")
VORTA_FIXED(action_make_admin_syntax,
    R"(<div class="actionMakeAdminSyntax">Syntax zum Ernennen eines Users zum Admin:<br>.makeadmin &lt;Nickname&gt;</div>)")
VORTA_FIXED(action_unmake_admin_syntax,
    R"(<div class="actionUnmakeAdminSyntax">Syntax zum Degradieren eines Admins zum User:<br>.unmakeadmin &lt;Nickname&gt;</div>)")
VORTA_FIXED(action_unmake_admin_failed_noright,
    R"(<div class="actionUnmakeAdminFailedNoRight">Du besitzt keine Berechtigung, Admins zu degradieren.</div>)")
VORTA_FIXED(action_set_subject_empty_failed_isset,
    R"(<div class="actionSetSubjectEmptyFailedIsSet">Das Thema des Raums kann nicht gel&ouml;scht werden, da kein Thema festgelegt ist.</div>)")
VORTA_FIXED(action_set_subject_failed_noright,
    R"(<div class="actionSetSubjectFailedNoRight">Du besitzt keine Berechtigung, das Thema des Raums zu &auml;ndern.</div>)")
VORTA_FIXED(action_block_syntax,
    R"(<div class="actionBlockSyntax">Syntax zum Blocken eines Users:<br>.block &lt;Nickname&gt;</div>)")
VORTA_FIXED(action_unblock_syntax,
    R"(<div class="actionUnblockSyntax">Syntax zum Aufheben der Blockierung eines Users:<br>.unblock &lt;Nickname&gt;</div>)")
VORTA_FIXED(action_morph_syntax,
    R"(<div class="actionMorphSyntax">Syntax zum Morphen:<br>.morph &lt;Nickname&gt;</div>)")
VORTA_FIXED(action_moderate_failed_no_right,
    R"(<div class="actionModerateFailedNoRight">Du besitzt keine Berechtigung, um diesen Raum zu moderieren.</div>)")
VORTA_FIXED(action_new_skin_syntax,
    R"(<div class="actionNewSkinSyntax">Syntax zum Wechseln des Skins:<br>.newskin &lt;Skin&gt;</div>)")
VORTA_FIXED(action_kill_syntax,
    R"(<div class="actionKillSyntax">Syntax zum Killen eines Users:<br>.kill &lt;User&gt;</div>)")
VORTA_FIXED(action_kill_failed_noright,
    R"(<div class="actionKillFailedNoRight">Du besitzt keine Berechtigung zum Killen.</div>)")
VORTA_FIXED(room_new_syntax,
    R"(<div class="roomNewSyntax">Syntax zum Erstellen eines neuen Raums:<br>.newroom &lt;Raumname&gt;</div>)")
VORTA_FIXED(room_lock_failed_noright,
    R"(<div class="roomLockFailedNoRight">Du kannst den Raum nicht absperren, da du nicht die erforderlichen Rechte besitzt.</div>)")
VORTA_FIXED(room_lock_failed_isset,
    R"(<div class="roomLockFailedIsSet">Der Raum ist bereits abgesperrt.</div>)")
VORTA_FIXED(room_open_failed_noright,
    R"(<div class="roomOpenFailedNoRight">Du kannst den Raum nicht &ouml;ffnen, da du nicht die erforderlichen Rechte besitzt.</div>)")
VORTA_FIXED(room_open_failed_isset,
    R"(<div class="roomOpenFailedIsSet">Der Raum ist bereits ge&ouml;ffnet.</div>)")
VORTA_FIXED(room_hide_failed_noright,
    R"(<div class="roomHideFailedNoRight">Du kannst den Raum nicht verstecken, da du nicht die erforderlichen Rechte besitzt.</div>)")
VORTA_FIXED(room_hide_failed_isset,
    R"(<div class="roomHideFailedIsSet">Der Raum ist bereits versteckt.</div>)")
VORTA_FIXED(room_show_failed_noright,
    R"(<div class="roomShowFailedNoRight">Du kannst den Raum nicht sichtbar machen, da du nicht die erforderlichen Rechte besitzt.</div>)")
VORTA_FIXED(room_show_failed_isset,
    R"(<div class="roomShowFailedIsSet">Der Raum ist bereits sichtbar.</div>)")
VORTA_FIXED(room_moderate_failed_noright,
    R"(<div class="roomModerateFailedNoRight">Du besitzt nicht die erforderliche Berechtigung, um die Moderator-Funktion f&uuml;r diesen Raum zu starten.</div>)")
VORTA_FIXED(room_moderate_failed_isset,
    R"(<div class="roomModerateFailedIsSet">Die Moderator-Funktion ist bereits aktiviert.</div>)")
VORTA_FIXED(room_unmoderate_failed_noright,
    R"(<div class="roomUnmoderateFailedNoRight">Du besitzt nicht die erforderliche Berechtigung, um die Moderator-Funktion f&uuml;r diesen Raum zu beenden.</div>)")
VORTA_FIXED(room_unmoderate_failed_isset,
    R"(<div class="roomUnmoderateFailedIsSet">Du kannst die Moderator-Funktion nicht abschalten, da sie nicht aktiviert ist.</div>)")
VORTA_FIXED(room_lightoff_failed_noright,
    R"(<div class="roomLightOffFailedNoRight">Du besitzt keine Berechtigung, das Licht auszumachen.</div>)")
VORTA_FIXED(room_lightoff_failed_isset,
    R"(<div class="roomLightOffFailedIsSet">Du kannst das Licht nicht ausmachen, da es bereits aus ist.</div>)")
VORTA_FIXED(room_lighton_failed_noright,
    R"(<div class="roomLightOnFailedNoRight">Du besitzt keine Berechtigung, das Licht anzumachen.</div>)")
VORTA_FIXED(room_lighton_failed_isset,
    R"(<div class="roomLightOnFailedIsSet">Du kannst das Licht nicht anmachen, da es bereits an ist.</div>)")
VORTA_FIXED(room_censorshipoff_failed_noright,
    R"(<div class="roomCensorshipOffFailedNoRight">Du besitzt keine Berechtigung, die Zensur-Funktion zu deaktivieren.</div>)")
VORTA_FIXED(room_censorshipoff_failed_isset,
    R"(<div class="roomCensorshipOffFailedIsSet">Du kannst die Zensur-Funktion nicht deaktivieren, da sie bereits deaktiviert ist.</div>)")
VORTA_FIXED(room_censorshipon_failed_noright,
    R"(<div class="roomCensorshipOnFailedNoRight">Du besitzt keine Berechtigung, die Zensur-Funktion zu aktivieren.</div>)")
VORTA_FIXED(room_censorshipon_failed_isset,
    R"(<div class="roomCensorshipOnFailedNoIsSet">Du kannst die Zensur-Funktion nicht aktivieren, da sie bereits aktiviert ist.</div>)")
VORTA_FIXED(room_set_password_empty,
    R"(<div class="roomSetPasswordEmpty">Das Passwort f&uuml;r den Raum wurde gel&ouml;scht.</div>)")
VORTA_FIXED(room_set_password_empty_failed_isset,
    R"(<div class="roomSetPasswordEmptyFailedIsSet">Das Passwort f&uuml;r den Raum kann nicht gel&ouml;scht werden, da kein Passwort festgelegt wurde.</div>)")
VORTA_FIXED(room_set_password_failed_noright,
    R"(<div class="roomSetPasswordFailedNoRight">Du besitzt keine Berechtigung, das Passwort f&uuml;r den Raum zu &auml;ndern.</div>)")
VORTA_FIXED(room_set_rank_empty_failed_isset,
    R"(<div class="roomSetRankEmptyFailedIsSet">Der Mindestrang f&uuml;r den Raum kann nicht gel&ouml;scht werden, da kein Mindestrang festgelegt ist.</div>)")
VORTA_FIXED(room_set_rank_failed_noright,
    R"(<div class="roomSetRankFailedNoRight">Du besitzt keine Berechtigung, den Mindestrang zum Betreten des Raums zu &auml;ndern.</div>)")
VORTA_FIXED(room_set_clan_empty_failed_isset,
    R"(<div class="roomSetClanEmptyFailedIsSet">Die Zuweisung des Raums zu einem Clan kann nicht aufgehoben werden, da es keine Zuweisung gibt.</div>)")
VORTA_FIXED(room_set_clan_failed_noright,
    R"(<div class="roomSetClanFailedNoRight">Du besitzt keine Berechtigung, den Raum einem Clan zuzuweisen.</div>)")
VORTA_FIXED(room_go_syntax,
    R"(<div class="roomGoSyntax">Syntax zum Wechseln des Raums:<br>.go &lt;Raumname&gt;</div>)")
VORTA_FIXED(room_goback_syntax,
    R"(<div class="roomGobackSyntax">Syntax zum Wechseln in den vorherigen Raum:<br>.goback</div>)")
VORTA_FIXED(room_back_failed_no_prev_room,
    R"(<div class="roomBackFailedNoPrevRoom">Es gibt keinen Raum, in den du zur&uuml;ckwechseln kannst.</div>)")
VORTA_FIXED(msg_history_failed_empty,
    R"(<div class="msgHistoryFailedEmpty">Die History ist leer.</div>)")
VORTA_FIXED(msg_is_censored,
    R"(<div class="msgIsCensored">Du wirst aufgrund der Verwendung eines zensierten Wortes automatisch aus dem Chat gekickt.</div>)")
VORTA_FIXED(msg_mode_syntax,
    R"(<div class="msgModeSyntax">Syntax zum Wechseln des Modes:<br>.newmode [ &lt;Mode&gt; ]</div>)")
VORTA_FIXED(msg_nickname_is_censored,
    R"(<div class="msgNicknameIsCensored">Der Nickname ist zensiert. Gib einen neuen Nickname ein, um dich einzuloggen.</div>)")
VORTA_FIXED(msg_nickname_is_locked,
    R"(<div class="msgNicknameIsLocked">Der Nickname ist gesperrt. Gib einen neuen Nickname ein, um dich einzuloggen.</div>)")
VORTA_FIXED(msg_ip_double,
    R"(<div class="msgIpDouble">Du bist bereits von diesem Computer aus im Chat eingeloggt. Es ist lediglich ein einziges Einloggen pro Computer erlaubt.</div>)")
VORTA_FIXED(msg_ip_banned,
    R"(<div class="msgIpBanned">Der von dir benutzte Computer ist f&uuml;r den Chat gesperrt.</div>)")
VORTA_FIXED(msg_no_unregistered,
    R"(<div class="msgNoUnregistered">Um diesen Chat zu betreten, musst du registriert sein. Gib einen registrierten Nickname ein, um dich einzuloggen.</div>)")
VORTA_FIXED(msg_shutdown,
    R"(<div class="msgShutdown">Der Chat-Server wird heruntergefahren.</div>)")

#undef VORTA_FIXED

// ---- Notices with values, in the order of their type values. Each names the
// literal pieces around its values; the macro's name says which values go
// between them.

// before + [text] + after
#define VORTA_WITH_TEXT(type, before, after) \
    void mode_standard::get_##type(std::string& result, const message& m) const { \
        compose(result, {before, m.text, after}); \
    }
// before + [text] + middle + [text] + after
#define VORTA_WITH_TEXT_TWICE(type, before, middle, after) \
    void mode_standard::get_##type(std::string& result, const message& m) const { \
        compose(result, {before, m.text, middle, m.text, after}); \
    }
// before + [first nickname] + after
#define VORTA_WITH_FIRST(type, before, after) \
    void mode_standard::get_##type(std::string& result, const message& m) const { \
        compose(result, {before, nickname(m.first_user), after}); \
    }
// before + [first nickname] + middle + [first nickname] + after
#define VORTA_WITH_FIRST_TWICE(type, before, middle, after) \
    void mode_standard::get_##type(std::string& result, const message& m) const { \
        compose(result, {before, nickname(m.first_user), middle, nickname(m.first_user), after}); \
    }
// before + [first nickname] + middle + [text] + after
#define VORTA_WITH_FIRST_AND_TEXT(type, before, middle, after) \
    void mode_standard::get_##type(std::string& result, const message& m) const { \
        compose(result, {before, nickname(m.first_user), middle, m.text, after}); \
    }
// before + [text] + middle + [first nickname] + after
#define VORTA_WITH_TEXT_AND_FIRST(type, before, middle, after) \
    void mode_standard::get_##type(std::string& result, const message& m) const { \
        compose(result, {before, m.text, middle, nickname(m.first_user), after}); \
    }
// before + [first nickname] + middle + [second nickname] + after
#define VORTA_WITH_FIRST_AND_SECOND(type, before, middle, after) \
    void mode_standard::get_##type(std::string& result, const message& m) const { \
        compose(result, {before, nickname(m.first_user), middle, nickname(m.second_user), after}); \
    }
// before + [first nickname] + middle + [first user's room] + after
#define VORTA_WITH_FIRST_AND_ROOM(type, before, middle, after) \
    void mode_standard::get_##type(std::string& result, const message& m) const { \
        compose(result, {before, nickname(m.first_user), middle, room_of(m.first_user), after}); \
    }
// before + [first user's room] + after
#define VORTA_WITH_FIRSTS_ROOM(type, before, after) \
    void mode_standard::get_##type(std::string& result, const message& m) const { \
        compose(result, {before, room_of(m.first_user), after}); \
    }
// before + [room name] + after
#define VORTA_WITH_ROOM(type, before, after) \
    void mode_standard::get_##type(std::string& result, const message& m) const { \
        compose(result, {before, name_of(m.room), after}); \
    }

VORTA_WITH_TEXT_TWICE(action_whisper_failed_nouser,
    R"(<div class="actionWhisperFailedNoUser">Fl&uuml;stern mit )",
    " nicht m&ouml;glich, da niemand namens ",
    " im Chat ist.</div>")
VORTA_WITH_TEXT(action_user_failed_nouser,
    R"(<div class="actionUserFailedNoUser">Es ist momentan niemand namens )",
    " im Chat eingeloggt.</div>")
VORTA_WITH_FIRST(action_invite,
    R"(<div class="actionInvite">Du hast )",
    " eingeladen, in deinen Raum zu wechseln.</div>")
VORTA_WITH_TEXT(action_invite_failed_nouser,
    R"(<div class="actionInviteFailedNoUser">Der User )",
    ", den du einladen wolltest, ist momentan nicht im Chat.</div>")
VORTA_WITH_FIRST(action_invite_failed_inroom,
    R"(<div class="actionInviteFailedInRoom">Du kannst den User )",
    " nicht einladen, da er schon in deinem Raum ist.</div>")
VORTA_WITH_FIRST(action_invite_ok,
    R"(<div class="actionInviteOk">)",
    " nimmt eine Einladung an und wechselt den Raum.</div>")
VORTA_WITH_FIRST_AND_ROOM(action_got_invited,
    R"(<div class="actionGotInvited">Du hast von )",
    " eine Einladung erhalten, in den Raum ",
    " zu wechseln.</div>")
VORTA_WITH_FIRST(action_alarm_ok,
    R"(<div class="actionAlarmOk">)",
    " wird zu einem Alarm gerufen und wechselt den Raum.</div>")
VORTA_WITH_TEXT_TWICE(action_ban_failed_nouser,
    R"(<div class="actionBanFailedNoUser">)",
    " kann nicht gebannt werden, da niemand namens ",
    " im Chat ist.</div>")
VORTA_WITH_TEXT(action_ban_failed_noright,
    R"(<div class="actionBanFailedNoRight">Du besitzt keine Berechtigung, )",
    " zu bannen.</div>")
VORTA_WITH_TEXT_TWICE(action_banex_failed_nouser,
    R"(<div class="actionBanExFailedNoUser">)",
    " kann nicht gebannt werden, da sich bisher niemand namens ",
    " ausgeloggt hat oder Daten zu diesem User nicht mehr gespeichert sind.</div>")
VORTA_WITH_TEXT_TWICE(action_lock_nickname_failed_nouser,
    R"(<div class="actionLockNicknameFailedNoUser">Der Nickname )",
    " kann nicht gesperrt werden, da niemand namens ",
    " im Chat ist.</div>")
VORTA_WITH_TEXT(action_lock_nickname_failed_noright,
    R"(<div class="actionLockNicknameFailedNoRight">Du besitzt keine Berechtigung, den Nickname )",
    " zu sperren.</div>")
VORTA_WITH_FIRST(action_kick,
    R"(<div class="actionKick">)",
    " wird aus dem Chat gekickt.</div>")
VORTA_WITH_TEXT_TWICE(action_kick_failed_nouser,
    R"(<div class="actionKickFailedNoUser">)",
    " kann nicht gekickt werden, da niemand namens ",
    " im Raum ist.</div>")
VORTA_WITH_FIRST(action_kick_failed_noright,
    R"(<div class="actionKickFailedNoRight">Du besitzt keine Berechtigung, )",
    " zu kicken.</div>")
VORTA_WITH_FIRST(action_mark,
    R"(<div class="actionMark">Du hast )",
    " zum Kicken markiert.</div>")
VORTA_WITH_TEXT(action_mark_failed_nouser,
    R"(<div class="actionMarkFailedNoUser">Es ist momentan niemand namens )",
    " in diesem Raum.</div>")
VORTA_WITH_FIRST(action_mark_failed_isset,
    R"(<div class="actionMarkFailedIsSet">Du hast )",
    " bereits zum Kicken markiert.</div>")
VORTA_WITH_FIRST(action_mark_failed_noright,
    R"(<div class="actionMarkFailedNoRight">Du besitzt keine Berechtigung, )",
    " zum Kicken zu markieren.</div>")
VORTA_WITH_FIRST(action_unmark,
    R"(<div class="actionUnmark">Du hast )",
    " demarkiert.</div>")
VORTA_WITH_TEXT(action_unmark_failed_nouser,
    R"(<div class="actionUnmarkFailedNoUser">Es ist momentan niemand namens )",
    " im Chat.</div>")
VORTA_WITH_FIRST(action_unmark_failed_isset,
    R"(<div class="actionUnmarkFailedIsSet">Der User )",
    " kann nicht demarkiert werden, da er nicht markiert ist.</div>")
VORTA_WITH_FIRST_AND_SECOND(action_make_admin,
    R"(<div class="actionMakeAdmin">)",
    " ernennt ",
    " zum Admin.</div>")
VORTA_WITH_TEXT_TWICE(action_make_admin_failed_nouser,
    R"(<div class="actionMakeAdminFailedNoUser">)",
    " kann nicht zum Admin ernannt werden, da niemand namens ",
    " im Raum ist.</div>")
VORTA_WITH_TEXT(action_make_admin_failed_noright,
    R"(<div class="actionMakeAdminFailedNoRight">Du kannst )",
    " nicht zum Admin ernennen, weil du nicht die erforderlichen Rechte besitzt.</div>")
VORTA_WITH_FIRST(action_make_admin_failed_isset,
    R"(<div class="actionMakeAdminFailedIsSet">)",
    " ist bereits Admin in diesem Raum.</div>")
VORTA_WITH_FIRST(action_make_admin_failed_owner,
    R"(<div class="actionMakeAdminFailedOwner">)",
    " ist Owner in diesem Raum.</div>")
VORTA_WITH_FIRST_AND_SECOND(action_unmake_admin,
    R"(<div class="actionUnmakeAdmin">)",
    " degradiert ",
    " vom Admin zum User.</div>")
VORTA_WITH_FIRST(action_unmake_admin_failed_isset,
    R"(<div class="actionUnmakeAdminFailedIsSet">)",
    " ist kein Admin in diesem Raum.</div>")
VORTA_WITH_TEXT_TWICE(action_unmake_admin_failed_nouser,
    R"(<div class="actionUnmakeAdminFailedNoUser">)",
    " kann nicht zum User degradiert werden, da niemand namens ",
    " im Chat ist.</div>")
VORTA_WITH_FIRST_AND_TEXT(action_set_subject,
    R"(<div class="actionSetSubject">)",
    " &auml;ndert das Thema des Raums auf: ",
    "</div>")
VORTA_WITH_FIRST(action_set_subject_empty,
    R"(<div class="actionSetSubjectEmpty">)",
    " l&ouml;scht das Thema des Raums.</div>")
VORTA_WITH_FIRST(action_block,
    R"(<div class="actionBlock">)",
    " wird ab sofort geblockt.</div>")
VORTA_WITH_TEXT_TWICE(action_block_failed_nouser,
    R"(<div class="actionBlockFailedNoUser">)",
    " kann nicht geblockt werden, da niemand namens ",
    " im Chat ist.</div>")
VORTA_WITH_FIRST(action_block_failed_isset,
    R"(<div class="actionBlockFailedIsSet">)",
    " wird bereits geblockt.</div>")
VORTA_WITH_FIRST(action_unblock,
    R"(<div class="actionUnblock">Die Blockierung von )",
    " wird aufgehoben.</div>")
VORTA_WITH_TEXT_TWICE(action_unblock_failed_nouser,
    R"(<div class="actionUnblockFailedNoUser">Die Blockierung von )",
    " kann nicht aufgehoben werden, da niemand namens ",
    " im Chat ist.</div>")
VORTA_WITH_FIRST_TWICE(action_unblock_failed_isset,
    R"(<div class="actionUnblockFailedIsSet">Die Blockierung von )",
    " kann nicht aufgehoben werden, da ",
    " nicht geblockt wird.</div>")
VORTA_WITH_FIRST_AND_TEXT(action_morph,
    R"(<div class="actionMorph">)",
    " morpht sich zu ",
    ".</div>")
VORTA_WITH_TEXT_TWICE(action_morph_failed_online,
    R"(<div class="actionMorphFailedOnline">Du kannst dich nicht zu )",
    " morphen, da ",
    " momentan im Chat ist.</div>")
VORTA_WITH_TEXT_TWICE(action_morph_failed_not_registered,
    R"(<div class="actionMorphFailedNotRegistered">Du kannst dich nicht zu )",
    " morphen, da der Nickname ",
    " nicht registriert ist.</div>")
VORTA_WITH_TEXT(action_register,
    R"(<div class="actionRegister">Der Nickname )",
    " ist nun registriert. Beim n&auml;chsten Einloggen wird nach dem Passwort gefragt.</div>")
VORTA_WITH_TEXT(action_register_failed_taken,
    R"(<div class="actionRegisterFailedTaken">Der Nickname )", " ist bereits registriert.</div>")
VORTA_WITH_TEXT(action_register_failed,
    R"(<div class="actionRegisterFailed">Der Nickname kann nicht registriert werden: )", "</div>")
VORTA_WITH_TEXT(action_morph_failed_password,
    R"(<div class="actionMorphFailedPassword">Das Passwort ist falsch. Morphen zu )",
    " wird verweigert.</div>")
VORTA_WITH_TEXT(action_morph_pw_please,
    R"(<div class="actionMorphPwPlease">Gib bitte das Passwort f&uuml;r )",
    " ein, um dich zu morphen.</div>")
VORTA_WITH_FIRST(action_morph_ok,
    R"(<div class="actionMorphOk">Du hast dich zu )",
    " gemorpht.</div>")
VORTA_WITH_FIRST(action_kill,
    R"(<div class="actionKill">)",
    " wurde gekillt.</div>")
VORTA_WITH_TEXT_TWICE(action_kill_failed_nouser,
    R"(<div class="actionKillFailedNoUser">)",
    " kann nicht gekillt werden, da niemand namens ",
    " im Chat ist.</div>")
VORTA_WITH_FIRST(action_enter,
    R"(<div class="actionEnter">)",
    " betritt den Chat.</div>")
VORTA_WITH_FIRST(action_quit,
    R"(<div class="actionQuit">)",
    " verl&auml;sst den Chat.</div>")
VORTA_WITH_FIRST(room_hello,
    R"(<div class="roomHello">)",
    " betritt den Raum.</div>")
VORTA_WITH_FIRST_AND_ROOM(room_new,
    R"(<div class="roomNew">)",
    " erstellt den Raum ",
    " und wechselt in diesen.</div>")
VORTA_WITH_ROOM(room_new_failed_doesexist,
    R"(<div class="roomNewFailedDoesExist">Der Raum )",
    " kann nicht erstellt werden, da es ihn bereits gibt.</div>")
VORTA_WITH_FIRST(room_lock,
    R"(<div class="roomLock">)",
    " sperrt den Raum ab.</div>")
VORTA_WITH_FIRST(room_open,
    R"(<div class="roomOpen">)",
    " &ouml;ffnet den Raum.</div>")
VORTA_WITH_FIRST(room_hide,
    R"(<div class="roomHide">)",
    " versteckt den Raum.</div>")
VORTA_WITH_FIRST(room_show,
    R"(<div class="roomShow">)",
    " macht den Raum sichtbar.</div>")
VORTA_WITH_FIRST(room_moderate,
    R"(<div class="roomModerate">)",
    " startet die Moderator-Funktion f&uuml;r diesen Raum.</div>")
VORTA_WITH_FIRST(room_unmoderate,
    R"(<div class="roomUnmoderate">)",
    " beendet die Moderator-Funktion f&uuml;r diesen Raum.</div>")
VORTA_WITH_FIRST(room_lightoff,
    R"(<div class="roomLightOff">)",
    " macht das Licht aus.</div>")
VORTA_WITH_FIRST(room_lighton,
    R"(<div class="roomLightOn">)",
    " macht das Licht an.</div>")
VORTA_WITH_FIRST(room_censorshipoff,
    R"(<div class="roomCensorshipOff">)",
    " deaktiviert die Zensur-Funktion.</div>")
VORTA_WITH_FIRST(room_censorshipon,
    R"(<div class="roomCensorshipOn">)",
    " aktiviert die Zensur-Funktion.</div>")
VORTA_WITH_TEXT(room_set_password,
    R"(<div class="roomSetPassword">Das Passwort f&uuml;r den Raum lautet nun: )",
    "</div>")
VORTA_WITH_FIRST_AND_TEXT(room_set_rank,
    R"(<div class="roomSetRank">)",
    " hat den Mindestrang, um den Raum betreten zu d&uuml;rfen, wie folgt festgesetzt: ",
    "</div>")
VORTA_WITH_FIRST(room_set_rank_empty,
    R"(<div class="roomSetRankEmpty">)",
    " l&ouml;scht den Mindestrang.</div>")
VORTA_WITH_TEXT(room_set_rank_failed_unknown,
    R"(<div class="roomSetRankFailedUnknown">)",
    " kann nicht als Mindestrang zum Betreten des Raums eingestellt werden, da es diesen Rang nicht gibt.</div>")
VORTA_WITH_FIRST_AND_TEXT(room_set_clan,
    R"(<div class="roomSetClan">)",
    " weist den Raum dem Clan ",
    " zu.</div>")
VORTA_WITH_FIRST_AND_TEXT(room_set_clan_empty,
    R"(<div class="roomSetClanEmpty">)",
    " hebt die Zuweisung des Raums zum Clan ",
    " auf.</div>")
VORTA_WITH_TEXT(room_set_clan_failed_unknown,
    R"(<div class="roomSetClanFailedUnknown">Es existiert kein Clan )",
    ", dem der Raum zugeordnet werden kann.</div>")
VORTA_WITH_TEXT(room_info_failed_noroom,
    R"(<div class="roomInfoFailedNoRoom">Es k&ouml;nnen keine Informationen zum Raum )",
    " abgerufen werden, da es diesen Raum nicht gibt.</div>")
VORTA_WITH_ROOM(room_info_failed_noright,
    R"(<div class="roomInfoFailedNoRight">Du besitzt keine Berechtigung, Informationen zum Raum )",
    " abzurufen.</div>")
VORTA_WITH_FIRST_AND_ROOM(room_go,
    R"(<div class="roomGo">)",
    " wechselt in den Raum ",
    ".</div>")
VORTA_WITH_ROOM(room_go_failed_locked,
    R"(<div class="roomGoFailedLocked">Der Raumwechsel schlug fehl, da der Raum )",
    " abgesperrt ist.</div>")
VORTA_WITH_TEXT(room_go_failed_noroom,
    R"(<div class="roomGoFailedNoRoom">Der Raumwechsel schlug fehl, da es den Raum )",
    " nicht gibt.</div>")
VORTA_WITH_FIRSTS_ROOM(room_go_failed_inroom,
    R"(<div class="roomGoFailedInRoom">Du bist bereits im Raum )",
    ".</div>")
VORTA_WITH_ROOM(room_go_failed_password,
    R"(<div class="roomGoFailedPassword">Das Passwort ist falsch. Der Zugang zum Raum )",
    " wird verweigert.</div>")
VORTA_WITH_TEXT(room_go_failed_rank,
    R"(<div class="roomGoFailedRank">Der Raumwechsel schlug fehl, da du nicht den erforderlichen Mindestrang )",
    " besitzt.</div>")
VORTA_WITH_TEXT(room_go_failed_clan,
    R"(<div class="roomGoFailedClan">Der Raumwechsel schlug fehl, da nur Mitglieder des Clans )",
    " den Raum betreten d&uuml;rfen.</div>")
VORTA_WITH_ROOM(room_change,
    R"(<div class="roomChange">Du befindest dich nun im Raum )",
    ".</div>")
VORTA_WITH_FIRST_AND_ROOM(room_back,
    R"(<div class="roomBack">)",
    " wechselt zur&uuml;ck in den Raum ",
    ".</div>")
VORTA_WITH_ROOM(room_pw_please,
    R"(<div class="roomPwPlease">Der Raum )",
    " ist passwort-gesch&uuml;tzt. Bitte Passwort eingeben.</div>")
VORTA_WITH_TEXT_AND_FIRST(msg_is_kicked_admin,
    R"(<div class="msgIsKickedAdmin">)",
    " wird von ",
    " aus dem Chat gekickt.</div>")
VORTA_WITH_FIRST(msg_is_kicked_decision,
    R"(<div class="msgIsKickedDecision">)",
    " wird durch Mehrheitsbeschlu&szlig; aus dem Chat gekickt.</div>")
VORTA_WITH_FIRST_AND_ROOM(msg_got_alarm,
    R"(<div class="msgGotAlarm">Alarm! )",
    " ben&ouml;tigt dringend Hilfe im Raum ",
    ".</div>")
VORTA_WITH_FIRST(msg_spammer,
    R"(<div class="msgSpammer">)",
    " ist ein Spammer und wird automatisch aus dem Chat gekickt.</div>")
VORTA_WITH_TEXT(msg_history,
    R"(<div class="msgHistory">)",
    "</div>")
VORTA_WITH_FIRST(msg_disconnected,
    R"(<div class="msgDisconnected">Die Verbindung zu )",
    " wurde unterbrochen.</div>")
VORTA_WITH_FIRST(msg_censored,
    R"(<div class="msgCensored">)",
    " hat ein zensiertes Wort verwendet und wird automatisch aus dem Chat gekickt.</div>")
VORTA_WITH_TEXT(msg_mode_changed,
    R"(<div class="msgModeChanged">Mode wurde auf )",
    " ge&auml;ndert.</div>")
VORTA_WITH_FIRST(msg_nickname_double,
    R"(<div class="msgNicknameDouble">Es ist bereits jemand unter dem Nickname )",
    " eingeloggt. Gib einen neuen Nickname ein, um dich in den Chat einzuloggen.</div>")
VORTA_WITH_TEXT(msg_nickname_invalid,
    R"(<div class="msgNicknameInvalid">Der Nickname enth&auml;lt mindestens ein ung&uuml;ltiges Zeichen (')",
    "'). Gib einen neuen Nickname ein, um dich einzuloggen.</div>")

#undef VORTA_WITH_TEXT
#undef VORTA_WITH_TEXT_TWICE
#undef VORTA_WITH_FIRST
#undef VORTA_WITH_FIRST_TWICE
#undef VORTA_WITH_FIRST_AND_TEXT
#undef VORTA_WITH_TEXT_AND_FIRST
#undef VORTA_WITH_FIRST_AND_SECOND
#undef VORTA_WITH_FIRST_AND_ROOM
#undef VORTA_WITH_FIRSTS_ROOM
#undef VORTA_WITH_ROOM

}  // namespace vorta
