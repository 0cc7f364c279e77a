#pragma once
// The chat server's central registry: it owns the listening servers, every
// session, every browser connection still sending its request, every
// connection of the web port until it is answered, the rooms, the
// rank table, the three looks and the memory of users who logged out, and
// routes every accepted connection by the port it came in on. One instance
// exists, the program-wide `Manager`.
#include <deque>
#include <list>
#include <memory>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

#include "chat/ip.hpp"
#include "chat/permission.hpp"
#include "chat/room.hpp"
#include "chat/user_ex.hpp"
#include "net/address_count.hpp"
#include "net/observer.hpp"
#include "render/mode_icon.hpp"
#include "render/mode_photo.hpp"
#include "render/mode_standard.hpp"

namespace vorta {

class tcp_server;
class tcp_socket;
class user;
class html_pending;
class web_pending;

// True for a shared pointer that holds the given plain pointer.
template <typename T>
struct equal_to_shared_ptr {
    explicit equal_to_shared_ptr(const T* p) : pointer(p) {}
    bool operator()(const std::shared_ptr<T>& held) const { return held.get() == pointer; }
    const T* pointer;
};

class manager : public observer {
public:
    manager();
    ~manager() override;
    manager(const manager&) = delete;
    manager& operator=(const manager&) = delete;

    // The ports of the line protocol, the browser streams and the web client.
    static constexpr const char* applet_port = "1612";
    static constexpr const char* stream_port = "1613";
    static constexpr const char* web_port = "1614";

    // Loads the rank table and the room file, then opens the applet, stream
    // and web ports. Throws c_error when a file is missing or malformed or a
    // port cannot be opened.
    void start();
    // Appends the ranks of `file`; with none at all the table holds the single
    // default rank. Sorted by level.
    void load_permissions(const std::string& file);
    // Appends the rooms of `file`; with none at all the default room "vorta".
    void load_rooms(const std::string& file);
    // Tells every session that the server stops.
    void shutdown();

    void on_accept(communicator* server, int fd, std::string address) override;
    // Make a session (applet port), a pending browser connection (stream
    // port) or a pending web request (web port) on an accepted descriptor,
    // which they then own.
    user* add_user(int fd, const std::string& address);
    void add_pending(int fd, const std::string& address);
    void add_web(int fd, const std::string& address);
    // Makes a session on a connection that already speaks the line protocol
    // through its transport (a WebSocket after its handshake); `address` is
    // the peer's, as for the applet port. Lines the connection buffered are
    // read at once.
    user* add_ws_user(std::shared_ptr<tcp_socket> connection, const std::string& address);
    void on_accept_failed(communicator* server, std::string error) override;

    // Binds a browser stream to the session with this address and random id,
    // or answers it with the redirect.
    void add_html_socket(ip address, std::string random_id, std::string auth_code,
                         std::string user_agent, std::shared_ptr<tcp_socket> socket);
    // A number for a new session's browser stream that no other session holds
    // while numbers are to spare: sessions behind one address (a proxy, a
    // network behind one router) would otherwise take each other's streams,
    // and a wrong answer ends the session that wrongly got it.
    std::string draw_random_id() const;

    // Forget an object everywhere and drop it. The object stays alive until
    // the current pass of the event loop ends, so one removed from inside its
    // own callback can finish that callback.
    void remove(user* u);
    void remove(html_pending* pending);
    void remove(web_pending* pending);
    void remove(vorta::room* r);
    // Ends a session whose connection stalled at the end of the current pass,
    // as a time-out would, not in the middle of a broadcast.
    void remove_stalled(user* u);
    // Ends what removal and stalls left for the end of a pass; the event loop
    // calls it after every pass.
    void end_of_pass();

    // Makes a room owned by `owner`; `name` is cut and cleaned in place. Null
    // when the name is taken.
    vorta::room* create(std::string& name, std::string& form, user* owner);
    // Puts `u` into the named room (the first room for an empty name); null
    // when the room refuses or does not exist.
    vorta::room* join(const std::string& name, user* u, vorta::room::enter how, std::string password);

