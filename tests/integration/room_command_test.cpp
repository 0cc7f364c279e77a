// Commands that steer a room and remove people, as the visitors see them:
// the switches and settings of the owner and his admins, held lines, votes,
// kicks, bans, nickname locks and kills.
#include "integration/command_fixture.hpp"

using namespace command_support;

namespace {

using room_commands = command_daemon;
using plain::div;

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

TEST_F(room_commands, owner_and_admins_steer_the_room_and_the_password_stays_private) {
    auto people = gather({"anna", "bert", "carl"});
    ASSERT_EQ(people.size(), 3u);
    visitor *a = people[0].get(), *b = people[1].get(), *c = people[2].get();
    play(follow("Salon", {a, b}, {c}));

    // Every switch: refused to a member, already set, set (for both), and back.
    std::vector<step> script;
    for (const toggle& t : toggles) {
        script.push_back({b, t.set, {{b, {t.on.no_right}}}});
        script.push_back({a, t.reset_alias, {{a, {t.off.already_set}}}});
        script.push_back({a, t.set_alias, {{a, {t.on.done}}, {b, {t.on.done}}}});
        script.push_back({a, t.set, {{a, {t.on.already_set}}}});
        script.push_back({b, t.reset, {{b, {t.off.no_right}}}});
        script.push_back({a, t.reset, {{a, {t.off.done}}, {b, {t.off.done}}}});
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
        div("actionMakeAdminSyntax", "Syntax zum Ernennen eines Users zum Admin:<br>.makeadmin &lt;Nickname&gt;");
    const std::string made = div("actionMakeAdmin", "anna ernennt bert zum Admin.");
    const std::string unmade = div("actionUnmakeAdmin", "anna degradiert bert vom Admin zum User.");
    const std::string admin_locks = div("roomLock", "bert sperrt den Raum ab.");
    play({
        {b, ".ss Neues Thema", {{b, {subject_refused}}}},
        {a, ".ss", {{a, {div("actionSetSubjectEmptyFailedIsSet", "Das Thema des Raums kann nicht gel&ouml;scht werden, "
                                                                  "da kein Thema festgelegt ist.")}}}},
        {a, ".ss " + words + " ende", {{a, {subject("anna", words + " ...")}}, {b, {subject("anna", words + " ...")}}}},
        {a, ".setsubject " + eighty, {{a, {subject("anna", eighty)}}, {b, {subject("anna", eighty)}}}},
        {a, ".ss <b>fett</b> & so", {{a, {subject("anna", "&lt;b&gt;fett&lt;/b&gt; &amp; so")}},
                                      {b, {subject("anna", "&lt;b&gt;fett&lt;/b&gt; &amp; so")}}}},
        {a, ".ss", {{a, {subject_cleared}}, {b, {subject_cleared}}}},

        {b, ".sr Visitor", {{b, {rank_refused}}}},
        {a, ".sr", {{a, {div("roomSetRankEmptyFailedIsSet", "Der Mindestrang f&uuml;r den Raum kann nicht gel&ouml;scht "
                                                             "werden, da kein Mindestrang festgelegt ist.")}}}},
        {a, ".sr Kaiser", {{a, {div("roomSetRankFailedUnknown", "Kaiser kann nicht als Mindestrang zum Betreten des "
                                                                 "Raums eingestellt werden, da es diesen Rang nicht gibt.")}}}},
        {a, ".sr chef", {{a, {rank_refused}}}},  // above anna's own level
        {a, ".setrank visitor",
         {{a, {div("roomSetRank", "anna hat den Mindestrang, um den Raum betreten zu d&uuml;rfen, wie folgt "
                                  "festgesetzt: Visitor")}},
          {b, {div("roomSetRank", "anna hat den Mindestrang, um den Raum betreten zu d&uuml;rfen, wie folgt "
                                  "festgesetzt: Visitor")}}}},
        {a, ".sr", {{a, {div("roomSetRankEmpty", "anna l&ouml;scht den Mindestrang.")}},
                    {b, {div("roomSetRankEmpty", "anna l&ouml;scht den Mindestrang.")}}}},

        {b, ".sc Rot", {{b, {div("roomSetClanFailedNoRight", "Du besitzt keine Berechtigung, den Raum einem Clan zuzuweisen.")}}}},
        {a, ".sc", {{a, {div("roomSetClanEmptyFailedIsSet", "Die Zuweisung des Raums zu einem Clan kann nicht aufgehoben "
                                                             "werden, da es keine Zuweisung gibt.")}}}},
        {a, ".setclan Rot", {{a, {div("roomSetClanFailedUnknown", "Es existiert kein Clan Rot, dem der Raum zugeordnet "
                                                                   "werden kann.")}}}},

        {b, ".ma anna", {{b, {div("actionMakeAdminFailedNoRight", "Du kannst anna nicht zum Admin ernennen, weil du "
                                                                   "nicht die erforderlichen Rechte besitzt.")}}}},
        {a, ".ma", {{a, {admin_syntax}}}},
        {a, ".ma ANNA", {{a, {admin_syntax}}}},
        {a, ".ma carl", {{a, {div("actionMakeAdminFailedNoUser", "carl kann nicht zum Admin ernannt werden, da niemand "
                                                                  "namens carl im Raum ist.")}}}},
        {a, ".makeadmin bert", {{a, {made}}, {b, {made}}}},
        {a, ".ma bert", {{a, {div("actionMakeAdminFailedIsSet", "bert ist bereits Admin in diesem Raum.")}}}},
        {b, ".ma anna", {{b, {div("actionMakeAdminFailedOwner", "anna ist Owner in diesem Raum.")}}}},
        {b, ".lock", {{b, {admin_locks}}, {a, {admin_locks}}}},
        {c, ".go Salon", {{c, {div("roomGoFailedLocked", "Der Raumwechsel schlug fehl, da der Raum Salon abgesperrt ist.")}}}},
        {b, ".ss Admins d&uuml;rfen das", {{b, {subject("bert", "Admins d&amp;uuml;rfen das")}},
                                           {a, {subject("bert", "Admins d&amp;uuml;rfen das")}}}},
        {b, ".uma anna", {{b, {div("actionUnmakeAdminFailedNoRight", "Du besitzt keine Berechtigung, Admins zu degradieren.")}}}},
        {a, ".uma", {{a, {div("actionUnmakeAdminSyntax", "Syntax zum Degradieren eines Admins zum User:<br>.unmakeadmin "
                                                          "&lt;Nickname&gt;")}}}},
        {a, ".uma zorro", {{a, {div("actionUnmakeAdminFailedNoUser", "zorro kann nicht zum User degradiert werden, da "
                                                                      "niemand namens zorro im Chat ist.")}}}},
        {a, ".uma carl", {{a, {div("actionUnmakeAdminFailedIsSet", "carl ist kein Admin in diesem Raum.")}}}},
        {a, ".unmakeadmin bert", {{a, {unmade}}, {b, {unmade}}}},
        {b, ".o", {{b, {toggles[0].off.no_right}}}},
        {a, ".o", {{a, {toggles[0].off.done}}, {b, {toggles[0].off.done}}}},
    });

    // The password goes to the owner alone, cut to 15 characters, and is kept
    // as typed: the room password line brings it unescaped.
    const std::string pw_refused =
        div("roomSetPasswordFailedNoRight", "Du besitzt keine Berechtigung, das Passwort f&uuml;r den Raum zu &auml;ndern.");
    play({
        {b, ".sp geheim", {{b, {pw_refused}}}},
        {a, ".sp", {{a, {div("roomSetPasswordEmptyFailedIsSet", "Das Passwort f&uuml;r den Raum kann nicht gel&ouml;scht "
                                                                 "werden, da kein Passwort festgelegt wurde.")}}}},
        {a, ".sp tmp", {{a, {div("roomSetPassword", "Das Passwort f&uuml;r den Raum lautet nun: tmp")}}}},
        {a, ".sp", {{a, {div("roomSetPasswordEmpty", "Das Passwort f&uuml;r den Raum wurde gel&ouml;scht.")}}}},
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
                                     plain::room_change("Salon")}));
    for (visitor* v : {a, b}) EXPECT_TRUE(v->app.expect_lines({plain::add("carl"), plain::hello("carl")}));
    expect_quiet({a, b, c});
}

// anna owns the room, bert is her admin, carl and dora are members.
TEST_F(room_commands, held_lines_wait_for_the_owner_and_dark_rooms_keep_no_history) {
    auto people = gather({"anna", "bert", "carl", "dora"});
    ASSERT_EQ(people.size(), 4u);
    visitor *a = people[0].get(), *b = people[1].get(), *c = people[2].get(), *d = people[3].get();
    const std::vector<visitor*> all{a, b, c, d};
    auto everybody = [&all](const std::string& line) {
        std::vector<sight> seen;
        for (visitor* v : all) seen.push_back({v, {line}});
        return seen;
    };
    auto held = [](const std::string& id, const std::string& span) {
        return txt("<span class=\"internMessageId\">" + id + "</span> " + span);
    };
    const std::string hallo = held("1", "<span class=\"internSayModerated\">carl:</span> <span "
                                        "class=\"actionSayModerated\" style=\"color:#0000FF;\">hallo</span><br>");
    const std::string winkt = held("2", "<span class=\"internMeModerated\">carl</span> <span "
                                        "class=\"actionMeModerated\">winkt</span><br>");
    const std::string no_right =
        div("actionModerateFailedNoRight", "Du besitzt keine Berechtigung, um diesen Raum zu moderieren.");
    const std::string empty_history = div("msgHistoryFailedEmpty", "Die History ist leer.");
    play(follow("Buehne", all, {}));
    play({
        {a, ".ma bert", everybody(div("actionMakeAdmin", "anna ernennt bert zum Admin."))},
        {a, ".mod", everybody(div("roomModerate", "anna startet die Moderator-Funktion f&uuml;r diesen Raum."))},
        // The speaker, the owner and the admin see a held line; the others not.
        {c, "hallo", {{c, {hallo}}, {a, {hallo}}, {b, {hallo}}}},
        {c, ".me winkt", {{c, {winkt}}, {a, {winkt}}, {b, {winkt}}}},
        {b, "ich darf", everybody(plain::say("bert", "ich darf"))},
        {d, ".ok 1", {{d, {no_right}}}},
        {a, ".ok", {{a, {div("actionOkSyntax", "Syntax zum Freigeben von Textmeldungen:<br>.ok &lt;Nummer&gt;")}}}},
        {a, ".ok 9", {{a, {div("actionModerateFailedNoMsg", "Die Nachricht Nr. 9 kann nicht gesendet werden, da es "
                                                             "sie nicht gibt.")}}}},
        {a, ".ok 2", everybody(plain::me("carl", "winkt"))},
        {b, ".ok 1", everybody(plain::say("carl", "hallo"))},
        {a, ".ok 1", {{a, {div("actionModerateFailedNoMsg", "Die Nachricht Nr. 1 kann nicht gesendet werden, da es "
                                                             "sie nicht gibt.")}}}},
        {a, ".hs", {{a, {empty_history}}}},
        {a, ".umod", everybody(div("roomUnmoderate", "anna beendet die Moderator-Funktion f&uuml;r diesen Raum."))},
        {a, ".loff", everybody(div("roomLightOff", "anna macht das Licht aus."))},
        {c, "dunkel", everybody(txt("<span class=\"actionSayBlind\">dunkel</span><br>"))},
        {c, ".me schleicht", everybody(txt("<span class=\"actionSayBlind\">schleicht</span><br>"))},
        {d, ".history", {{d, {empty_history}}}},
        {a, ".lon", everybody(div("roomLightOn", "anna macht das Licht an."))},
        {c, "hell", everybody(plain::say("carl", "hell"))},
        {d, ".hs", {{d, {div("msgHistory", "carl: hell")}}}},
    });
    expect_quiet(all);
}

TEST_F(room_commands, two_marks_of_four_members_vote_one_out) {
    auto people = gather({"anna", "bert", "carl", "dora"});
    ASSERT_EQ(people.size(), 4u);
    visitor *a = people[0].get(), *b = people[1].get(), *c = people[2].get(), *d = people[3].get();
    const std::string mark_syntax =
        div("actionMarkSyntax", "Syntax zum Markieren eines Users:<br>.mark &lt;Nickname&gt;");
    const std::string marked = div("actionMark", "Du hast dora zum Kicken markiert.");
    const std::string decision = div("msgIsKickedDecision", "dora wird durch Mehrheitsbeschlu&szlig; aus dem Chat gekickt.");
    play(follow("Wahl", {a, b, c, d}, {}));
    play({
        {b, ".m", {{b, {mark_syntax}}}},
        {b, ".m BERT", {{b, {mark_syntax}}}},
        {b, ".m zorro", {{b, {div("actionMarkFailedNoUser", "Es ist momentan niemand namens zorro in diesem Raum.")}}}},
        {b, ".m dora", {{b, {marked}}}},
        {b, ".mark dora", {{b, {div("actionMarkFailedIsSet", "Du hast dora bereits zum Kicken markiert.")}}}},
        {b, ".um", {{b, {div("actionUnmarkSyntax", "Syntax zum Demarkieren eines Users:<br>.unmark &lt;Nickname&gt;")}}}},
        {b, ".um zorro", {{b, {div("actionUnmarkFailedNoUser", "Es ist momentan niemand namens zorro im Chat.")}}}},
        {b, ".unmark dora", {{b, {div("actionUnmark", "Du hast dora demarkiert.")}}}},
        {b, ".um dora", {{b, {div("actionUnmarkFailedIsSet", "Der User dora kann nicht demarkiert werden, da er nicht "
                                                              "markiert ist.")}}}},
        {b, ".m dora", {{b, {marked}}}},
        {c, ".m Dora", {{a, {decision, plain::del("dora")}}, {b, {decision, plain::del("dora")}},
                        {c, {decision, plain::del("dora")}}, {d, {decision, "EXT"}}}},
    });
    EXPECT_TRUE(d->app.expect_closed());
    expect_quiet({a, b, c});
}

// anna owns the room with bert and carl in it; dora waits in the Lobby.
TEST_F(room_commands, kicks_bans_locks_and_kills) {
    auto people = gather({"anna", "bert", "carl", "dora"});
    ASSERT_EQ(people.size(), 4u);
    visitor *a = people[0].get(), *b = people[1].get(), *c = people[2].get(), *d = people[3].get();
    const std::string kicked = div("msgIsKickedAdmin", "carl wird von anna aus dem Chat gekickt.");
    auto banned = [](const std::string& minutes) {
        return div("actionBan", "dora wird f&uuml;r " + minutes + " Minuten gebannt.");
    };
    auto locked = [](const std::string& time) {
        return div("actionLockNickname", "Der Nickname dora wird f&uuml;r " + time + " gesperrt.");
    };
    play(follow("Ring", {a, b, c}, {d}));
    play({
        {b, ".k", {{b, {div("actionKickSyntax", "Syntax zum Kicken eines Users:<br>.kick &lt;Nickname&gt;")}}}},
        {b, ".k carl", {{b, {div("actionKickFailedNoRight", "Du besitzt keine Berechtigung, carl zu kicken.")}}}},
        {a, ".k dora", {{a, {div("actionKickFailedNoUser", "dora kann nicht gekickt werden, da niemand namens dora im "
                                                            "Raum ist.")}}}},
        // No "EXT" for a kick: the connection just ends.
        {a, ".kick carl", {{a, {div("actionKick", "carl wird aus dem Chat gekickt."), plain::del("carl")}},
                           {b, {kicked, plain::del("carl")}}, {c, {kicked}}}},
    });
    EXPECT_TRUE(c->app.expect_closed());
    play({
        {a, ".ban", {{a, {div("actionBanSyntax", "Syntax zum Bannen eines Users:<br>.ban &lt;Nickname&gt; [ &lt;Zeit in "
                                                  "Minuten&gt; ]")}}}},
        {a, ".ban zorro", {{a, {div("actionBanFailedNoUser", "zorro kann nicht gebannt werden, da niemand namens zorro "
                                                              "im Chat ist.")}}}},
        {a, ".ban dora", {{a, {banned("15")}}, {d, {proto_line("BAN", {"15"})}}}},
        {a, ".ban dora 100", {{a, {banned("20")}}, {d, {proto_line("BAN", {"20"})}}}},
        {a, ".ban dora 0", {{a, {banned("15")}}, {d, {proto_line("BAN", {"15"})}}}},
        {a, ".banex", {{a, {div("actionBanExSyntax", "Syntax zum Bannen eines ausgeloggten Users:<br>.banex "
                                                      "&lt;Nickname&gt; [ &lt;Zeit in Minuten&gt; ]")}}}},
        {a, ".banex dora", {{a, {div("actionBanExFailedNoUser", "dora kann nicht gebannt werden, da sich bisher "
                                                                 "niemand namens dora ausgeloggt hat oder Daten zu diesem "
                                                                 "User nicht mehr gespeichert sind.")}}}},
        {a, ".banex carl 5", {{a, {div("actionBanEx", "carl wird f&uuml;r 5 Minuten gebannt.")}}}},
        {a, ".ln dora", {{a, {locked("1 Stunde")}}}},
        {a, ".locknickname dora 9", {{a, {locked("3 Stunden")}}}},
        {a, ".ln zorro", {{a, {div("actionLockNicknameFailedNoUser", "Der Nickname zorro kann nicht gesperrt werden, da "
                                                                      "niemand namens zorro im Chat ist.")}}}},
        {a, ".kill", {{a, {div("actionKillSyntax", "Syntax zum Killen eines Users:<br>.kill &lt;User&gt;")}}}},
        {a, ".kill zorro", {{a, {div("actionKillFailedNoUser", "zorro kann nicht gekillt werden, da niemand namens zorro "
                                                                "im Chat ist.")}}}},
        {a, ".kill bert", {{a, {div("actionKill", "bert wurde gekillt."), plain::quit("bert"), plain::del("bert")}},
                           {b, {txt("<iframe width=\"0\" height=\"0\" style=\"visibility:hidden;\" src=\"http://\">"
                                    "<layer src=\"http://\"></layer></iframe>")}}}},
    });
    EXPECT_TRUE(b->app.expect_closed());
    // A ban leaves the session to its applet.
    expect_quiet({a, d});
}

}  // namespace
