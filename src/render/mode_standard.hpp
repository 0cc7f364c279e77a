#pragma once
// The plain look ("Plain") and the base of the other looks: turns a message
// into the HTML fragment one recipient sees. Each message type has a virtual
// renderer `get_<type>`; `get` dispatches through one table indexed by type,
// so a derived look overrides only the renderers it changes. Modes hold no
// per-user state and are shared by all sessions.
#include <string>

#include "render/message_types.hpp"

namespace vorta {

class message;
class user;

class mode_standard {
public:
#define VORTA_ENUMERATOR(name) name,
    enum types { VORTA_MESSAGE_TYPES(VORTA_ENUMERATOR) types_end };
#undef VORTA_ENUMERATOR

    explicit mode_standard(std::string mode_name);
    mode_standard(const mode_standard&) = delete;
    mode_standard& operator=(const mode_standard&) = delete;
    virtual ~mode_standard() = default;

    // The fragment of `m` for the recipient of this mode; empty for a type
    // outside 0..188.
    std::string get(const message& m) const;
    // The message's text with "img:" picture references turned into an image
    // or a link, as the recipient (second user) prefers.
    virtual std::string anchors(const message& m) const;
    // Sums up in a number all that the renderers read from the message's
    // second user, so that a broadcast renders once for every recipient with
    // the same number. A look whose renderers read more of him says so here.
    virtual unsigned variant(const message& m) const;
    // Appends the entry of `u` in the members' part of a room overview in this
    // look, the part a room keeps while members only arrive (see
    // `room::overview_members`); the first member's entry has no separator.
    virtual void append_overview_member(std::string& out, const user& u, bool first) const;
    // The overview of `m`'s room up to its members' part, which the room
    // keeps for this look and sends by reference, followed by "</div>".
    virtual void get_room_info_head(std::string& result, const message& m) const;

    // Every renderer replaces `result` with the fragment of `m`.
#define VORTA_RENDERER(name) virtual void get_##name(std::string& result, const message& m) const;
    VORTA_MESSAGE_TYPES(VORTA_RENDERER)
#undef VORTA_RENDERER

    const std::string name;
};

}  // namespace vorta
