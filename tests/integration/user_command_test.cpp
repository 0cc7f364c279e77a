// Commands of a visitor for himself, as the visitors see them: moving between
// rooms with invitations and alarms, information, whispers and blocks, looks
// and style sheets, morphing, the showcase of every message, and leaving.
#include "integration/command_fixture.hpp"

using namespace command_support;

namespace {

using user_commands = command_daemon;
using plain::div;

TEST_F(user_commands, rooms_are_changed_made_and_opened_by_invitations_and_alarms) {
    auto people = gather({"anna", "bert", "carl", "dora"});
    ASSERT_EQ(people.size(), 4u);
    visitor *a = people[0].get(), *b = people[1].get(), *c = people[2].get(), *d = people[3].get();
    const std::string goback_syntax =
        div("roomGobackSyntax", "Syntax zum Wechseln in den vorherigen Raum:<br>.goback");
    const std::string invite_syntax =
        div("actionInviteSyntax", "Syntax zum Einladen eines Users:<br>.invite &lt;Nickname&gt;");
    const std::string alarm = div("msgGotAlarm", "Alarm! anna ben&ouml;tigt dringend Hilfe im Raum Klub.");
    play({
        {a, ".go", {{a, {div("roomGoSyntax", "Syntax zum Wechseln des Raums:<br>.go &lt;Raumname&gt;")}}}},
        {a, ".go lOBBY", {{a, {div("roomGoFailedInRoom", "Du bist bereits im Raum Lobby.")}}}},
        {a, ".g Nirgendwo", {{a, {div("roomGoFailedNoRoom", "Der Raumwechsel schlug fehl, da es den Raum Nirgendwo "
                                                             "nicht gibt.")}}}},
        {a, ".gob", {{a, {goback_syntax}}}},
        {a, ".g technik", moved(a, "Technik", {}, {b, c, d}, plain::room_go("anna", "Technik"))},
        {a, ".goback", moved(a, "Lobby", {b, c, d}, {}, "")},
        {a, ".gob", {{a, {goback_syntax}}}},  // the room left is not remembered
        {a, ".nr", {{a, {div("roomNewSyntax", "Syntax zum Erstellen eines neuen Raums:<br>.newroom &lt;Raumname&gt;")}}}},
        {a, ".nr LOBBY", {{a, {div("roomNewFailedDoesExist", "Der Raum Lobby kann nicht erstellt werden, da es ihn "
                                                              "bereits gibt.")}}}},
        {a, ".newroom Klub", moved(a, "Klub", {}, {b, c, d}, div("roomNew", "anna erstellt den Raum Klub und wechselt in diesen."))},
        {a, ".l", {{a, {div("roomLock", "anna sperrt den Raum ab.")}}}},
        {b, ".g Klub", {{b, {div("roomGoFailedLocked", "Der Raumwechsel schlug fehl, da der Raum Klub abgesperrt ist.")}}}},

        // An invitation lets its receiver pass the lock.
        {a, ".i", {{a, {invite_syntax}}}},
        {a, ".i Anna", {{a, {invite_syntax}}}},
        {a, ".i zorro", {{a, {div("actionInviteFailedNoUser", "Der User zorro, den du einladen wolltest, ist momentan "
                                                               "nicht im Chat.")}}}},
        {b, ".goi", {{b, {div("actionInviteOkSyntax", "Syntax zum Annehmen einer Einladung:<br>.goinvited")}}}},
        {a, ".invite bert", {{a, {div("actionInvite", "Du hast bert eingeladen, in deinen Raum zu wechseln.")}},
                             {b, {div("actionGotInvited", "Du hast von anna eine Einladung erhalten, in den Raum Klub "
                                                          "zu wechseln.")}}}},
        {b, ".goinvited", moved(b, "Klub", {a}, {c, d}, div("actionInviteOk", "bert nimmt eine Einladung an und wechselt den Raum."))},
        {b, ".goi", {{b, {div("actionInviteOkSyntax", "Syntax zum Annehmen einer Einladung:<br>.goinvited")}}}},
        {a, ".i bert", {{a, {div("actionInviteFailedInRoom", "Du kannst den User bert nicht einladen, da er schon in "
                                                              "deinem Raum ist.")}}}},

        // So does an alarm; every visitor here receives alarms, anna too.
        {a, ".alarm", {{a, {alarm, div("actionAlarm", "Du hast stillen Alarm ausgel&ouml;st. Im Chat anwesende "
                                                       "kickberechtigte User haben deinen Hilferuf erhalten.")}},
                       {b, {alarm}}, {c, {alarm}}, {d, {alarm}}}},
        {a, ".alarm", {{a, {div("actionAlarmFailedIsSet", "Alarm darf nur im Notfall ausgel&ouml;st werden. Um einen "
                                                           "andauernden Alarmzustand zu vermeiden, kann der Alarm pro "
                                                           "Chat-Session nur einmal von einem User aktiviert werden.")}}}},
        {c, ".goalarm", moved(c, "Klub", {a, b}, {d}, div("actionAlarmOk", "carl wird zu einem Alarm gerufen und wechselt den Raum."))},
        {c, ".goa", {{c, {div("actionAlarmOkSyntax", "Syntax zum Annehmen eines Alarms:<br>.goalarm")}}}},
        {a, ".goa", {{a, {div("roomGoFailedInRoom", "Du bist bereits im Raum Klub.")}}}},

        // The last one out takes the room along, without a word.
        {a, ".g Lobby", moved(a, "Lobby", {d}, {b, c}, plain::room_go("anna", "Lobby"))},
        {b, ".g Lobby", moved(b, "Lobby", {d, a}, {c}, plain::room_go("bert", "Lobby"))},
        {c, ".gob", moved(c, "Lobby", {d, a, b}, {}, "")},
        {d, ".goa", {{d, {div("roomGoFailedNoRoom", "Der Raumwechsel schlug fehl, da es den Raum Klub nicht gibt.")}}}},
    });
    expect_quiet({a, b, c, d});
}

// anna and bert are in the Lobby, carl in his own hidden room.
TEST_F(user_commands, information_whispers_and_blocks) {
    auto people = gather({"anna", "bert"});
    auto carl = enter("carl", "Technik", {});
    ASSERT_TRUE(people.size() == 2 && carl);
    visitor *a = people[0].get(), *b = people[1].get(), *c = carl.get();
    const std::string whisper_syntax = div(
        "actionWhisperSyntax", "Syntax zum Fl&uuml;stern mit einem User:<br>.whisper &lt;Nickname&gt; &lt;Text&gt;");
    auto whispered = [](const std::string& to, const std::string& text) {
        return txt("<span class=\"internWhisper\">Du fl&uuml;sterst zu " + to + ":</span> <span class=\"actionWhisper\" "
                   "style=\"color:#0000FF;\">" + text + "</span><br>");
    };
    auto got = [](const std::string& from, const std::string& text) {
        return txt("<span class=\"internGotWhisper\">" + from + " fl&uuml;stert:</span> <span class=\"actionGotWhisper\" "
                   "style=\"color:#0000FF;\">" + text + "</span><br>");
    };
    const std::string block_list = div("actionBlockList", "Momentan ist kein User im Chat geblockt.");
    const std::string unblock_syntax =
        div("actionUnblockSyntax", "Syntax zum Aufheben der Blockierung eines Users:<br>.unblock &lt;Nickname&gt;");
    play({
        {c, ".nr Versteck", moved(c, "Versteck", {}, {}, "")},
        {c, ".h", {{c, {div("roomHide", "carl versteckt den Raum.")}}}},
        {a, ".rs", {{a, {div("roomList", "Chat&uuml;bersicht:<br>- Lobby [2 User; Demokratie; Thema: Willkommen im Chat]"
                                         "<br>- Technik [0 User; Demokratie; Thema: Rechner und Netze]"
                                         "<br>- Plauderecke [0 User; Demokratie]")}}}},
        {a, ".r", {{a, {div("roomInfo", "Raum&uuml;bersicht:<br>Lobby [2 User; Demokratie]<br>Thema: Willkommen im Chat"
                                        "<br>User: anna, bert")}}}},
        {a, ".room TECHNIK", {{a, {div("roomInfo", "Raum&uuml;bersicht:<br>Technik [0 User; Demokratie]<br>Thema: "
                                                   "Rechner und Netze")}}}},
        {a, ".r Nirgendwo", {{a, {div("roomInfoFailedNoRoom", "Es k&ouml;nnen keine Informationen zum Raum Nirgendwo "
                                                               "abgerufen werden, da es diesen Raum nicht gibt.")}}}},
        {a, ".r versteck", {{a, {div("roomInfoFailedNoRight", "Du besitzt keine Berechtigung, Informationen zum Raum "
                                                               "Versteck abzurufen.")}}}},
        {c, ".r", {{c, {div("roomInfo", "Raum&uuml;bersicht:<br>Versteck [1 User; Demokratie; versteckt]<br>Owner: carl"
                                        "<br>User: carl")}}}},
        {a, ".us", {{a, {div("actionUsers", "Chat&uuml;bersicht:<br>- anna [Raum: Lobby; Rang: Visitor; Status: -]"
                                            "<br>- bert [Raum: Lobby; Rang: Visitor; Status: -]")}}}},
        {a, ".u", {{a, {div("actionUser", "<img src=\"http://\" alt=\"anna\" width=\"50\" height=\"50\" class=\"photoUser\"> "
                                          "User&uuml;bersicht:<br>anna [Raum: Lobby; Rang: Visitor; Status: -; Skin: ]")}}}},
        {a, ".user carl", {{a, {div("actionUser", "<img src=\"http://\" alt=\"carl\" width=\"50\" height=\"50\" "
                                                  "class=\"photoUser\"> User&uuml;bersicht:<br>carl [Raum: Versteck; "
                                                  "Rang: Visitor; Status: Owner]")}}}},
        {a, ".u zorro", {{a, {div("actionUserFailedNoUser", "Es ist momentan niemand namens zorro im Chat eingeloggt.")}}}},
        {a, ".help", {{a, {div("actionHelp", "Klicke hier, um die <a href=\"http://\" target=\"_blank\">Hilfe zum "
                                             "Chat</a> aufzurufen.")}}}},
        {a, ".ver", {{a, {plain::version}}}},

        // Whispers cross rooms and reach oneself too.
        {a, ".w", {{a, {whisper_syntax}}}},
        {a, ".w carl", {{a, {whisper_syntax}}}},
        {a, ".w zorro hallo", {{a, {div("actionWhisperFailedNoUser", "Fl&uuml;stern mit zorro nicht m&ouml;glich, da "
                                                                      "niemand namens zorro im Chat ist.")}}}},
        {a, ".w CARL psst  <i>leise</i>", {{a, {whispered("carl", "psst  &lt;i&gt;leise&lt;/i&gt;")}},
                                           {c, {got("anna", "psst  &lt;i&gt;leise&lt;/i&gt;")}}}},
        {a, ".whisper anna selbst", {{a, {whispered("anna", "selbst"), got("anna", "selbst")}}}},

        // A blocked user's lines and whispers stop; notices about him do not.
        {a, ".b", {{a, {block_list}}}},
        {a, ".b zorro", {{a, {div("actionBlockFailedNoUser", "zorro kann nicht geblockt werden, da niemand namens zorro "
                                                              "im Chat ist.")}}}},
        {a, ".block bert", {{a, {div("actionBlock", "bert wird ab sofort geblockt.")}}}},
        {a, ".b bert", {{a, {div("actionBlockFailedIsSet", "bert wird bereits geblockt.")}}}},
        {a, ".b anna", {{a, {div("actionBlockList", "Momentan im Chat geblockte User:<br>bert")}}}},
        {b, "hallo anna", {{b, {plain::say("bert", "hallo anna")}}}},
        {b, ".me winkt", {{b, {plain::me("bert", "winkt")}}}},
        {b, ".w anna psst", {{b, {whispered("anna", "psst")}}}},
        {b, ".u bert", {{b, {div("actionUser", "<img src=\"http://\" alt=\"bert\" width=\"50\" height=\"50\" "
                                               "class=\"photoUser\"> User&uuml;bersicht:<br>bert [Raum: Lobby; Rang: "
                                               "Visitor; Status: -; Skin: ]")}}}},
        {a, ".ub", {{a, {unblock_syntax}}}},
        {a, ".ub zorro", {{a, {div("actionUnblockFailedNoUser", "Die Blockierung von zorro kann nicht aufgehoben werden, "
                                                                 "da niemand namens zorro im Chat ist.")}}}},
        {a, ".unblock bert", {{a, {div("actionUnblock", "Die Blockierung von bert wird aufgehoben.")}}}},
        {a, ".ub bert", {{a, {div("actionUnblockFailedIsSet", "Die Blockierung von bert kann nicht aufgehoben werden, "
                                                               "da bert nicht geblockt wird.")}}}},
        {b, "wieder da", {{a, {plain::say("bert", "wieder da")}}, {b, {plain::say("bert", "wieder da")}}}},

        // Only a full stop in the very first place, and only the exact name,
        // make a command; a blank line does nothing.
        {a, ".VER", {{a, {plain::say("anna", ".VER")}}, {b, {plain::say("anna", ".VER")}}}},
        {a, " .ver", {{a, {plain::say("anna", " .ver")}}, {b, {plain::say("anna", " .ver")}}}},
        {a, "   ", {}},
        {a, ".me", {{a, {div("actionMeSyntax", "Syntax zum Ausf&uuml;hren einer Aktion:<br>.me &lt;Aktion&gt;")}}}},
    });
    expect_quiet({a, b, c});
}

// anna reads on the applet, carl on a browser stream.
TEST_F(user_commands, looks_style_sheets_morphing_every_message_and_leaving) {
    auto people = gather({"anna", "bert"});
    auto carl = enter("carl", "Technik", {}, true);
    ASSERT_TRUE(people.size() == 2 && carl);
    visitor *a = people[0].get(), *b = people[1].get(), *c = carl.get();
    const std::string morph_syntax = div("actionMorphSyntax", "Syntax zum Morphen:<br>.morph &lt;Nickname&gt;");
    play({
        {a, ".nm", {{a, {div("msgModeBox", "<form action=\"\"><select onchange=\"on_mode_change(options[options."
                                           "selectedIndex].value);\"><option value=\"standard\">Standard</option>"
                                           "<option value=\"plain\" selected=\"selected\">Plain</option><option "
                                           "value=\"photo\">Photo</option></select></form>")}}}},
        {a, ".nm schick", {{a, {div("msgModeSyntax", "Syntax zum Wechseln des Modes:<br>.newmode [ &lt;Mode&gt; ]")}}}},
        {a, ".newmode PHOTO", {{a, {div("msgModeChanged", "Mode wurde auf Photo ge&auml;ndert.")}}}},
        {a, ".nm plain", {{a, {div("msgModeChanged", "Mode wurde auf Plain ge&auml;ndert.")}}}},
        {a, ".ns", {{a, {div("msgSkinBox", "<form action=\"\"><select onchange=\"on_skin_change(options[options."
                                           "selectedIndex].value);\"></select></form>")}}}},
        {a, ".newskin herbst", {{a, {div("actionNewSkinSyntax", "Syntax zum Wechseln des Skins:<br>.newskin &lt;Skin&gt;")}}}},
        // Without a stream the applet loads the style sheet.
        {a, ".css http://http://static.test/neu.css", {{a, {proto_line("SKN", {"static.test/neu.css"})}}}},
        {a, ".css http://kurz.c", {}},
        {a, ".morph", {{a, {morph_syntax}}}},
        {a, ".morph ANNA", {{a, {morph_syntax}}}},
        {a, ".morph bert", {{a, {div("actionMorphFailedOnline", "Du kannst dich nicht zu bert morphen, da bert momentan "
                                                                 "im Chat ist.")}}}},
        // The nickname is looked up as typed and shown escaped.
        {a, ".morph <b>x", {{a, {div("actionMorphFailedNotRegistered", "Du kannst dich nicht zu &lt;b&gt;x morphen, da "
                                                                        "der Nickname &lt;b&gt;x nicht registriert ist.")}}}},
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
    EXPECT_EQ(of_type(2), txt("<div class=\"pwPlease\">Der Nickname ist registriert. Bitte Passwort eingeben.</div>"));
    EXPECT_EQ(of_type(103), div("roomNewFailedDoesExist", "Der Raum Lobby kann nicht erstellt werden, da es ihn bereits gibt."));
    EXPECT_EQ(of_type(148), div("roomInfo", "Raum&uuml;bersicht:<br>Lobby [2 User; Demokratie]<br>Thema: Willkommen im "
                                            "Chat<br>User: anna, bert"));
    EXPECT_EQ(of_type(150), div("roomInfoFailedNoRight", "Du besitzt keine Berechtigung, Informationen zum Raum Lobby abzurufen."));
    EXPECT_EQ(of_type(154), div("roomGoFailedLocked", "Der Raumwechsel schlug fehl, da der Raum Lobby abgesperrt ist."));
    EXPECT_EQ(of_type(157), div("roomGoFailedPassword", "Das Passwort ist falsch. Der Zugang zum Raum Lobby wird verweigert."));
    EXPECT_EQ(of_type(161), plain::room_change("Lobby"));
    EXPECT_EQ(of_type(164), div("roomPwPlease", "Der Raum Lobby ist passwort-gesch&uuml;tzt. Bitte Passwort eingeben."));
    EXPECT_EQ(of_type(188), div("msgShutdown", "Der Chat-Server wird heruntergefahren."));
    EXPECT_EQ(of_type(190), div("actionRegisterFailedTaken", "Der Nickname XXXXX ist bereits registriert."));
    expect_quiet({a, b});

    // Leaving: the applet is told to log out, the room sees the farewell.
    play({{b, ".exit", {{b, {proto_line("LGO")}}, {a, {plain::quit("bert"), plain::del("bert")}}}}});
    EXPECT_TRUE(b->app.expect_closed());
    expect_quiet({a});
}

}  // namespace
