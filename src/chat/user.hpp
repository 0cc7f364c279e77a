#pragma once
// One visitor's session. It owns the visitor's two connections, the applet
// connection (the line protocol) and, once the browser asked for it, the
// browser stream that receives the chat as an endless HTML page, and it is the
// observer of both. It runs the log-in checks, the protocol verbs and the dot
// commands, and renders every message it receives in the visitor's look.
#include <array>
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "chat/ip.hpp"
#include "chat/permission.hpp"
#include "chat/room.hpp"
#include "config/configuration.hpp"
#include "net/observer.hpp"
#include "render/mode_standard.hpp"
#include "security/repetition.hpp"

namespace vorta {

class tcp_socket;
class profile;
class fragment_cache;
class growing_text;
class message;

class user : public observer {
public:
    // Selects one right of the user's rank.
    enum permissions {
        mark_weight, vote_weight, immune, can_alarm, gets_alarm, level, can_kick_all, max_ban,
        can_kill, max_lock
    };

    // Unsent output beyond which a connection whose peer takes nothing for
    // `stall_grace` counts as stalled, and the session ends as if it had
    // timed out. A burst larger than this (the member list of a crowded room)
    // is no stall while the peer keeps reading.
    static constexpr std::size_t max_pending_output = 1 << 20;
    static constexpr std::chrono::milliseconds stall_grace{2000};

    user(const int& fd, const std::string& peer_address);
    // A session on a connection that is open already (a WebSocket whose
    // transport turns its frames into lines); the session observes it from now on.
    user(std::shared_ptr<tcp_socket> connection, const std::string& peer_address);
    user(const user&) = delete;
    user& operator=(const user&) = delete;
    // Leaves the room and logs out (see retire).
    ~user() override;

    void on_read(communicator* connection, int count) override;
    void on_timer(communicator* connection) override;
    void on_time_out(communicator* connection) override;
    void on_read_close(communicator* connection) override;

    // The browser request that carries this session's address and random id.
    void add_html_socket(std::shared_ptr<tcp_socket> socket, std::string auth_code,
                         std::string browser_agent);
    // Queues `line` + "\n" on the applet connection.
    void send_java(const std::string& line);
    // The same for a line, line feed included, that many members receive:
    // queued by reference.
    void send_java(const std::shared_ptr<const std::string>& line,
                   vorta::room::pace when = vorta::room::pace::now);
    // The same for a line, without its line feed, that a room keeps for
    // every newcomer.
    void send_java(const growing_text& line);
    // Delivers the overview of `r`, which he has just entered, as
    // send_html(message(room_info, r)) would: the members' part that the room
    // keeps for his look goes by reference.
    void send_room_info(vorta::room& r);
    // Renders `m` in this user's look and delivers it to the browser stream,
    // or as a "TXT" line while there is none.
    void send_html(const message& m);
    // The same for one recipient of a broadcast, whose fragments `cache` keeps.
    void send_html(const message& m, fragment_cache& cache,
                   vorta::room::pace when = vorta::room::pace::now);

    bool is_authenticated_once(const std::string& answer);
    bool is_banned_ip();
    // False when the address holds "limit.sessions" logged-in sessions already.
    bool is_unique_ip();
    bool is_valid_nickname();
    bool is_unique_nickname();
    bool is_registered_nickname();
    void login();

    int mark(user* u);
    bool marked(user* u) const;
    void unmark(user* u);
    // Forgets a departing user.
    void remove(user* u);
    void add_friend_room(const std::string& room_name);
    bool welcome(const std::string& room_name) const;
    void load_profile(const profile& p);
    void save_profile(profile& p) const;

    // The end-of-session work of the destructor, done at once when the manager
    // removes the session: logs out, leaves the room and closes both
    // connections. The object itself may live on until the callback that
    // removed it returns. Runs once.
    void retire();
    // True once the session has been removed; it ignores every event then.
    bool retired() const { return is_retired; }
    // A connection holds more unsent output than allowed.
    bool stalled() const;

