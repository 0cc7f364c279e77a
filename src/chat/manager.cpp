#include "chat/manager.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <iterator>

#include "chat/database.hpp"
#include "chat/html_pending.hpp"
#include "chat/user.hpp"
#include "chat/web_pending.hpp"
#include "http/forwarded_address.hpp"
#include "config/configuration.hpp"
#include "net/scheduler.hpp"
#include "net/tcp_server.hpp"
#include "net/tcp_socket.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

// How many users who logged out are remembered for moderators.
constexpr std::size_t logged_out_limit = 20;

// Moves the entry holding `pointer` from `list` to `graveyard`; false when
// there is none.
template <typename T>
bool bury(std::list<std::shared_ptr<T>>& list, const T* pointer, std::vector<std::shared_ptr<T>>& graveyard) {
    auto it = std::find_if(list.begin(), list.end(), equal_to_shared_ptr<T>(pointer));
    if (it == list.end()) return false;
    graveyard.push_back(std::move(*it));
    list.erase(it);
    return true;
}

}  // namespace

manager::manager() : standard_mode("Plain") {}

// Sessions log out while the rooms, ranks and looks still exist; only then go
// the rooms and the listeners. The process is ending: nobody is told who
// leaves, which would cost a line to every member for every departure.
manager::~manager() {
    pending_slots.clear();
    by_nickname.clear();
    by_random_id.clear();
    pendings.clear();
    webs.clear();
    for (const auto& r : rooms) r->forget_members();
    for (const auto& u : users) u->retire();
    users.clear();
    retired_users.clear();
    retired_pendings.clear();
    retired_webs.clear();
    rooms.clear();
    retired_rooms.clear();
    servers.clear();
}

void manager::start() {
    load_permissions(Config.get(configuration::file_permissions));
    load_rooms(Config.get(configuration::file_rooms));
    Scheduler.add_pass_end([this] { end_of_pass(); });
    const std::string host = Config.get(configuration::all_host);
    servers.push_back(std::make_shared<tcp_server>(&Scheduler, this, host, applet_port));
    servers.push_back(std::make_shared<tcp_server>(&Scheduler, this, host, stream_port));
    servers.push_back(std::make_shared<tcp_server>(&Scheduler, this, host, web_port));
}

void manager::load_permissions(const std::string& file) {
    permission::load(file, std::back_inserter(permissions));
    if (permissions.empty()) {
        permissions.emplace_back("visitor", "Visitor", 4, 4, false, false, false, 10, false, 0, false, 0,
                                 false);
    } else {
        // Stable, so that ranks of one level keep their file order for look-ups.
        std::stable_sort(permissions.begin(), permissions.end(), permission());
    }
}

void manager::load_rooms(const std::string& file) {
    room::load(file, std::back_inserter(rooms));
    if (rooms.empty()) rooms.push_back(std::make_shared<room>("vorta", nullptr, "", room::form::democracy));
}

void manager::shutdown() {
    for (const auto& u : users) {
        u->send_html(message(mode_standard::msg_shutdown));
        u->send_java("EXT");
    }
}

void manager::on_accept(communicator* server, int fd, std::string address) {
    // No receive low-water mark: with one, the last byte or two of a request
    // or a line that arrive on their own would wait for more data or the end.
    // Small fragments must not wait for the peer's delayed acknowledgement.
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    try {
        if (!servers.empty() && server == servers[0].get()) {
            add_user(fd, address);
        } else if (servers.size() > 2 && (server == servers[1].get() || server == servers[2].get()) &&
                   !admit_pending(address)) {
            ::close(fd);
        } else if (server == servers[1].get()) {
            add_pending(fd, address);
        } else if (server == servers[2].get()) {
            add_web(fd, address);
        } else {
            ::close(fd);
        }
    } catch (const std::exception& error) {
        // The socket closed the descriptor when it could not take it.
        write_log(std::string("error: ") + error.what());
    }
}

user* manager::add_user(int fd, const std::string& address) {
    users.push_back(std::make_shared<user>(fd, address));
    user* u = users.back().get();
    by_random_id.emplace(u->get_randomid(), u);
    return u;
}

void manager::add_pending(int fd, const std::string& address) {
    pendings.push_back(std::make_shared<html_pending>(fd, address));
    pending_slots.emplace(pendings.back().get(), pending_count.take(address));
}

void manager::add_web(int fd, const std::string& address) {
    webs.push_back(std::make_shared<web_pending>(fd, address));
    pending_slots.emplace(webs.back().get(), pending_count.take(address));
}

