#include "integration/daemon_fixture.hpp"

using namespace daemon_support;

namespace {

class store_daemon : public vcd_daemon {
protected:
    std::string settings() const override { return "db.connection = sqlite:run/vcd.db\nreg.open = 1\n"; }
    // Logs out and waits until the daemon has closed, so that the nickname is free again.
    static void leave(applet& a) {
        a.send_text(".exit");
        EXPECT_TRUE(a.closed());
    }
};

// ".register" keeps the caller's nickname with a hash of his password, never
// shows the password, and refuses short passwords and taken nicknames; the
// look and colour he leaves with come back at his next log-in, also after a
// restart of the daemon.
TEST_F(store_daemon, registered_by_dot_command_the_profile_comes_back) {
    auto dora = log_in("dora");
    ASSERT_TRUE(dora);
    const std::string refused = "Der Nickname kann nicht registriert werden: ";
    const std::pair<const char*, std::string> attempts[] = {
        {"kurz", div("actionRegisterFailed", refused + "das Passwort muss mindestens 8 Zeichen lang sein.")},
        {"sechzehn-zeichen", div("actionRegisterFailed", refused + "das Passwort darf h&ouml;chstens 15 Zeichen lang sein.")},
        {"geheim123", div("actionRegister", "Der Nickname dora ist nun registriert. Beim n&auml;chsten Einloggen wird "
                                            "nach dem Passwort gefragt.")},
        {"geheim123", div("actionRegisterFailedTaken", "Der Nickname dora ist bereits registriert.")},
    };
    for (const auto& [password, answer] : attempts) {
        dora->say(std::string(".register ") + password);
        EXPECT_TRUE(dora->expect_html(answer)) << password;
    }
    EXPECT_EQ(read_file(log()).find("geheim123"), std::string::npos);
    const auto taken = run_binary({"-c", config(), "register", "DORA"}, {.input = "geheim123\n"});
    EXPECT_EQ(taken.status, 1);
    EXPECT_EQ(taken.output, "error: nickname 'DORA' is registered already\n");
    for (int visit = 0; visit < 2; ++visit) {
        leave(dora->app);
        if (visit == 1) {  // the store on disk outlives the daemon
            ASSERT_EQ(stop(), 0);
            start();
        }
        dora = log_in({.nickname = "dora", .password = "geheim123", .room = ""});
        ASSERT_TRUE(dora);
        dora->app.send("COL", {"FF0000"});
    }
    EXPECT_EQ(dora->arrival.at(2), "COL \"FF0000\"");
    EXPECT_EQ(dora->arrival.back().find("<img"), std::string::npos) << "not in the plain look";
}

// The owner of a room who logged out gets it back when its admin morphs into
// his nickname, and is no admin there any more: a held line reaches him once.
TEST_F(store_daemon, a_room_owner_morphed_into_gets_the_room_back_and_is_no_admin_there) {
    ASSERT_EQ(run_binary({"-c", config(), "register", "anna"}, {.input = "geheim123\n"}).status, 0);
    auto anna = log_in({.nickname = "anna", .password = "geheim123", .room = ""});
    auto bert = log_in("bert");
    auto carl = log_in("carl");
    ASSERT_TRUE(anna && bert && carl);
    visitor *a = anna.get(), *b = bert.get(), *c = carl.get();
    for (visitor* v : {a, b, c}) {
        v->say(v == a ? ".nr Klub" : ".g Klub");
        EXPECT_TRUE(v->app.read_until("NRM \"Klub\"").found) << v->nickname;
    }
    a->say(".ma bert");
    for (visitor* v : {a, b, c}) EXPECT_TRUE(v->app.read_until(txt(div("actionMakeAdmin", "anna ernennt bert zum Admin."))).found);
    leave(a->app);
    b->say(".morph anna");
    EXPECT_EQ(b->app.read_until("MPW ").lines.back(), proto_line("MPW", {"anna"}));
    b->app.send("MPW", {"geheim123"});
    EXPECT_TRUE(b->app.read_until("COL ").found && c->app.read_until("ADD \"anna\"").found);
    b->say(".uma carl");
    EXPECT_TRUE(b->expect_html(div("actionUnmakeAdminFailedIsSet", "carl ist kein Admin in diesem Raum.")));
    b->say(".mod");
    const std::string moderated = div("roomModerate", "anna startet die Moderator-Funktion f&uuml;r diesen Raum.");
    EXPECT_TRUE(b->expect_html(moderated) && c->expect_html(moderated));
    c->say("darf ich?");
    const std::string held = "<span class=\"internMessageId\">1</span> <span class=\"internSayModerated\">carl:</span> "
                             "<span class=\"actionSayModerated\" style=\"color:#0000FF;\">darf ich?</span><br>";
    EXPECT_TRUE(b->expect_html(held) && c->expect_html(held));
    for (visitor* v : {b, c}) {
        v->say(".ver");  // nothing else came first
        EXPECT_TRUE(v->expect_html(div("actionVersion", "vorta chat 2.2.0 D"))) << v->nickname;
    }
}

}  // namespace
