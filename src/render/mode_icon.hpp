#pragma once
// The look every new user starts with ("Standard"): the plain look with small
// clickable icons beside nicknames and room names. A click makes the page's
// script send a chat command: information on a user or a room, a move to a
// room, a ban, or marking a user for kicking. Arrival notices offer the ban
// button only to recipients whose rank may ban, and a chat line's mark
// button shows whether the recipient has marked the speaker.
#include <string>

#include "render/mode_standard.hpp"

namespace vorta {

class mode_icon : public mode_standard {
public:
    mode_icon();

    // Buttons; each ends in a blank after its ">". Names and commands are
    // backslash-escaped for the script string they go into.
    // Information: `command` is ".u " + a nickname or ".r " + a room name.
    std::string get_info_button(const std::string& command) const;
    std::string get_go_button(const std::string& room_name) const;
    std::string get_ban_button(const std::string& nickname) const;
    // Whether the recipient (second user) has marked the first user; a click
    // toggles it.
    std::string get_mark_button(const message& m) const;

    // The recipient's picture preference, his mark on the first user and his
    // right to ban.
    unsigned variant(const message& m) const override;
    void append_overview_member(std::string& out, const user& u, bool first) const override;
    void get_room_info_head(std::string& result, const message& m) const override;

    void get_action_say(std::string& result, const message& m) const override;
    void get_action_say_moderated(std::string& result, const message& m) const override;
    void get_action_got_whisper(std::string& result, const message& m) const override;
    void get_action_users(std::string& result, const message& m) const override;
    void get_action_got_invited(std::string& result, const message& m) const override;
    void get_action_me(std::string& result, const message& m) const override;
    void get_action_me_moderated(std::string& result, const message& m) const override;
    void get_action_make_admin(std::string& result, const message& m) const override;
    void get_action_block_list(std::string& result, const message& m) const override;
    void get_action_morph(std::string& result, const message& m) const override;
    void get_action_enter(std::string& result, const message& m) const override;
    void get_room_hello(std::string& result, const message& m) const override;
    void get_room_new(std::string& result, const message& m) const override;
    void get_room_info(std::string& result, const message& m) const override;
    void get_rooms_info(std::string& result, const message& m) const override;
    void get_room_change(std::string& result, const message& m) const override;
    void get_msg_got_alarm(std::string& result, const message& m) const override;
};

}  // namespace vorta