bool manager::admit_pending(const std::string& address) {
    const long max = Config.get_int(configuration::limit_pending);
    // A trusted proxy carries every visitor's requests; whom they speak for
    // is only known once the head is read.
    if (max <= 0 || pending_count.count(address) < max ||
        forwarded_address::is_proxy(address, Config.get(configuration::all_proxies)))
        return true;
    const std::time_t now = std::time(nullptr);
    // Bounded: addresses refused more than a minute ago go first; when every
    // entry is recent (a flood from many addresses) the table starts over,
    // which costs at most one more log line per address.
    if (pending_refusals_logged.size() >= 4096) {
        std::erase_if(pending_refusals_logged, [now](const auto& entry) { return now - entry.second >= 60; });
        if (pending_refusals_logged.size() >= 4096) pending_refusals_logged.clear();
    }
    auto [it, first] = pending_refusals_logged.try_emplace(address, now);
    if (first || now - it->second >= 60) {
        it->second = now;
        write_log("refused " + address + ": too many unfinished requests");
    }
    return false;
}

int manager::count_sessions(const std::string& external) const {
    int count = 0;
    for (const auto& u : users)
        if (u->get_room() != nullptr && u->get_ip().external == external) ++count;
    return count;
}

user* manager::add_ws_user(std::shared_ptr<tcp_socket> connection, const std::string& address) {
    users.push_back(std::make_shared<user>(connection, address));
    user* u = users.back().get();
    by_random_id.emplace(u->get_randomid(), u);
    if (const std::size_t buffered = connection->pending_input(); buffered > 0)
        u->on_read(connection.get(), static_cast<int>(std::min<std::size_t>(buffered, INT_MAX)));
    return u;
}

void manager::on_accept_failed(communicator* /*server*/, std::string error) {
    write_log("error: " + error);
}

void manager::add_html_socket(ip address, std::string random_id, std::string auth_code,
                              std::string user_agent, std::shared_ptr<tcp_socket> socket) {
    auto [first, last] = by_random_id.equal_range(random_id);
    for (auto it = first; it != last; ++it) {
        if (it->second->get_ip() == address) {
            it->second->add_html_socket(std::move(socket), std::move(auth_code), std::move(user_agent));
            return;
        }
    }
    socket->writen(html_pending::redirect);
}

void manager::remove(user* u) {
    if (u == nullptr || u->retired()) return;
    for (const auto& other : users) other->remove(u);
    for (const auto& r : rooms) r->remove(u);
    if (u->get_rank().gets_alarm) remove_alarm_receiver(u);
    forget_nickname(u, u->get_nickname());
    forget(by_random_id, u->get_randomid(), u);
    if (bury(users, u, retired_users)) u->retire();
}

void manager::remove(html_pending* pending) {
    if (bury(pendings, pending, retired_pendings)) pending_slots.erase(pending);
}

void manager::remove(web_pending* pending) {
    if (bury(webs, pending, retired_webs)) pending_slots.erase(pending);
}

void manager::remove(room* r) { bury(rooms, r, retired_rooms); }

void manager::remove_stalled(user* u) {
    if (std::find(stalled.begin(), stalled.end(), u) == stalled.end()) stalled.push_back(u);
}

void manager::end_of_pass() {
    // Removed objects stay alive until here, so every u in `stalled` is too.
    while (!stalled.empty()) {
        std::vector<user*> batch;
        batch.swap(stalled);
        for (user* u : batch)
            if (!u->retired()) u->on_time_out(nullptr);
    }
    retired_users.clear();
    retired_pendings.clear();
    retired_webs.clear();
    retired_rooms.clear();
}

room* manager::create(std::string& name, std::string& form, user* owner) {
    name = html_unescape(name);
    const long max = Config.get_int(configuration::room_max);
    if (max >= 0 && name.size() > static_cast<std::size_t>(max)) {
        const std::string::size_type blank = name.substr(0, static_cast<std::size_t>(max)).rfind(' ');
        name.resize(blank != std::string::npos ? blank : static_cast<std::size_t>(max));
    }
    const std::string valid = Config.get(configuration::room_valid);
    for (char& c : name)
        if (valid.find(c) == std::string::npos) c = '_';
    name = html_escape(name);
    if (room* existing = get_room(name)) {
        owner->send_html(message(mode_standard::room_new_failed_doesexist, existing));
        return nullptr;
    }
    room::form government = room::form::democracy;
    if (nocase_equal(form, "dc") || nocase_equal(form, "dictatorship")) {
        government = room::form::dictatorship;
    } else if (nocase_equal(form, "an") || nocase_equal(form, "anarchy")) {
        government = room::form::anarchy;
    }
    rooms.push_back(std::make_shared<room>(name, owner, "", government));
    return rooms.back().get();
}