    long get_id() const { return id; }
    ip get_ip() const { return address; }
    const std::string& get_nickname() const { return nickname; }
    const std::string& get_randomid() const { return random_id; }
    const std::string& get_clan() const { return clan; }
    const std::string& get_referer() const { return referer; }
    const std::string& get_user_agent() const { return user_agent; }
    const std::string& get_colour() const { return colour; }
    const std::string& get_status() const { return status; }
    const std::string& get_skin() const { return skin; }
    const std::string& get_photo() const { return photo; }
    const std::string& get_banner() const { return banner; }
    const std::string& get_homepage() const { return homepage; }
    const std::string& get_internal_ip() const { return address.internal; }
    bool get_show_images() const { return show_images; }
    const std::list<long>& get_blocked() const { return blocked; }
    const permission& get_rank() const { return *rank; }
    const mode_standard* get_mode() const { return mode; }
    vorta::room* get_room() const { return room; }
    int get_votes() const { return votes; }
    bool registered() const { return id > 0; }
    bool good() const;
    bool has_stream() const { return sockets[1] != nullptr; }
    int get_permission(const permissions& which) const;
    bool danger() const;
    void set_status(std::string s) { status = std::move(s); }

private:
    // Everything but the applet connection.
    explicit user(const std::string& peer_address);

    // Refuses the log-in as from a banned address and logs why.
    void refuse_address(const std::string& reason);
    // Every change of the nickname goes through here, so that the manager's
    // index of nicknames stays in step.
    void set_nickname(std::string name);

    using proto_handler = void (user::*)(std::string);
    struct proto_entry {
        const char* verb;
        proto_handler handler;
    };
    static const proto_entry proto_table[];

    // The protocol verbs of the applet connection.
    void on_proto_text(std::string rest);
    void on_proto_heartbeat(std::string rest);
    void on_proto_color(std::string rest);
    void on_proto_room_password(std::string rest);
    void on_proto_morph_password(std::string rest);
    void on_proto_login(std::string rest);
    void on_proto_authentication(std::string rest);
    void on_proto_nickname(std::string rest);
    void on_proto_password(std::string rest);

    // A command line split into (word, rest of the line after it) pairs:
    // the command, its first and its second argument.
    using command_words = std::vector<std::pair<std::string, std::string>>;
    using command_handler = void (user::*)(const command_words&);
    struct command_entry {
        const char* name;
        const char* alias;  // null when the command has none
        command_handler handler;
    };
    static const command_entry command_table[];

    // Says `text` (HTML-escaped) or runs the dot command it holds.
    void run_command(const std::string& text);
    void say(mode_standard::types type, std::string text);
    // An empty word, or this user's own nickname ignoring case.
    bool is_own_or_empty(const std::string& word) const;
    // The other user a command names, in some room. Null after answering
    // `syntax` for an empty word or the own nickname, or `no_user` with the
    // word when nobody of that name is in a room.
    user* named_user(const std::string& word, const message& syntax, mode_standard::types no_user);
    // A room change by command: `syntax` answers an empty name, a refusal
    // the current room's name; otherwise the user enters the room if it lets
    // him in.
    void go_to(std::string name, vorta::room::change why, mode_standard::types syntax);
    // A command that hands the nickname of another user to a room operation.
    void ask_room(const command_words& words, mode_standard::types syntax,
                  void (vorta::room::*operation)(const std::string&, user*));
    // The checks of both bans, in their order; `target_level` is null when
    // nobody of that name was found. True when the ban may go ahead.
    bool may_ban(const std::string& name, const int* target_level, mode_standard::types syntax,
                 mode_standard::types no_user);
    // The number in `word`, `fallback` when below 1, at most `cap`.
    static int duration(const std::string& word, int fallback, int cap);

    // The dot commands.
    void on_cmd_me(const command_words& words);
    void on_cmd_lock(const command_words& words);
    void on_cmd_open(const command_words& words);
    void on_cmd_hide(const command_words& words);
    void on_cmd_show(const command_words& words);
    void on_cmd_moderate(const command_words& words);
    void on_cmd_unmoderate(const command_words& words);
    void on_cmd_lightoff(const command_words& words);
    void on_cmd_lighton(const command_words& words);
    void on_cmd_censoroff(const command_words& words);
    void on_cmd_censoron(const command_words& words);
    void on_cmd_password(const command_words& words);
    void on_cmd_rank(const command_words& words);
    void on_cmd_clan(const command_words& words);
    void on_cmd_ok(const command_words& words);
    void on_cmd_rooms(const command_words& words);
    void on_cmd_room(const command_words& words);
    void on_cmd_users(const command_words& words);
    void on_cmd_user(const command_words& words);
    void on_cmd_go(const command_words& words);
    void on_cmd_goback(const command_words& words);
    void on_cmd_newroom(const command_words& words);
    void on_cmd_makeadmin(const command_words& words);
    void on_cmd_unmakeadmin(const command_words& words);
    void on_cmd_setsubject(const command_words& words);
    void on_cmd_invite(const command_words& words);
    void on_cmd_goinvited(const command_words& words);
    void on_cmd_goalarm(const command_words& words);
    void on_cmd_whisper(const command_words& words);
    void on_cmd_block(const command_words& words);
    void on_cmd_unblock(const command_words& words);
    void on_cmd_mark(const command_words& words);
    void on_cmd_unmark(const command_words& words);
    void on_cmd_kick(const command_words& words);
    void on_cmd_ban(const command_words& words);
    void on_cmd_banex(const command_words& words);
    void on_cmd_locknickname(const command_words& words);
    void on_cmd_alarm(const command_words& words);
    void on_cmd_morph(const command_words& words);
    void on_cmd_history(const command_words& words);
    void on_cmd_newmode(const command_words& words);
    void on_cmd_newskin(const command_words& words);
    void on_cmd_help(const command_words& words);
    void on_cmd_css(const command_words& words);
    void on_cmd_kill(const command_words& words);
    void on_cmd_version(const command_words& words);
    void on_cmd_exit(const command_words& words);
    void on_cmd_allmsg(const command_words& words);
    void on_cmd_register(const command_words& words);

