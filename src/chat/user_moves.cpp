// Commands that move users between rooms: going, going back, making a room,
// invitations and alarms, which let their receivers pass the room's lock.
#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "util/c_util.hpp"

namespace vorta {

void user::go_to(std::string name, vorta::room::change why, mode_standard::types syntax) {
    if (name.empty()) {
        send_html(message(syntax));
        return;
    }
    // Entering the room one is in would make a member twice.
    if (nocase_equal(name, room->get_name())) {
        send_html(message(mode_standard::room_go_failed_inroom, this));
        return;
    }
    if (vorta::room* target = Manager.join(name, this, vorta::room::enter::go, "")) switch_room(target, why);
}

// The command counts as a line of text for the repetition check.
void user::on_cmd_go(const command_words& words) {
    std::string line = ".g " + words[1].first;
    if (spammer(line)) return;
    go_to(words[1].first, vorta::room::change::go, mode_standard::room_go_syntax);
}

// The room just left is forgotten, so going back twice does not swing back
// and forth.
void user::on_cmd_goback(const command_words& /*words*/) {
    std::string line = ".gob";
    if (spammer(line)) return;
    go_to(previous_room, vorta::room::change::goback, mode_standard::room_goback_syntax);
    previous_room.clear();
}

void user::on_cmd_newroom(const command_words& words) {
    std::string name = words[1].first;
    std::string line = ".nr " + name;
    if (spammer(line) || censor(name)) return;
    if (name.empty()) {
        send_html(message(mode_standard::room_new_syntax));
        return;
    }
    std::string form = words[2].first;
    // The new room takes its owner in as it is made.
    if (vorta::room* made = Manager.create(name, form, this)) switch_room(made, vorta::room::change::newroom);
}

void user::on_cmd_invite(const command_words& words) {
    const std::string& name = words[1].first;
    std::string line = ".i " + name;
    if (spammer(line)) return;
    user* target = named_user(name, message(mode_standard::action_invite_syntax),
                              mode_standard::action_invite_failed_nouser);
    if (target == nullptr) return;
    if (target->room == room) {
        send_html(message(mode_standard::action_invite_failed_inroom, target));
        return;
    }
    target->add_friend_room(room->get_name());
    target->invited_room = room->get_name();
    send_html(message(mode_standard::action_invite, target));
    target->send_html(message(mode_standard::action_got_invited, this));
}

void user::on_cmd_goinvited(const command_words& /*words*/) {
    go_to(invited_room, vorta::room::change::goinvited, mode_standard::action_invite_ok_syntax);
    invited_room.clear();
}

void user::on_cmd_goalarm(const command_words& /*words*/) {
    go_to(alarm_room, vorta::room::change::goalarm, mode_standard::action_alarm_ok_syntax);
    alarm_room.clear();
}

// One alarm per session.
void user::on_cmd_alarm(const command_words& /*words*/) {
    if (!rank->can_alarm) {
        send_html(message(mode_standard::action_alarm_failed_noright));
        return;
    }
    if (!can_alarm_now) {
        send_html(message(mode_standard::action_alarm_failed_isset));
        return;
    }
    const std::string& here = room->get_name();
    for (user* receiver : Manager.get_alarm_receiver()) {
        receiver->add_friend_room(here);
        receiver->alarm_room = here;
        receiver->send_html(message(mode_standard::msg_got_alarm, this));
    }
    send_html(message(mode_standard::action_alarm));
    can_alarm_now = false;
}

}  // namespace vorta
