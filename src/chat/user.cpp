#include "chat/user.hpp"

#include <sys/time.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "chat/database.hpp"
#include "chat/html_pending.hpp"
#include "chat/manager.hpp"
#include "chat/profile.hpp"
#include "chat/user_ex.hpp"
#include "config/configuration.hpp"
#include "net/c_error.hpp"
#include "net/tcp_socket.hpp"
#include "program.hpp"
#include "render/fragment_cache.hpp"
#include "render/message.hpp"
#include "security/security.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

// Guests count down from -1; registered users take their id from the profile.
int guest_counter = 0;

long next_guest_id() {
    if (guest_counter == INT_MIN) {
        guest_counter = -1;
    } else {
        --guest_counter;
    }
    return guest_counter;
}

long now_seconds() {
    timeval now{};
    gettimeofday(&now, nullptr);
    return now.tv_sec;
}

// The client's answer to the challenge is the challenge with these bits flipped.
constexpr int challenge_key = 0x3C96;

// What a visitor's look is called before he picks one.
constexpr const char* start_mode = "standard";

// Applet connection: ticks without a heartbeat before the session ends.
constexpr int heartbeat_ticks = 5;

// Longest applet line, line feed excluded, that a client may send.
constexpr int max_line = 1024;

void queue_on(tcp_socket& connection, const std::shared_ptr<const std::string>& bytes, room::pace when) {
    if (when == room::pace::soon) {
        connection.writen_soon(bytes);
    } else {
        connection.writen(bytes);
    }
}

}  // namespace

user::user(const int& fd, const std::string& peer_address) : user(peer_address) {
    sockets[0] = std::make_shared<tcp_socket>(&Scheduler, this, fd, heartbeat_ticks);
}

user::user(std::shared_ptr<tcp_socket> connection, const std::string& peer_address) : user(peer_address) {
    connection->set_observer(this);
    connection->set_maxtimer(heartbeat_ticks);
    connection->reset_timer();
    sockets[0] = std::move(connection);
}

user::user(const std::string& peer_address)
    : id(next_guest_id()),
      login_time(now_seconds()),
      challenge(random(1, 16382)),
      random_id(Manager.draw_random_id()),
      address(peer_address),
      rank(Manager.get_default_permission()),
      colour(Config.get(configuration::nick_color)),
      mode(Manager.get_mode(start_mode)),
      skin(Config.get(configuration::css_startskin)),
      skin_path(Config.get(configuration::css_startskinpath)) {}

user::~user() { retire(); }

void user::retire() {
    if (is_retired) return;
    is_retired = true;
    if (room != nullptr) {
        try {
            if (logged) write_user_log("<div class=\"logout\">Logout: " + nickname + "</div>");
            if (registered()) {
                profile record;
                save_profile(record);
                Database.save_profile(record);
            }
            for (user* u : marked_users) u->votes -= rank->mark_weight;
            Manager.add_user_ex(user_ex(nickname, address, rank->level));
            vorta::room* left = room;
            room = nullptr;
            left->leave(this, vorta::room::change::quit);
        } catch (...) {
            // The session is gone whatever failed on the way out.
        }
    }
    marked_users.clear();
    sockets[0].reset();
    sockets[1].reset();
}

void user::fail(const std::exception& error) {
    write_log(std::string("error: ") + error.what());
    Manager.remove(this);
}

bool user::stalled() const {
    for (const auto& socket : sockets)
        if (socket != nullptr && socket->stalled(max_pending_output, stall_grace)) return true;
    return false;
}

// ---- connection events ----------------------------------------------------

void user::on_read(communicator* connection, int count) {
    if (is_retired) return;
    try {
        read_lines(static_cast<tcp_socket*>(connection), count);
    } catch (const std::exception& error) {
        fail(error);
    }
}

void user::read_lines(tcp_socket* connection, int count) {
    while (!quit) {
        std::string line = connection->getline(&count);
        if (line.empty()) {
            if (count > max_line) Manager.remove(this);
            return;
        }
        proto_handler handler = nullptr;
        for (const proto_entry* entry = proto_table; entry->verb != nullptr; ++entry) {
            if (line.compare(0, 3, entry->verb) == 0) {
                handler = entry->handler;
                break;
            }
        }
        if (handler == nullptr) {
            quit = true;
        } else {
            (this->*handler)(line.size() > 3 ? line.substr(3) : std::string());
        }
        if (is_retired) return;
    }
    Manager.remove(this);
}

void user::on_timer(communicator* /*connection*/) {
    if (is_retired) return;
    try {
        send_java("HTB");
        if (sockets[1] != nullptr) sockets[1]->writen(" ");
    } catch (const std::exception& error) {
        fail(error);
    }
}

