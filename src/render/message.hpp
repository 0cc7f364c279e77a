#pragma once
// One event that the chat shows to people: its kind and the users, room, text
// and number it is about. Messages are short-lived values; the users and the
// room they point to must outlive the sending of the message.
#include <string>

#include "render/mode_standard.hpp"

namespace vorta {

class user;
class room;

class message {
public:
    message() = default;
    explicit message(mode_standard::types t) : type(t) {}
    message(mode_standard::types t, user* first) : type(t), first_user(first) {}
    message(mode_standard::types t, vorta::room* r) : type(t), room(r) {}
    message(mode_standard::types t, std::string s) : type(t), text(std::move(s)) {}
    message(mode_standard::types t, std::string s, int n) : type(t), text(std::move(s)), number(n) {}
    message(mode_standard::types t, int n) : type(t), number(n) {}
    message(mode_standard::types t, user* first, std::string s)
        : type(t), first_user(first), text(std::move(s)) {}
    message(mode_standard::types t, user* first, int n) : type(t), first_user(first), number(n) {}
    message(mode_standard::types t, user* first, user* second)
        : type(t), first_user(first), second_user(second) {}
    message(mode_standard::types t, user* first, user* second, std::string s)
        : type(t), first_user(first), second_user(second), text(std::move(s)) {}
    message(const message&) = default;
    message(message&&) = default;
    message& operator=(const message&) = default;
    message& operator=(message&&) = default;
    virtual ~message() = default;

    mode_standard::types type = mode_standard::types_end;
    user* first_user = nullptr;   // the actor, or the target of an action
    user* second_user = nullptr;  // the other user; for room chat lines, the recipient
    vorta::room* room = nullptr;
    std::string text;
    int number = 0;
};

}  // namespace vorta
