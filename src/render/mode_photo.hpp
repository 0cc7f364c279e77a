#pragma once
// The photo look ("Photo"): the plain look with the speaker's photo in front
// of chat lines and of arrival and departure notices.
#include <string>

#include "render/mode_standard.hpp"

namespace vorta {

class mode_photo : public mode_standard {
public:
    mode_photo();

    // The image of `photo` (an address without the scheme), named after
    // `nickname`; it ends in a blank after its ">".
    std::string get_photo_button(const std::string& photo, const std::string& nickname) const;

    void get_action_say(std::string& result, const message& m) const override;
    void get_action_say_moderated(std::string& result, const message& m) const override;
    void get_action_got_whisper(std::string& result, const message& m) const override;
    void get_action_got_invited(std::string& result, const message& m) const override;
    void get_action_me(std::string& result, const message& m) const override;
    void get_action_me_moderated(std::string& result, const message& m) const override;
    void get_action_enter(std::string& result, const message& m) const override;
    void get_action_quit(std::string& result, const message& m) const override;
    void get_room_hello(std::string& result, const message& m) const override;
};

}  // namespace vorta