void user::on_time_out(communicator* /*connection*/) {
    if (is_retired) return;
    try {
        if (room != nullptr) room->send_html(message(mode_standard::msg_disconnected, this), this);
        Manager.remove(this);
    } catch (const std::exception& error) {
        fail(error);
    }
}

void user::on_read_close(communicator* /*connection*/) {
    if (is_retired) return;
    try {
        if (room != nullptr) room->send_html(message(mode_standard::action_quit, this), this);
        Manager.remove(this);
    } catch (const std::exception& error) {
        fail(error);
    }
}

// ---- the browser stream -----------------------------------------------------

void user::add_html_socket(std::shared_ptr<tcp_socket> socket, std::string auth_code,
                           std::string browser_agent) {
    if (is_retired) return;
    if (sockets[1] != nullptr) {
        socket->writen(html_pending::redirect);
        return;
    }
    if (is_authenticated_once(auth_code)) {
        sockets[1] = socket;
        socket->set_observer(this);
        socket->set_maxtimer(0);
        socket->writen(html_pending::stream_head);
        socket->writen(
            "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\" "
            "\"http://www.w3.org/TR/REC-html40/loose.dtd\">"
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-15\">"
            "<title>vorta chat</title><link rel=\"stylesheet\" type=\"text/css\" href=\"http://" +
            Config.get(configuration::css_basic) +
            "\"><link rel=\"stylesheet\" type=\"text/css\" href=\"http://" +
            Config.get(configuration::css_startskinpath) +
            "\"><script type=\"text/javascript\" src=\"http://" + Config.get(configuration::file_js) +
            "\"></script><script type=\"text/javascript\">autoscroll(true);</script></head><body><!--" +
            std::string(1000, ' ') + "-->" + Config.get(configuration::file_welcome));
        user_agent = cut(std::move(browser_agent), configuration::ua_max);
        login_chain();
    }
    if (quit) Manager.remove(this);
}

// ---- output -------------------------------------------------------------------

void user::send_java(const std::string& line) {
    if (is_retired || sockets[0] == nullptr) return;
    sockets[0]->writen(line);
    sockets[0]->writen("\n");
    if (stalled()) Manager.remove_stalled(this);
}

void user::send_java(const std::shared_ptr<const std::string>& line, vorta::room::pace when) {
    if (is_retired || sockets[0] == nullptr) return;
    queue_on(*sockets[0], line, when);
    if (stalled()) Manager.remove_stalled(this);
}

void user::send_java(const growing_text& line) {
    if (is_retired || sockets[0] == nullptr) return;
    sockets[0]->writen(line.owner(), line.view());
    sockets[0]->writen("\n");
    if (stalled()) Manager.remove_stalled(this);
}

// A newcomer of a crowded room would otherwise cost a copy of the whole
// members' part, and its escaping for the applet line.
void user::send_room_info(vorta::room& r) {
    const message m(mode_standard::room_info, &r);
    const vorta::room::overview_part* part = r.overview_members(*mode);
    tcp_socket* connection = sockets[1] != nullptr ? sockets[1].get() : sockets[0].get();
    if (part == nullptr || part->html.empty() || logged || is_retired || connection == nullptr ||
        connection->framed()) {
        send_html(m);
        return;
    }
    std::string head;
    mode->get_room_info_head(head, m);
    if (sockets[1] != nullptr) {
        connection->writen(head);
        connection->writen(part->html.owner(), part->html.view());
        connection->writen("</div>");
    } else {
        std::string line = "TXT \"";
        append_c_escaped(line, head);
        connection->writen(line);
        connection->writen(part->escaped.owner(), part->escaped.view());
        connection->writen("</div>\"\n");
    }
    if (stalled()) Manager.remove_stalled(this);
}

namespace {

// A rendered fragment as the applet receives it while there is no stream.
std::string applet_line(const std::string& html) {
    std::string line = "TXT \"";
    append_c_escaped(line, html);
    line += "\"\n";
    return line;
}

bool from_blocked(const message& m, const std::list<long>& blocked) {
    switch (m.type) {
        case mode_standard::action_say:
        case mode_standard::action_got_whisper:
        case mode_standard::action_got_invited:
        case mode_standard::action_me:
            return m.first_user != nullptr &&
                   std::find(blocked.begin(), blocked.end(), m.first_user->get_id()) != blocked.end();
        default:
            return false;
    }
}

}  // namespace

void user::send_html(const message& m) {
    if (is_retired || from_blocked(m, blocked)) return;
    auto html = std::make_shared<const std::string>(mode->get(m));
    if (logged) write_user_log(*html);
    deliver(sockets[1] != nullptr ? html : std::make_shared<const std::string>(applet_line(*html)));
}