room* manager::join(const std::string& name, user* u, room::enter how, std::string password) {
    if (room* found = get_room(name)) return found->join(u, how, std::move(password));
    if (name.empty() && !rooms.empty()) return rooms.front()->join(u, how, std::move(password));
    if (how != room::enter::login) u->send_html(message(mode_standard::room_go_failed_noroom, name));
    return nullptr;
}

void manager::add_user_ex(user_ex record) {
    logged_out.push_back(std::move(record));
    while (logged_out.size() > logged_out_limit) logged_out.pop_front();
}

user_ex* manager::get_user_ex(const std::string& nickname) {
    for (user_ex& record : logged_out) {
        if (nocase_equal(record.get_nickname(), nickname)) return &record;
    }
    return nullptr;
}

user* manager::get_user(const std::string& nickname) const {
    for (const auto& u : users)
        if (u->get_room() != nullptr && nocase_equal(u->get_nickname(), nickname)) return u.get();
    return nullptr;
}

room* manager::get_room(const std::string& name) const {
    for (const auto& r : rooms)
        if (nocase_equal(r->get_name(), name)) return r.get();
    return nullptr;
}

void manager::add_alarm_receiver(user* u) { alarm_receivers.push_back(u); }

void manager::remove_alarm_receiver(user* u) { alarm_receivers.remove(u); }

std::vector<user*> manager::get_alarm_receiver() const {
    return std::vector<user*>(alarm_receivers.begin(), alarm_receivers.end());
}

bool manager::clan_exist(const std::string& clan) const { return Database.clan_exist(clan); }

user* manager::find_second_ip(user* u) const {
    const ip address = u->get_ip();
    for (const auto& other : users)
        if (other.get() != u && other->get_ip() == address) return other.get();
    return nullptr;
}

user* manager::find_second_nickname(user* u) const {
    user* found = nullptr;
    auto [first, last] = by_nickname.equal_range(lower_case(u->get_nickname()));
    for (auto it = first; it != last; ++it) {
        if (it->second == u) continue;
        if (it->second->good()) return it->second;
        if (found == nullptr) found = it->second;
    }
    return found;
}

void manager::renamed(user* u, const std::string& old_nickname) {
    forget_nickname(u, old_nickname);
    if (!u->get_nickname().empty()) by_nickname.emplace(lower_case(u->get_nickname()), u);
}

void manager::forget_nickname(user* u, const std::string& nickname) {
    if (!nickname.empty()) forget(by_nickname, lower_case(nickname), u);
}

void manager::forget(std::unordered_multimap<std::string, user*>& index, const std::string& key, user* u) {
    auto [first, last] = index.equal_range(key);
    for (auto it = first; it != last; ++it)
        if (it->second == u) {
            index.erase(it);
            return;
        }
}

std::string manager::draw_random_id() const {
    for (int attempt = 1;; ++attempt) {
        std::string id = long_to_string(random(8096, 57439));
        if (attempt == 16 || by_random_id.count(id) == 0) return id;
    }
}

void manager::get_rooms(std::list<std::shared_ptr<room>>::const_iterator& first,
                        std::list<std::shared_ptr<room>>::const_iterator& last) const {
    first = rooms.begin();
    last = rooms.end();
}

std::vector<std::string> manager::get_skins() const {
    std::vector<std::string> names;
    for (const auto& skin : Database.get_skins()) names.push_back(skin.first);
    return names;
}

const permission* manager::get_permission(const std::string& name) const {
    for (const permission& rank : permissions) {
        if (nocase_equal(rank.name, name)) return &rank;
    }
    return nullptr;
}

const permission* manager::get_permission_by_label(const std::string& label) const {
    for (const permission& rank : permissions) {
        if (nocase_equal(rank.label, label)) return &rank;
    }
    return nullptr;
}

const permission* manager::get_default_permission() const {
    if (const permission* visitor = get_permission("visitor")) return visitor;
    return permissions.empty() ? nullptr : &permissions.front();
}

const mode_standard* manager::get_mode(const std::string& name) const {
    for (const mode_standard* mode : {&standard_mode, static_cast<const mode_standard*>(&icon_mode),
                                      static_cast<const mode_standard*>(&photo_mode)})
        if (nocase_equal(mode->name, name)) return mode;
    return nullptr;
}

std::vector<user*> manager::get_blocked_users(const std::list<long>& ids) const {
    std::vector<user*> found;
    for (const auto& u : users)
        if (std::find(ids.begin(), ids.end(), u->get_id()) != ids.end()) found.push_back(u.get());
    return found;
}

std::vector<user*> manager::get_users() const {
    std::vector<user*> all;
    all.reserve(users.size());
    for (const auto& u : users) all.push_back(u.get());
    return all;
}

}  // namespace vorta
