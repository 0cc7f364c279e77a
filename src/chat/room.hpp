#pragma once
// A place where users chat: its members, owner and admins, its settings, a
// ten-line history and the lines held back for moderation. Every chat line of
// a member is broadcast through its room, which applies the flood,
// censorship, moderation and light rules on the way. Rooms come from the room
// file (permanent), from the manager's default, or from a user, in which case
// the room vanishes with its last member.
#include <array>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "render/message.hpp"
#include "util/growing_text.hpp"
#include "util/line_reader.hpp"

namespace vorta {

class user;

class room {
public:
    // How a user comes in: a change of room, or the first room at log-in.
    enum class enter { go, login };
    // Why a user leaves.
    enum class change { newroom, go, goback, goinvited, goalarm, quit };
    // The form of government, which rules votes.
    enum class form { democracy, dictatorship, anarchy };
    // How soon a notice to members must leave: `soon` lets it wait a moment
    // for the next ones of a burst, as arrivals in a crowded room come.
    enum class pace { now, soon };

    // A room without owner is permanent. An owner enters at once.
    room(std::string room_name, user* room_owner, std::string room_subject, form room_form);
    room(const room&) = delete;
    room& operator=(const room&) = delete;
    virtual ~room();

    // Admits `u` (this room) or refuses it with a message to `u` (null).
    room* join(user* u, enter how, std::string given_password);
    // Takes `u` out and announces it. May destroy this room (the last member of
    // a user's room left): the caller must not touch it afterwards.
    void leave(user* u, change why);
    // Forgets a user who goes away for good (he has left or is about to).
    void remove(user* u);
    // Empties the room without a word to anybody, for the end of the process.
    void forget_members();
    // Bracket a member's change of nickname and account.
    void before_morph(user* u);
    void after_morph(user* u);

    // A member's chat line, with the flood, censorship, moderation, light and
    // history rules. True when the sender must leave the chat.
    bool send_html(message msg, user* except);
    // Hands `msg` to every member but `except` (null: everybody).
    void send_html_direct(message msg, user* except, pace when = pace::now);
    void send_history(user* u);
    // A change of membership ("ADD", "DEL") to every member; it may wait a
    // moment for the next ones, as the notices of arrivals and departures do.
    void send_java(const std::string& line) const;
    bool censor(const message& msg);
    bool spammer(const message& msg);
    // HTML-unescapes, cuts to `max` characters (at the last blank within them
    // when `at_word`), escapes again.
    std::string shorten(std::string text, int max, bool at_word) const;
    // True when `votes` exceed a third of the room's weight.
    bool danger(const int& votes) const;

    // What a switch answers for one wanted value: the refusals to the user
    // and the announcement to the room.
    struct switch_answers {
        mode_standard::types no_right;
        mode_standard::types already_set;
        mode_standard::types done;
    };
    // Settings steered by the owner and the admins. Each answers `u` with a
    // refusal, or announces the change to the room before it takes effect.
    void set_subject(const std::string& text, user* u);
    void set_lock(bool wanted, user* u);
    void set_hide(bool wanted, user* u);
    void set_moderate(bool wanted, user* u);
    void set_light(bool wanted, user* u);
    void set_censorship(bool wanted, user* u);
    // The owner's settings. The password is told to the owner alone; rank and
    // clan restrictions exclude each other.
    void set_password(std::string new_password, user* u);
    void set_rank(std::string label, user* u);
    void set_clan(std::string new_clan, user* u);
    void make_admin(const std::string& nickname, user* u);
    void unmake_admin(const std::string& nickname, user* u);
    // Releases the first held line with this id to the room.
    void send_moderate(int held_id, user* u);
    // `u` votes to throw a member out, or decides alone, as the room's form
    // of government says.
    void mark(const std::string& nickname, user* u);
    // Throws a user out at once, by `u`'s rank or his rights in this room.
    void kick(const std::string& nickname, user* u);

    // Appends one permanent room per data line of the room file to `out`.
    template <typename OutputIterator>
    static void load(const std::string& file, OutputIterator out);

    const std::string& get_name() const { return name; }
    bool hidden() const { return is_hidden; }
    form get_form() const { return government; }
    bool is_permanent() const { return permanent; }
    bool is_locked() const { return locked; }
    bool is_moderated() const { return moderated; }
    bool has_light() const { return light; }
    bool censors() const { return censorship; }
    const std::string& get_subject() const { return subject; }
    const std::string& get_password() const { return password; }
    const std::string& get_rank_label() const { return rank_label; }
    const std::string& get_clan() const { return clan; }
    const std::string& get_owner_nickname() const { return owner_nickname; }
    user* get_owner() const { return owner; }
    const std::list<user*>& get_admins() const { return admins; }
    const std::list<user*>& get_members() const { return members; }
    int get_weight() const { return weight; }
    // Per look, the members' part of the room overview every newcomer
    // receives, as the stream shows it and escaped for an applet line; one
    // look's part is written once and extended by each arrival instead of
    // once per newcomer, and newcomers get it by reference.
    struct overview_part {
        const mode_standard* look;
        growing_text html;
        growing_text escaped;
    };
    // The part of `look` while members only arrived since it was written;
    // null when the look must write it anew.
    const overview_part* overview_members(const mode_standard& look) const;

private:
    // Parses one trimmed room file line into name and subject.
    static bool parse_line(const std::string& line, std::string& room_name, std::string& room_subject);
    bool is_admin(const user* u) const;
    // The owner or an admin.
    bool steers(const user* u) const;
    // Sets `flag` to `wanted` for a user who steers the room; true when it changed.
    bool flip(bool& flag, bool wanted, const switch_answers& answers, user* u);
    // Announces `notice` to every member, the target included, then sends the
    // target away.
    void throw_out(user* target, const message& notice);
    // The "ADD"/"DEL" applet line for a nickname.
    static std::string member_line(const char* verb, const std::string& nickname);

    std::string name;
    long id = 0;
    form government;
    bool permanent;
    const mode_standard* mode;  // renders the room's log lines
    bool logged = false;
    long created = 0;
    std::string subject;
    std::string owner_nickname;
    long owner_id = 0;
    user* owner;
    std::list<user*> admins;
    std::list<user*> members;
    // The "NRM" line a newcomer receives, while members only arrive; empty
    // once one leaves or changes his name.
    growing_text member_list;
    // Kept and emptied like member_list.
    std::vector<overview_part> overview_parts;
    // Drops member_list and the overview parts after anything but an arrival.
    void forget_member_lists();
    // Appends `u` to a look's members' part, in both forms.
    static void add_overview_member(overview_part& part, const user& u);
    int weight = 0;
    bool locked = false;
    bool is_hidden = false;
    bool moderated = false;
    bool light = true;
    bool censorship = true;
    std::string password;
    std::string rank_label;
    int rank_level = 0;
    std::string clan;
    user* last_sender = nullptr;
    int repeat_count = 0;
    std::list<std::pair<unsigned, message>> held;
    unsigned moderation_id = 0;
    std::array<std::string, 10> history;
};

template <typename OutputIterator>
void room::load(const std::string& file, OutputIterator out) {
    line_reader rooms(file, "room");
    std::string line;
    while (rooms.next(line)) {
        std::string room_name;
        std::string room_subject;
        if (!parse_line(line, room_name, room_subject)) throw rooms.error("unrecognized syntax");
        *out = std::make_shared<room>(room_name, nullptr, room_subject, form::democracy);
        ++out;
    }
}

}  // namespace vorta