void user::send_html(const message& m, fragment_cache& cache, vorta::room::pace when) {
    if (is_retired || from_blocked(m, blocked)) return;
    fragment_cache::entry& fragment = cache.get(*mode, m);
    if (logged) write_user_log(*fragment.html);
    if (sockets[1] == nullptr && fragment.framed == nullptr)
        fragment.framed = std::make_shared<const std::string>(applet_line(*fragment.html));
    deliver(sockets[1] != nullptr ? fragment.html : fragment.framed, when);
}

// `bytes` is queued by reference: the fragment of a broadcast is held once for
// all its recipients.
void user::deliver(const std::shared_ptr<const std::string>& bytes, vorta::room::pace when) {
    tcp_socket* connection = sockets[1] != nullptr ? sockets[1].get() : sockets[0].get();
    if (connection == nullptr) return;
    queue_on(*connection, bytes, when);
    if (stalled()) Manager.remove_stalled(this);
}

void user::write_user_log(const std::string& html) { Security.user_log(this, html); }

std::string user::cut(std::string value, configuration::keys limit) {
    long max = Config.get_int(limit);
    if (max >= 0 && value.size() > static_cast<std::size_t>(max)) value.resize(static_cast<std::size_t>(max));
    return value;
}

// ---- log-in checks ---------------------------------------------------------------

bool user::is_authenticated_once(const std::string& answer) {
    quit = true;
    if (challenge != 0 && string_to_long(answer, 10) == (challenge ^ challenge_key)) {
        challenge = 0;
        quit = false;
    }
    return !quit;
}

bool user::is_banned_ip() {
    if (banned_mark || Database.banned_ip(address)) refuse_address("banned address");
    return quit;
}

bool user::is_unique_ip() {
    const long max = Config.get_int(configuration::limit_sessions);
    if (!quit && max > 0 && Manager.count_sessions(address.external) >= max) refuse_address("too many sessions");
    return !quit;
}

// The refusal of a banned address; the log line is the one that intrusion
// filters watch for.
void user::refuse_address(const std::string& reason) {
    send_html(message(mode_standard::msg_ip_banned));
    send_java("EXT");
    quit = true;
    write_log("refused " + address.external + ": " + reason);
}

void user::set_nickname(std::string name) {
    std::string old_nickname = std::exchange(nickname, std::move(name));
    Manager.renamed(this, old_nickname);
}

bool user::is_valid_nickname() {
    mode_standard::types refusal = mode_standard::types_end;
    std::string text;
    const std::string valid = Config.get(configuration::nick_valid);
    const auto invalid = nickname.find_first_not_of(valid);
    const long length = static_cast<long>(nickname.size());
    if (invalid != std::string::npos) {
        refusal = mode_standard::msg_nickname_invalid;
        text = html_escape(nickname.substr(invalid, 1));
    } else if (length < Config.get_int(configuration::nick_min)) {
        refusal = mode_standard::msg_nickname_too_short;
    } else if (length > Config.get_int(configuration::nick_max)) {
        refusal = mode_standard::msg_nickname_too_long;
    } else if (!Security.user_access(this)) {
        refusal = mode_standard::msg_nickname_is_censored;
    } else if (Database.locked_nickname(nickname)) {
        refusal = mode_standard::msg_nickname_is_locked;
    } else {
        return true;
    }
    password.clear();
    send_java("NCK");
    send_html(message(refusal, text));
    return false;
}

bool user::is_unique_nickname() {
    user* other = Manager.find_second_nickname(this);
    if (other == nullptr) return true;
    if (other->good()) {
        password.clear();
        send_java("NCK");
        send_html(message(mode_standard::msg_nickname_double, other));
        return false;
    }
    // The other session stopped answering: the new log-in takes its place.
    if (other->room != nullptr) other->room->send_html(message(mode_standard::msg_disconnected, other), other);
    other->send_java("EXT");
    Manager.remove(other);
    return true;
}

bool user::is_registered_nickname() {
    profile record(nickname);
    if (Database.load_profile(record)) {
        load_profile(record);
        if (password.empty()) {
            send_html(message(mode_standard::pw_please));
            send_java("PWD");
        } else {
            // The log-in waits for the store's answer as it would for a line.
            ask_store(nickname, std::exchange(password, std::string()),
                      [this](bool match) { on_login_password(match); });
        }
        return true;
    }
    if (Config.get_int(configuration::all_onlyregs) != 0) {
        password.clear();
        send_html(message(mode_standard::msg_no_unregistered));
        send_java("NCK");
        return true;
    }
    photo = record.get_photo().empty() ? Config.get(configuration::photo_default) : record.get_photo();
    return false;
}