    // Remembers a user who logged out; only the last 20 are kept.
    void add_user_ex(user_ex record);
    // Oldest first; null when the nickname (ignoring case) is not remembered.
    user_ex* get_user_ex(const std::string& nickname);

    // The first user in a room with this nickname, ignoring case.
    user* get_user(const std::string& nickname) const;
    vorta::room* get_room(const std::string& name) const;
    void add_alarm_receiver(user* u);
    void remove_alarm_receiver(user* u);
    std::vector<user*> get_alarm_receiver() const;
    bool clan_exist(const std::string& clan) const;
    user* find_second_ip(user* u) const;
    // Another session holding u's nickname, ignoring case, whether in a room
    // or still logging in: a responsive one when there is any.
    user* find_second_nickname(user* u) const;
    // Keeps the index of nicknames in step after u's nickname changed from
    // `old_nickname` (empty: he had none).
    void renamed(user* u, const std::string& old_nickname);
    void get_rooms(std::list<std::shared_ptr<vorta::room>>::const_iterator& first,
                   std::list<std::shared_ptr<vorta::room>>::const_iterator& last) const;
    // Names of the skins the store knows, in name order.
    std::vector<std::string> get_skins() const;
    // First rank, in level order, whose name (or label) equals the argument
    // ignoring case; null when none does.
    const permission* get_permission(const std::string& name) const;
    const permission* get_permission_by_label(const std::string& label) const;
    // The rank of a new session: "visitor", or the lowest rank when the table
    // has no rank of that name.
    const permission* get_default_permission() const;
    // "Plain", "Standard" or "Photo", ignoring case; null for anything else.
    const mode_standard* get_mode(const std::string& name) const;
    std::vector<user*> get_blocked_users(const std::list<long>& ids) const;
    std::vector<user*> get_users() const;
    // Logged-in sessions (in a room) from this external address.
    int count_sessions(const std::string& external) const;
    std::size_t count_pendings() const { return pendings.size(); }
    std::size_t count_webs() const { return webs.size(); }

private:
    // Whether the stream or web port may take one more unfinished request
    // from `address` ("limit.pending"); logs a refusal once a minute per
    // address.
    bool admit_pending(const std::string& address);

    // The counter comes before the lists whose entries hold its slots.
    address_count pending_count;
    std::unordered_map<const void*, address_count::slot> pending_slots;
    std::unordered_map<std::string, std::time_t> pending_refusals_logged;

    // The looks come first so that they outlive the sessions and rooms, whose
    // destruction still renders departures.
    mode_standard standard_mode;
    mode_icon icon_mode;
    mode_photo photo_mode;
    std::vector<std::shared_ptr<tcp_server>> servers;
    std::list<std::shared_ptr<vorta::room>> rooms;
    std::list<std::shared_ptr<user>> users;
    std::list<std::shared_ptr<html_pending>> pendings;
    std::list<std::shared_ptr<web_pending>> webs;
    std::vector<permission> permissions;
    std::list<user*> alarm_receivers;
    // Every session with a nickname, by the nickname in lower case: the check
    // at log-in must not cost a comparison with every session.
    std::unordered_multimap<std::string, user*> by_nickname;
    void forget_nickname(user* u, const std::string& nickname);
    // Every session by the number its browser stream names.
    std::unordered_multimap<std::string, user*> by_random_id;
    static void forget(std::unordered_multimap<std::string, user*>& index, const std::string& key, user* u);
    std::deque<user_ex> logged_out;

    // Removed objects that may still be inside one of their callbacks.
    std::vector<std::shared_ptr<user>> retired_users;
    std::vector<std::shared_ptr<html_pending>> retired_pendings;
    std::vector<std::shared_ptr<web_pending>> retired_webs;
    std::vector<std::shared_ptr<vorta::room>> retired_rooms;
    std::vector<user*> stalled;
};

}  // namespace vorta