    // The writer's own filters. `spammer` counts repeated texts and links
    // and anchors the links of `text`; `censor` asks the security rules.
    // Each is true when the text made the writer leave (or he was leaving).
    bool spammer(std::string& text);
    bool censor(const std::string& text);
    // Collects the links of `text` and, unless "all.links" is 0, turns its
    // addresses into HTML links.
    void anchors(std::string& text);

    // Reads and dispatches the complete lines that `connection` has buffered.
    void read_lines(tcp_socket* connection, int count);
    // `value` cut to the length the configuration allows for it.
    static std::string cut(std::string value, configuration::keys limit);
    // Hands a new style sheet to the browser stream as a message of `type`,
    // or to the applet without one.
    void announce_skin(const std::string& path, mode_standard::types type = mode_standard::intern_css);
    // Takes on the identity of the registered nickname in `morph_target`.
    void morph(const profile& target);

    // Has the store check `typed` against the password of `account` off the
    // loop; the session waits meanwhile and `then` runs with the answer if
    // it still lives. A throttled address gets no check: the answer is no.
    void ask_store(const std::string& account, std::string typed, std::function<void(bool)> then);
    // The answers to a password: given at log-in, typed after "PWD", and
    // typed for a morph to `target`.
    void on_login_password(bool match);
    void on_password_answer(bool match);
    void on_morph_answer(const std::string& target, bool match);
    // Logs a wrong password for this nickname and counts it for the address.
    void wrong_password();
    // Runs after an answer from the store: ends a session that is to quit.
    void settle();
    // The log-in chain from the address check on.
    void login_chain();
    // Moves into `target` after `manager::join` admitted the user there.
    void switch_room(vorta::room* target, vorta::room::change why);
    void write_user_log(const std::string& html);
    // Queues a rendered fragment on the stream, or its applet line on the applet
    // connection while there is no stream.
    void deliver(const std::shared_ptr<const std::string>& bytes,
                 vorta::room::pace when = vorta::room::pace::now);
    // Ends the session after an event handler failed.
    void fail(const std::exception& error);

    long id;
    long login_time;
    std::array<std::shared_ptr<tcp_socket>, 2> sockets;
    bool quit = false;
    bool logged = false;
    int challenge;
    std::string random_id;
    ip address;
    std::string nickname;
    std::string password;
    std::string wanted_room;
    // The user agent, referer, internal address and comment are stored as the
    // client sent them: whoever inserts them into HTML escapes them there.
    std::string user_agent;
    std::string referer;
    std::string comment;
    bool banned_mark = false;
    const permission* rank;
    std::string clan;
    std::string homepage;
    std::string photo;
    std::string banner;
    bool show_images = false;
    signed char wrong_passwords = 0;
    std::string colour;
    bool can_alarm_now = true;
    std::string morph_target;
    vorta::room* room = nullptr;
    std::string status = "-";
    std::string previous_room;
    std::string invited_room;
    std::array<std::string, 10> friend_rooms;
    std::string alarm_room;
    repetition recent;
    std::vector<std::string> links;  // of the text being filtered
    const mode_standard* mode;
    std::string skin;
    std::string skin_path;
    int votes = 0;
    std::list<user*> marked_users;
    std::list<long> blocked;
    bool is_retired = false;
    // A password check or a registration is under way off the loop.
    bool verifying = false;
    bool registering = false;
    // Answers from off the loop find the session through this; it dies with it.
    std::shared_ptr<char> life = std::make_shared<char>();
};

}  // namespace vorta
