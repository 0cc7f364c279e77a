// The chat's commands as the visitors see them in the plain look: moving
// between rooms, information, whispers, blocks, looks, the showcase of every
// message and leaving; the switches and settings of a room's owner and his
// admins, votes, kicks and kills.
#include "integration/daemon_fixture.hpp"

using namespace daemon_support;

namespace {

std::string add(const std::string& nick) { return proto_line("ADD", {nick}); }
std::string del(const std::string& nick) { return proto_line("DEL", {nick}); }
const std::string version = div("actionVersion", "vorta chat 2.2.0 D");
std::string user_info(const std::string& nick, const std::string& details) {
    return div("actionUser", "<img src=\"http://\" alt=\"" + nick +
                                 "\" width=\"50\" height=\"50\" class=\"photoUser\"> User&uuml;bersicht:<br>" + nick +
                                 " [Raum: " + details + "]");
}

// Every visitor may raise and receive alarms, ban for up to 20 minutes, kill
// and lock nicknames for up to 3 hours; nobody holds the higher rank.
class commands : public vcd_daemon {
protected:
    std::string ranks() const override {
        return "visitor Visitor 4 4 0 1 1 10 0 20 1 3 0\nchef Chef 4 4 0 0 0 50 0 0 0 0 0\n";
    }
};


TEST_F(commands, rooms_are_changed_made_and_opened_by_invitations_and_alarms) {
    auto people = gather({"anna", "bert", "carl", "dora"});
    ASSERT_EQ(people.size(), 4u);
    visitor *a = people[0].get(), *b = people[1].get(), *c = people[2].get(), *d = people[3].get();
    const std::string goback_syntax =
        syntax("roomGobackSyntax", "Wechseln in den vorherigen Raum", ".goback");
    const std::string invite_syntax =
        syntax("actionInviteSyntax", "Einladen eines Users", ".invite &lt;Nickname&gt;");
    const std::string alarm = div("msgGotAlarm", "Alarm! anna ben&ouml;tigt dringend Hilfe im Raum Klub.");
    play({
        ask(a, ".go", syntax("roomGoSyntax", "Wechseln des Raums", ".go &lt;Raumname&gt;")),
        ask(a, ".go lOBBY", div("roomGoFailedInRoom", "Du bist bereits im Raum Lobby.")),
        ask(a, ".g Nirgendwo", div("roomGoFailedNoRoom", "Der Raumwechsel schlug fehl, da es den Raum Nirgendwo "
                                                         "nicht gibt.")),
        ask(a, ".gob", goback_syntax),
        {a, ".g technik", moved(a, "Technik", {}, {b, c, d}, room_go("anna", "Technik"))},
        {a, ".goback", moved(a, "Lobby", {b, c, d}, {}, "")},
        ask(a, ".gob", goback_syntax),  // the room left is not remembered
        ask(a, ".nr", syntax("roomNewSyntax", "Erstellen eines neuen Raums", ".newroom &lt;Raumname&gt;")),
        ask(a, ".nr LOBBY", div("roomNewFailedDoesExist", "Der Raum Lobby kann nicht erstellt werden, da es ihn "
                                                          "bereits gibt.")),
        {a, ".newroom Klub", moved(a, "Klub", {}, {b, c, d}, div("roomNew", "anna erstellt den Raum Klub und wechselt in diesen."))},
        ask(a, ".l", div("roomLock", "anna sperrt den Raum ab.")),
        ask(b, ".g Klub", div("roomGoFailedLocked", "Der Raumwechsel schlug fehl, da der Raum Klub abgesperrt ist.")),

        // An invitation lets its receiver pass the lock.
        ask(a, ".i", invite_syntax),
        ask(a, ".i Anna", invite_syntax),
        ask(a, ".i zorro", div("actionInviteFailedNoUser", "Der User zorro, den du einladen wolltest, ist momentan "
                                                           "nicht im Chat.")),
        ask(b, ".goi", syntax("actionInviteOkSyntax", "Annehmen einer Einladung", ".goinvited")),
        {a, ".invite bert", {{a, {div("actionInvite", "Du hast bert eingeladen, in deinen Raum zu wechseln.")}},
                             {b, {div("actionGotInvited", "Du hast von anna eine Einladung erhalten, in den Raum Klub "
                                                          "zu wechseln.")}}}},
        {b, ".goinvited", moved(b, "Klub", {a}, {c, d}, div("actionInviteOk", "bert nimmt eine Einladung an und wechselt den Raum."))},
        ask(b, ".goi", syntax("actionInviteOkSyntax", "Annehmen einer Einladung", ".goinvited")),
        ask(a, ".i bert", div("actionInviteFailedInRoom", "Du kannst den User bert nicht einladen, da er schon in "
                                                          "deinem Raum ist.")),

        // So does an alarm; every visitor here receives alarms, anna too.
        {a, ".alarm", {{a, {alarm, div("actionAlarm", "Du hast stillen Alarm ausgel&ouml;st. Im Chat anwesende "
                                                      "kickberechtigte User haben deinen Hilferuf erhalten.")}},
                       {b, {alarm}}, {c, {alarm}}, {d, {alarm}}}},
        ask(a, ".alarm", div("actionAlarmFailedIsSet", "Alarm darf nur im Notfall ausgel&ouml;st werden. Um einen "
                                                       "andauernden Alarmzustand zu vermeiden, kann der Alarm pro "
                                                       "Chat-Session nur einmal von einem User aktiviert werden.")),
        {c, ".goalarm", moved(c, "Klub", {a, b}, {d}, div("actionAlarmOk", "carl wird zu einem Alarm gerufen und wechselt den Raum."))},
        ask(c, ".goa", syntax("actionAlarmOkSyntax", "Annehmen eines Alarms", ".goalarm")),
        ask(a, ".goa", div("roomGoFailedInRoom", "Du bist bereits im Raum Klub.")),

        // The last one out takes the room along, without a word.
        {a, ".g Lobby", moved(a, "Lobby", {d}, {b, c}, room_go("anna", "Lobby"))},
        {b, ".g Lobby", moved(b, "Lobby", {d, a}, {c}, room_go("bert", "Lobby"))},
        {c, ".gob", moved(c, "Lobby", {d, a, b}, {}, "")},
        ask(d, ".goa", div("roomGoFailedNoRoom", "Der Raumwechsel schlug fehl, da es den Raum Klub nicht gibt.")),
    });
    expect_quiet({a, b, c, d});
}

// anna and bert are in the Lobby, carl in his own hidden room.
TEST_F(commands, information_whispers_and_blocks) {
    auto people = gather({"anna", "bert"});
    auto carl = enter("carl", "Technik", {});
    ASSERT_TRUE(people.size() == 2 && carl);
    visitor *a = people[0].get(), *b = people[1].get(), *c = carl.get();
    // A line that anna and bert both see.
    const auto both = [a, b](visitor* v, const std::string& line, const std::string& html) {
        return step{v, line, {{a, {html}}, {b, {html}}}};
    };
    const std::string whisper_syntax =
        syntax("actionWhisperSyntax", "Fl&uuml;stern mit einem User", ".whisper &lt;Nickname&gt; &lt;Text&gt;");
    auto whispered = [](const std::string& to, const std::string& text) {
        return txt("<span class=\"internWhisper\">Du fl&uuml;sterst zu " + to +
                   ":</span> <span class=\"actionWhisper\" style=\"color:#0000FF;\">" + text + "</span><br>");
    };
    auto got = [](const std::string& from, const std::string& text) {
        return txt("<span class=\"internGotWhisper\">" + from +
                   " fl&uuml;stert:</span> <span class=\"actionGotWhisper\" style=\"color:#0000FF;\">" + text + "</span><br>");
    };
    const std::string block_list = div("actionBlockList", "Momentan ist kein User im Chat geblockt.");
    const std::string unblock_syntax =
        syntax("actionUnblockSyntax", "Aufheben der Blockierung eines Users", ".unblock &lt;Nickname&gt;");
    play({
        {c, ".nr Versteck", moved(c, "Versteck", {}, {}, "")},
        ask(c, ".h", div("roomHide", "carl versteckt den Raum.")),
        ask(a, ".rs", div("roomList", "Chat&uuml;bersicht:<br>- Lobby [2 User; Demokratie; Thema: Willkommen im Chat]"
                                      "<br>- Technik [0 User; Demokratie; Thema: Rechner und Netze]"
                                      "<br>- Plauderecke [0 User; Demokratie]")),
        ask(a, ".r", plain.room_info("Lobby", lobby_subject, {"anna", "bert"})),
        ask(a, ".room TECHNIK", plain.room_info("Technik", "Rechner und Netze", {})),
        ask(a, ".r Nirgendwo", div("roomInfoFailedNoRoom", "Es k&ouml;nnen keine Informationen zum Raum Nirgendwo "
                                                           "abgerufen werden, da es diesen Raum nicht gibt.")),
        ask(a, ".r versteck", div("roomInfoFailedNoRight", "Du besitzt keine Berechtigung, Informationen zum Raum "
                                                           "Versteck abzurufen.")),
        ask(c, ".r", div("roomInfo", "Raum&uuml;bersicht:<br>Versteck [1 User; Demokratie; versteckt]<br>Owner: carl"
                                     "<br>User: carl")),
        ask(a, ".us", div("actionUsers", "Chat&uuml;bersicht:<br>- anna [Raum: Lobby; Rang: Visitor; Status: -]"
                                         "<br>- bert [Raum: Lobby; Rang: Visitor; Status: -]")),
        ask(a, ".u", user_info("anna", "Lobby; Rang: Visitor; Status: -; Skin: ")),
        ask(a, ".user carl", user_info("carl", "Versteck; Rang: Visitor; Status: Owner")),
        ask(a, ".u zorro", div("actionUserFailedNoUser", "Es ist momentan niemand namens zorro im Chat eingeloggt.")),
        ask(a, ".help", div("actionHelp", "Klicke hier, um die <a href=\"http://\" target=\"_blank\">Hilfe zum "
                                          "Chat</a> aufzurufen.")),
        ask(a, ".ver", version),

        // Whispers cross rooms and reach oneself too.
        ask(a, ".w", whisper_syntax),
        ask(a, ".w carl", whisper_syntax),
        ask(a, ".w zorro hallo", div("actionWhisperFailedNoUser", "Fl&uuml;stern mit zorro nicht m&ouml;glich, da "
                                                                  "niemand namens zorro im Chat ist.")),
        {a, ".w CARL psst  <i>leise</i>", {{a, {whispered("carl", "psst  &lt;i&gt;leise&lt;/i&gt;")}},
                                           {c, {got("anna", "psst  &lt;i&gt;leise&lt;/i&gt;")}}}},
        {a, ".whisper anna selbst", {{a, {whispered("anna", "selbst"), got("anna", "selbst")}}}},

        // A blocked user's lines and whispers stop; notices about him do not.
        ask(a, ".b", block_list),
        ask(a, ".b zorro", div("actionBlockFailedNoUser", "zorro kann nicht geblockt werden, da niemand namens zorro "
                                                          "im Chat ist.")),
        ask(a, ".block bert", div("actionBlock", "bert wird ab sofort geblockt.")),
        ask(a, ".b bert", div("actionBlockFailedIsSet", "bert wird bereits geblockt.")),
        ask(a, ".b anna", div("actionBlockList", "Momentan im Chat geblockte User:<br>bert")),
        ask(b, "hallo anna", plain.say("bert", "hallo anna")),
        ask(b, ".me winkt", plain.me("bert", "winkt")),
        ask(b, ".w anna psst", whispered("anna", "psst")),
        ask(b, ".u bert", user_info("bert", "Lobby; Rang: Visitor; Status: -; Skin: ")),
        ask(a, ".ub", unblock_syntax),
        ask(a, ".ub zorro", div("actionUnblockFailedNoUser", "Die Blockierung von zorro kann nicht aufgehoben werden, "
                                                             "da niemand namens zorro im Chat ist.")),
        ask(a, ".unblock bert", div("actionUnblock", "Die Blockierung von bert wird aufgehoben.")),
        ask(a, ".ub bert", div("actionUnblockFailedIsSet", "Die Blockierung von bert kann nicht aufgehoben werden, "
                                                           "da bert nicht geblockt wird.")),
        both(b, "wieder da", plain.say("bert", "wieder da")),

        // Only a full stop in the very first place, and only the exact name,
        // make a command; a blank line does nothing.
        both(a, ".VER", plain.say("anna", ".VER")),
        both(a, " .ver", plain.say("anna", " .ver")),
        {a, "   ", {}},
        ask(a, ".me", syntax("actionMeSyntax", "Ausf&uuml;hren einer Aktion", ".me &lt;Aktion&gt;")),
    });
    expect_quiet({a, b, c});
}

// anna reads on the applet, carl on a browser stream.
TEST_F(commands, looks_style_sheets_morphing_every_message_and_leaving) {
    auto people = gather({"anna", "bert"});
    auto carl = enter("carl", "Technik", {}, true);
    ASSERT_TRUE(people.size() == 2 && carl);
    visitor *a = people[0].get(), *b = people[1].get(), *c = carl.get();
    const std::string morph_syntax = syntax("actionMorphSyntax", "Morphen", ".morph &lt;Nickname&gt;");
    play({
        ask(a, ".nm", div("msgModeBox", "<form action=\"\"><select onchange=\"on_mode_change(options[options."
                                        "selectedIndex].value);\"><option value=\"standard\">Standard</option>"
                                        "<option value=\"plain\" selected=\"selected\">Plain</option><option "
                                        "value=\"photo\">Photo</option></select></form>")),
        ask(a, ".nm schick", syntax("msgModeSyntax", "Wechseln des Modes", ".newmode [ &lt;Mode&gt; ]")),
        ask(a, ".newmode PHOTO", div("msgModeChanged", "Mode wurde auf Photo ge&auml;ndert.")),
        ask(a, ".nm plain", div("msgModeChanged", "Mode wurde auf Plain ge&auml;ndert.")),
        ask(a, ".ns", div("msgSkinBox", "<form action=\"\"><select onchange=\"on_skin_change(options[options."
                                        "selectedIndex].value);\"></select></form>")),
        ask(a, ".newskin herbst", syntax("actionNewSkinSyntax", "Wechseln des Skins", ".newskin &lt;Skin&gt;")),
        // Without a stream the applet loads the style sheet.
        ask(a, ".css http://http://static.test/neu.css", proto_line("SKN", {"static.test/neu.css"})),
        {a, ".css http://kurz.c", {}},
        ask(a, ".morph", morph_syntax),
        ask(a, ".morph ANNA", morph_syntax),
        ask(a, ".morph bert", div("actionMorphFailedOnline", "Du kannst dich nicht zu bert morphen, da bert momentan "
                                                             "im Chat ist.")),
        // The nickname is looked up as typed and shown escaped.
        ask(a, ".morph <b>x", div("actionMorphFailedNotRegistered", "Du kannst dich nicht zu &lt;b&gt;x morphen, da "
                                                                    "der Nickname &lt;b&gt;x nicht registriert ist.")),
    });
    expect_quiet({a});

    // With a stream the style sheet arrives there; the address stays inside
    // its attribute.
    c->say(".css static.test/x.css\"><b>");
    EXPECT_TRUE(c->web->expect_next("<link rel=\"stylesheet\" type=\"text/css\" "
                                    "href=\"http://static.test/x.css&quot;&gt;&lt;b&gt;\">"));

    // Every message once, the kill page and the skin change excepted; the
    // types that name a room name anna's.
    a->say(".allmsg");
    std::vector<std::string> shown;
    for (int i = 0; i < 188; ++i) {
        auto line = a->app.read_line();
        if (!line) break;
        shown.push_back(*line);
    }
    ASSERT_EQ(shown.size(), 188u);
    for (const std::string& line : shown) EXPECT_EQ(line.rfind("TXT \"", 0), 0u) << line;
    // The place of a type in the showcase: types 0, 1, 94 and 178 are left out.
    auto of_type = [&shown](int type) { return shown[type - 2 - (type > 94) - (type > 178)]; };
    EXPECT_EQ(of_type(2), txt(div("pwPlease", "Der Nickname ist registriert. Bitte Passwort eingeben.")));
    EXPECT_EQ(of_type(148), txt(plain.room_info("Lobby", lobby_subject, {"anna", "bert"})));
    EXPECT_EQ(of_type(161), txt(plain.room_change("Lobby")));
    EXPECT_EQ(of_type(188), txt(div("msgShutdown", "Der Chat-Server wird heruntergefahren.")));
    EXPECT_EQ(of_type(190), txt(div("actionRegisterFailedTaken", "Der Nickname XXXXX ist bereits registriert.")));
    expect_quiet({a, b});

    // Leaving: the applet is told to log out, the room sees the farewell.
    play({{b, ".exit", {{b, {proto_line("LGO")}}, {a, {quit("bert"), del("bert")}}}}});
    EXPECT_TRUE(b->app.expect_closed());
    expect_quiet({a});
}



// The answers of one switch to one wanted value, for the owner anna.
struct answers {
    std::string no_right, already_set, done;
};

struct toggle {
    std::string set, set_alias, reset, reset_alias;
    answers on, off;
};

const toggle toggles[] = {
    {".lock", ".l", ".open", ".o",
     {div("roomLockFailedNoRight", "Du kannst den Raum nicht absperren, da du nicht die erforderlichen Rechte besitzt."),
      div("roomLockFailedIsSet", "Der Raum ist bereits abgesperrt."), div("roomLock", "anna sperrt den Raum ab.")},
     {div("roomOpenFailedNoRight", "Du kannst den Raum nicht &ouml;ffnen, da du nicht die erforderlichen Rechte besitzt."),
      div("roomOpenFailedIsSet", "Der Raum ist bereits ge&ouml;ffnet."), div("roomOpen", "anna &ouml;ffnet den Raum.")}},
    {".hide", ".h", ".show", ".s",
     {div("roomHideFailedNoRight", "Du kannst den Raum nicht verstecken, da du nicht die erforderlichen Rechte besitzt."),
      div("roomHideFailedIsSet", "Der Raum ist bereits versteckt."), div("roomHide", "anna versteckt den Raum.")},
     {div("roomShowFailedNoRight",
          "Du kannst den Raum nicht sichtbar machen, da du nicht die erforderlichen Rechte besitzt."),
      div("roomShowFailedIsSet", "Der Raum ist bereits sichtbar."), div("roomShow", "anna macht den Raum sichtbar.")}},
    {".moderate", ".mod", ".unmoderate", ".umod",
     {div("roomModerateFailedNoRight", "Du besitzt nicht die erforderliche Berechtigung, um die Moderator-Funktion "
                                       "f&uuml;r diesen Raum zu starten."),
      div("roomModerateFailedIsSet", "Die Moderator-Funktion ist bereits aktiviert."),
      div("roomModerate", "anna startet die Moderator-Funktion f&uuml;r diesen Raum.")},
     {div("roomUnmoderateFailedNoRight", "Du besitzt nicht die erforderliche Berechtigung, um die Moderator-Funktion "
                                         "f&uuml;r diesen Raum zu beenden."),
      div("roomUnmoderateFailedIsSet", "Du kannst die Moderator-Funktion nicht abschalten, da sie nicht aktiviert ist."),
      div("roomUnmoderate", "anna beendet die Moderator-Funktion f&uuml;r diesen Raum.")}},
    {".lightoff", ".loff", ".lighton", ".lon",
     {div("roomLightOffFailedNoRight", "Du besitzt keine Berechtigung, das Licht auszumachen."),
      div("roomLightOffFailedIsSet", "Du kannst das Licht nicht ausmachen, da es bereits aus ist."),
      div("roomLightOff", "anna macht das Licht aus.")},
     {div("roomLightOnFailedNoRight", "Du besitzt keine Berechtigung, das Licht anzumachen."),
      div("roomLightOnFailedIsSet", "Du kannst das Licht nicht anmachen, da es bereits an ist."),
      div("roomLightOn", "anna macht das Licht an.")}},
    {".censoroff", ".coff", ".censoron", ".con",
     {div("roomCensorshipOffFailedNoRight", "Du besitzt keine Berechtigung, die Zensur-Funktion zu deaktivieren."),
      div("roomCensorshipOffFailedIsSet",
          "Du kannst die Zensur-Funktion nicht deaktivieren, da sie bereits deaktiviert ist."),
      div("roomCensorshipOff", "anna deaktiviert die Zensur-Funktion.")},
     {div("roomCensorshipOnFailedNoRight", "Du besitzt keine Berechtigung, die Zensur-Funktion zu aktivieren."),
      div("roomCensorshipOnFailedNoIsSet",
          "Du kannst die Zensur-Funktion nicht aktivieren, da sie bereits aktiviert ist."),
      div("roomCensorshipOn", "anna aktiviert die Zensur-Funktion.")}},
};

TEST_F(commands, owner_and_admins_steer_the_room_and_the_password_stays_private) {
    auto people = gather({"anna", "bert", "carl"});
    ASSERT_EQ(people.size(), 3u);
    visitor *a = people[0].get(), *b = people[1].get(), *c = people[2].get();
    // A line that anna and bert both see.
    const auto both = [a, b](visitor* v, const std::string& line, const std::string& html) {
        return step{v, line, {{a, {html}}, {b, {html}}}};
    };
    play(follow("Salon", {a, b}, {c}));

    // Every switch: refused to a member, already set, set (for both), and back.
    std::vector<step> script;
    for (const toggle& t : toggles) {
        script.push_back(ask(b, t.set, t.on.no_right));
        script.push_back(ask(a, t.reset_alias, t.off.already_set));
        script.push_back(both(a, t.set_alias, t.on.done));
        script.push_back(ask(a, t.set, t.on.already_set));
        script.push_back(ask(b, t.reset, t.off.no_right));
        script.push_back(both(a, t.reset, t.off.done));
    }
    play(script);

    const std::string words = "wort wort wort wort wort wort wort wort wort wort wort wort wort wort wort wort";
    const std::string eighty(80, 'x');
    const std::string subject_refused =
        div("actionSetSubjectFailedNoRight", "Du besitzt keine Berechtigung, das Thema des Raums zu &auml;ndern.");
    auto subject = [](const std::string& by, const std::string& text) {
        return div("actionSetSubject", by + " &auml;ndert das Thema des Raums auf: " + text);
    };
    const std::string subject_cleared = div("actionSetSubjectEmpty", "anna l&ouml;scht das Thema des Raums.");
    const std::string rank_refused = div(
        "roomSetRankFailedNoRight", "Du besitzt keine Berechtigung, den Mindestrang zum Betreten des Raums zu &auml;ndern.");
    const std::string admin_syntax =
        syntax("actionMakeAdminSyntax", "Ernennen eines Users zum Admin", ".makeadmin &lt;Nickname&gt;");
    const std::string made = div("actionMakeAdmin", "anna ernennt bert zum Admin.");
    const std::string unmade = div("actionUnmakeAdmin", "anna degradiert bert vom Admin zum User.");
    const std::string admin_locks = div("roomLock", "bert sperrt den Raum ab.");
    play({
        ask(b, ".ss Neues Thema", subject_refused),
        ask(a, ".ss", div("actionSetSubjectEmptyFailedIsSet", "Das Thema des Raums kann nicht gel&ouml;scht werden, "
                                                              "da kein Thema festgelegt ist.")),
        both(a, ".ss " + words + " ende", subject("anna", words + " ...")),
        both(a, ".setsubject " + eighty, subject("anna", eighty)),
        both(a, ".ss <b>fett</b> & so", subject("anna", "&lt;b&gt;fett&lt;/b&gt; &amp; so")),
        both(a, ".ss", subject_cleared),

        ask(b, ".sr Visitor", rank_refused),
        ask(a, ".sr", div("roomSetRankEmptyFailedIsSet", "Der Mindestrang f&uuml;r den Raum kann nicht gel&ouml;scht "
                                                         "werden, da kein Mindestrang festgelegt ist.")),
        ask(a, ".sr Kaiser", div("roomSetRankFailedUnknown", "Kaiser kann nicht als Mindestrang zum Betreten des "
                                                             "Raums eingestellt werden, da es diesen Rang nicht gibt.")),
        ask(a, ".sr chef", rank_refused),  // above anna's own level
        both(a, ".setrank visitor", div("roomSetRank", "anna hat den Mindestrang, um den Raum betreten zu d&uuml;rfen, "
                                                       "wie folgt festgesetzt: Visitor")),
        both(a, ".sr", div("roomSetRankEmpty", "anna l&ouml;scht den Mindestrang.")),

        ask(b, ".sc Rot", div("roomSetClanFailedNoRight", "Du besitzt keine Berechtigung, den Raum einem Clan zuzuweisen.")),
        ask(a, ".sc", div("roomSetClanEmptyFailedIsSet", "Die Zuweisung des Raums zu einem Clan kann nicht aufgehoben "
                                                         "werden, da es keine Zuweisung gibt.")),
        ask(a, ".setclan Rot", div("roomSetClanFailedUnknown", "Es existiert kein Clan Rot, dem der Raum zugeordnet "
                                                               "werden kann.")),

        ask(b, ".ma anna", div("actionMakeAdminFailedNoRight", "Du kannst anna nicht zum Admin ernennen, weil du "
                                                               "nicht die erforderlichen Rechte besitzt.")),
        ask(a, ".ma", admin_syntax),
        ask(a, ".ma ANNA", admin_syntax),
        ask(a, ".ma carl", div("actionMakeAdminFailedNoUser", "carl kann nicht zum Admin ernannt werden, da niemand "
                                                              "namens carl im Raum ist.")),
        both(a, ".makeadmin bert", made),
        ask(a, ".ma bert", div("actionMakeAdminFailedIsSet", "bert ist bereits Admin in diesem Raum.")),
        ask(b, ".ma anna", div("actionMakeAdminFailedOwner", "anna ist Owner in diesem Raum.")),
        both(b, ".lock", admin_locks),
        ask(c, ".go Salon", div("roomGoFailedLocked", "Der Raumwechsel schlug fehl, da der Raum Salon abgesperrt ist.")),
        both(b, ".ss Admins d&uuml;rfen das", subject("bert", "Admins d&amp;uuml;rfen das")),
        ask(b, ".uma anna", div("actionUnmakeAdminFailedNoRight", "Du besitzt keine Berechtigung, Admins zu degradieren.")),
        ask(a, ".uma", div("actionUnmakeAdminSyntax", "Syntax zum Degradieren eines Admins zum User:<br>.unmakeadmin "
                                                      "&lt;Nickname&gt;")),
        ask(a, ".uma zorro", div("actionUnmakeAdminFailedNoUser", "zorro kann nicht zum User degradiert werden, da "
                                                                  "niemand namens zorro im Chat ist.")),
        ask(a, ".uma carl", div("actionUnmakeAdminFailedIsSet", "carl ist kein Admin in diesem Raum.")),
        both(a, ".unmakeadmin bert", unmade),
        ask(b, ".o", toggles[0].off.no_right),
        both(a, ".o", toggles[0].off.done),
    });

    // The password goes to the owner alone, cut to 15 characters, and is kept
    // as typed: the room password line brings it unescaped.
    const std::string pw_refused =
        div("roomSetPasswordFailedNoRight", "Du besitzt keine Berechtigung, das Passwort f&uuml;r den Raum zu &auml;ndern.");
    play({
        ask(b, ".sp geheim", pw_refused),
        ask(a, ".sp", div("roomSetPasswordEmptyFailedIsSet", "Das Passwort f&uuml;r den Raum kann nicht gel&ouml;scht "
                                                             "werden, da kein Passwort festgelegt wurde.")),
        ask(a, ".sp tmp", div("roomSetPassword", "Das Passwort f&uuml;r den Raum lautet nun: tmp")),
        ask(a, ".sp", div("roomSetPasswordEmpty", "Das Passwort f&uuml;r den Raum wurde gel&ouml;scht.")),
        {a, ".setpassword geheim&sicher12345",
         {{a, {div("roomSetPassword", "Das Passwort f&uuml;r den Raum lautet nun: geheim&amp;sicher12")}}}},
        {c, ".go Salon", {{c, {proto_line("RPW", {"Salon"}), div("roomPwPlease", "Der Raum Salon ist "
                                                                                 "passwort-gesch&uuml;tzt. Bitte Passwort eingeben.")}}}},
    });
    c->app.send("RPW", {"Salon", "geheim&amp;sicher12"});
    EXPECT_TRUE(c->app.expect_lines({proto_line("COL", {"0000FF"}),
                                     div("roomGoFailedPassword", "Das Passwort ist falsch. Der Zugang zum Raum Salon "
                                                                 "wird verweigert.")}));
    c->app.send("RPW", {"Salon", "geheim&sicher12"});
    EXPECT_TRUE(c->app.expect_lines({proto_line("COL", {"0000FF"}), nrm("Salon", {"anna", "bert", "carl"}),
                                     plain.room_change("Salon")}));
    for (visitor* v : {a, b}) EXPECT_TRUE(v->app.expect_lines({add("carl"), plain.hello("carl")}));
    expect_quiet({a, b, c});
}

// anna owns a room with bert and carl in it; dora waits in the Lobby.
TEST_F(commands, dark_rooms_votes_kicks_and_kills) {
    auto people = gather({"anna", "bert", "carl", "dora"});
    ASSERT_EQ(people.size(), 4u);
    visitor *a = people[0].get(), *b = people[1].get(), *c = people[2].get(), *d = people[3].get();
    const auto everybody = [&](const std::string& line) {
        return std::vector<sight>{{a, {line}}, {b, {line}}, {c, {line}}};
    };
    const std::string empty_history = div("msgHistoryFailedEmpty", "Die History ist leer.");
    const std::string decision = div("msgIsKickedDecision", "dora wird durch Mehrheitsbeschlu&szlig; aus dem Chat gekickt.");
    const std::string kicked = div("msgIsKickedAdmin", "carl wird von anna aus dem Chat gekickt.");
    play(follow("Ring", {a, b, c}, {d}));
    play({
        // In the dark a line shows no speaker, and the history keeps none.
        {a, ".loff", everybody(div("roomLightOff", "anna macht das Licht aus."))},
        {c, "dunkel", everybody("<span class=\"actionSayBlind\">dunkel</span><br>")},
        {c, ".me schleicht", everybody("<span class=\"actionSayBlind\">schleicht</span><br>")},
        ask(b, ".history", empty_history),
        {a, ".lon", everybody(div("roomLightOn", "anna macht das Licht an."))},
        {c, "hell", everybody(plain.say("carl", "hell"))},
        ask(b, ".hs", div("msgHistory", "carl: hell")),
        {d, ".g Ring", moved(d, "Ring", {a, b, c}, {}, "")},

        // Two marks of four members vote one out; a mark taken back counts no more.
        ask(b, ".m", syntax("actionMarkSyntax", "Markieren eines Users", ".mark &lt;Nickname&gt;")),
        ask(b, ".mark dora", div("actionMark", "Du hast dora zum Kicken markiert.")),
        ask(b, ".um", syntax("actionUnmarkSyntax", "Demarkieren eines Users", ".unmark &lt;Nickname&gt;")),
        ask(b, ".um zorro", div("actionUnmarkFailedNoUser", "Es ist momentan niemand namens zorro im Chat.")),
        ask(b, ".unmark dora", div("actionUnmark", "Du hast dora demarkiert.")),
        ask(b, ".um dora", div("actionUnmarkFailedIsSet", "Der User dora kann nicht demarkiert werden, da er nicht "
                                                          "markiert ist.")),
        ask(c, ".m dora", div("actionMark", "Du hast dora zum Kicken markiert.")),
        {b, ".m Dora", {{a, {decision, del("dora")}}, {b, {decision, del("dora")}}, {c, {decision, del("dora")}},
                        {d, {decision, "EXT"}}}},
        // No "EXT" for a kick: the connection just ends.
        {a, ".kick carl", {{a, {div("actionKick", "carl wird aus dem Chat gekickt."), del("carl")}},
                           {b, {kicked, del("carl")}}, {c, {kicked}}}},
    });
    EXPECT_TRUE(d->app.expect_closed());
    EXPECT_TRUE(c->app.expect_closed());
    play({
        ask(a, ".banex zorro", div("actionBanExFailedNoUser", "zorro kann nicht gebannt werden, da sich bisher "
                                                              "niemand namens zorro ausgeloggt hat oder Daten zu diesem "
                                                              "User nicht mehr gespeichert sind.")),
        ask(a, ".banex carl 5", div("actionBanEx", "carl wird f&uuml;r 5 Minuten gebannt.")),
        {a, ".kill bert", {{a, {div("actionKill", "bert wurde gekillt."), quit("bert"), del("bert")}},
                           {b, {"<iframe width=\"0\" height=\"0\" style=\"visibility:hidden;\" src=\"http://\">"
                                "<layer src=\"http://\"></layer></iframe>"}}}},
    });
    EXPECT_TRUE(b->app.expect_closed());
    expect_quiet({a});
}

}  // namespace