void user::login_chain() {
    if (!is_banned_ip() && is_unique_ip() && is_valid_nickname() && is_unique_nickname() &&
        !is_registered_nickname())
        login();
}

void user::login() {
    send_java("LGN");
    if (registered()) send_java("COL \"" + colour + "\"");
    logged = Security.user_log(this, "");
    if (logged) {
        write_user_log("<div class=\"login\">Login: " + nickname + " [Extern-IP: " + html_escape(address.external) +
                       "; Intern-IP: " + html_escape(address.internal) + "; User-Agent: " +
                       html_escape(user_agent) + "; Referer: " + html_escape(referer) + "]</div>");
    }
    room = Manager.join(wanted_room, this, vorta::room::enter::login, "");
    if (room == nullptr) room = Manager.join("", this, vorta::room::enter::login, "");
    if (rank->gets_alarm) Manager.add_alarm_receiver(this);
    if (skin_path != Config.get(configuration::css_startskinpath)) announce_skin(skin_path);
}

void user::announce_skin(const std::string& path, mode_standard::types type) {
    if (sockets[1] != nullptr) {
        send_html(message(type, path));
    } else {
        send_java("SKN \"" + c_escape(path) + "\"");
    }
}

// ---- marks, blocks, rooms, profiles --------------------------------------------

int user::mark(user* u) {
    if (marked(u)) return -1;
    u->votes += rank->mark_weight;
    marked_users.push_back(u);
    return u->votes;
}

bool user::marked(user* u) const {
    return std::find(marked_users.begin(), marked_users.end(), u) != marked_users.end();
}

void user::unmark(user* u) {
    u->votes -= rank->mark_weight;
    marked_users.remove(u);
}

void user::remove(user* u) {
    marked_users.remove(u);
    // Guest ids are never handed out twice in a run; a registered id stays blocked.
    if (u->get_id() < 0) blocked.remove(u->get_id());
}

void user::add_friend_room(const std::string& room_name) {
    std::move(friend_rooms.begin() + 1, friend_rooms.end(), friend_rooms.begin());
    friend_rooms.back() = room_name;
}

bool user::welcome(const std::string& room_name) const {
    return room_name == previous_room ||
           std::find(friend_rooms.begin(), friend_rooms.end(), room_name) != friend_rooms.end();
}

void user::load_profile(const profile& p) {
    id = p.get_id();
    login_time = p.get_login_time();
    const permission* stored_rank = Manager.get_permission(p.get_rank());
    rank = stored_rank != nullptr ? stored_rank : Manager.get_default_permission();
    const mode_standard* stored_mode = Manager.get_mode(p.get_mode());
    mode = stored_mode != nullptr ? stored_mode : Manager.get_mode(start_mode);
    // A profile never saved (a fresh registration) keeps a new user's skin and colour.
    if (!p.get_skin().empty()) skin = p.get_skin();
    if (!p.get_skin_path().empty()) skin_path = p.get_skin_path();
    show_images = p.get_show_images();
    homepage = p.get_homepage();
    photo = p.get_photo().empty() ? Config.get(configuration::photo_default) : p.get_photo();
    banner = p.get_banner().empty() ? Config.get(configuration::banner_default) : p.get_banner();
    clan = p.get_clan();
    if (!p.get_colour().empty()) colour = p.get_colour();
    blocked = p.get_blocked();
}

void user::save_profile(profile& p) const {
    p.set_id(id);
    p.set_login_time(login_time);
    p.set_nickname(nickname);
    p.set_rank(rank->name);
    p.set_mode(mode->name);
    p.set_skin(skin);
    p.set_skin_path(skin_path);
    p.set_show_images(show_images);
    p.set_homepage(homepage);
    p.set_photo(photo);
    p.set_banner(banner);
    p.set_clan(clan);
    p.set_colour(colour);
    p.set_blocked(blocked);
}

// ---- queries ---------------------------------------------------------------------

bool user::good() const { return sockets[0] != nullptr && sockets[0]->good(1); }

bool user::danger() const { return room != nullptr && room->danger(votes); }

int user::get_permission(const permissions& which) const {
    switch (which) {
        case mark_weight: return rank->mark_weight;
        case vote_weight: return rank->vote_weight;
        case immune: return rank->immune;
        case can_alarm: return rank->can_alarm;
        case gets_alarm: return rank->gets_alarm;
        case level: return rank->level;
        case can_kick_all: return rank->can_kick_all;
        case max_ban: return rank->max_ban;
        case can_kill: return rank->can_kill;
        case max_lock: return rank->max_lock;
    }
    throw c_error("unknown permission case");
}

}  // namespace vorta
