#pragma once
// The real daemon for tests of the chat commands: visitors who read the chat
// in the plain look, a script of command lines with what each visitor must
// see next, and the plain fragments that the scripts meet most.
#include <string>
#include <vector>

#include "integration/chat_fixture.hpp"

namespace command_support {

using chat_support::nrm;
using chat_support::txt;
using chat_support::visitor;
using test_support::proto_line;

namespace plain {

inline std::string div(const std::string& css_class, const std::string& text) {
    return txt("<div class=\"" + css_class + "\">" + text + "</div>");
}
inline std::string enter(const std::string& nickname) { return div("actionEnter", nickname + " betritt den Chat."); }
inline std::string hello(const std::string& nickname) { return div("roomHello", nickname + " betritt den Raum."); }
inline std::string quit(const std::string& nickname) { return div("actionQuit", nickname + " verl&auml;sst den Chat."); }
inline std::string room_change(const std::string& room) {
    return div("roomChange", "Du befindest dich nun im Raum " + room + ".");
}
inline std::string room_go(const std::string& nickname, const std::string& room) {
    return div("roomGo", nickname + " wechselt in den Raum " + room + ".");
}
inline std::string say(const std::string& nickname, const std::string& text) {
    return txt("<span class=\"internSay\">" + nickname + ":</span> <span class=\"actionSay\" style=\"color:#0000FF;\">" +
               text + "</span><br>");
}
inline std::string me(const std::string& nickname, const std::string& text) {
    return txt("<span class=\"internMe\">" + nickname + "</span> <span class=\"actionMe\">" + text + "</span><br>");
}
inline const std::string version = div("actionVersion", "vorta chat 2.2.0 D");
inline std::string add(const std::string& nickname) { return proto_line("ADD", {nickname}); }
inline std::string del(const std::string& nickname) { return proto_line("DEL", {nickname}); }

}  // namespace plain

// What one visitor must receive next, line by line.
struct sight {
    visitor* who;
    std::vector<std::string> lines;
};

// One line typed by `actor` and what it shows to whom.
struct step {
    visitor* actor;
    std::string line;
    std::vector<sight> seen;
};

class command_daemon : public chat_support::chat_daemon {
protected:
    // Every visitor may raise and receive alarms, ban for up to 20 minutes,
    // kill and lock nicknames for up to 3 hours; nobody holds the higher rank.
    std::string ranks() const override {
        return "visitor Visitor 4 4 0 1 1 10 0 20 1 3 0\n"
               "chef Chef 4 4 0 0 0 50 0 0 0 0 0\n";
    }

    // Logs `nickname` in to `room` and switches him to the plain look; the
    // visitors of `present`, already in that room, see him arrive.
    // With `stream` the chat goes to his browser stream.
    std::unique_ptr<visitor> enter(const std::string& nickname, const std::string& room,
                                   const std::vector<visitor*>& present, bool stream = false) {
        auto v = log_in(nickname, room, stream);
        if (v == nullptr) return v;
        for (visitor* member : present)
            EXPECT_TRUE(member->app.expect_lines({plain::add(nickname), plain::enter(nickname)})) << member->nickname;
        v->say(".nm plain");
        EXPECT_TRUE(v->expect_html("<div class=\"msgModeChanged\">Mode wurde auf Plain ge&auml;ndert.</div>"));
        return v;
    }

    // Logs the named visitors in to the first room, in this order.
    std::vector<std::unique_ptr<visitor>> gather(const std::vector<std::string>& nicknames) {
        std::vector<std::unique_ptr<visitor>> people;
        std::vector<visitor*> present;
        for (const std::string& nickname : nicknames) {
            auto v = enter(nickname, "", present);
            if (v == nullptr) break;
            present.push_back(v.get());
            people.push_back(std::move(v));
        }
        return people;
    }

    static void play(const std::vector<step>& script) {
        for (const step& s : script) {
            SCOPED_TRACE(s.actor->nickname + " types " + s.line);
            s.actor->say(s.line);
            for (const sight& v : s.seen) EXPECT_TRUE(v.who->app.expect_lines(v.lines)) << v.who->nickname;
        }
    }

    // Nothing else is on its way to these visitors: the answer to a question
    // asked now is the next line each of them reads.
    static void expect_quiet(const std::vector<visitor*>& visitors) {
        for (visitor* v : visitors) {
            v->say(".ver");
            EXPECT_TRUE(v->app.expect_html("<div class=\"actionVersion\">vorta chat 2.2.0 D</div>")) << v->nickname;
        }
    }

    // The lines of a room change: the mover's list and notice, the arrival
    // for those in the new room, `departure` for those left behind.
    static std::vector<sight> moved(visitor* mover, const std::string& room, const std::vector<visitor*>& there,
                                    const std::vector<visitor*>& left, const std::string& departure) {
        std::vector<std::string> names;
        for (visitor* v : there) names.push_back(v->nickname);
        names.push_back(mover->nickname);
        std::vector<sight> seen{{mover, {nrm(room, names), plain::room_change(room)}}};
        for (visitor* v : there) seen.push_back({v, {plain::add(mover->nickname), plain::hello(mover->nickname)}});
        for (visitor* v : left) seen.push_back({v, {plain::del(mover->nickname), departure}});
        return seen;
    }

    // The first of `movers` makes the room and the others follow him there;
    // the visitors of `stay` see them leave.
    static std::vector<step> follow(const std::string& room, const std::vector<visitor*>& movers,
                                    const std::vector<visitor*>& stay) {
        std::vector<step> script;
        for (std::size_t i = 0; i < movers.size(); ++i) {
            visitor* mover = movers[i];
            std::vector<visitor*> there(movers.begin(), movers.begin() + static_cast<long>(i));
            std::vector<visitor*> left(movers.begin() + static_cast<long>(i) + 1, movers.end());
            left.insert(left.end(), stay.begin(), stay.end());
            if (i == 0) {
                script.push_back({mover, ".nr " + room, moved(mover, room, there, left,
                                  plain::div("roomNew", mover->nickname + " erstellt den Raum " + room +
                                                            " und wechselt in diesen."))});
            } else {
                script.push_back({mover, ".g " + room, moved(mover, room, there, left, plain::room_go(mover->nickname, room))});
            }
        }
        return script;
    }
};

}  // namespace command_support
