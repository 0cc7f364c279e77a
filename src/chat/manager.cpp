#include "chat/manager.hpp"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>

#include "chat/database.hpp"
#include "config/configuration.hpp"
#include "net/tcp_server.hpp"
#include "program.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

// How many users who logged out are remembered for moderators.
constexpr std::size_t logged_out_limit = 20;

}  // namespace

manager::~manager() = default;

void manager::start() {
    load_permissions(Config.get(configuration::file_permissions));
    const std::string host = Config.get(configuration::all_host);
    servers.push_back(std::make_shared<tcp_server>(&Scheduler, this, host, "1612"));
    servers.push_back(std::make_shared<tcp_server>(&Scheduler, this, host, "1613"));
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

void manager::shutdown() {}

void manager::on_accept(communicator* /*server*/, int fd, std::string /*address*/) {
    int low_water = 3;
    setsockopt(fd, SOL_SOCKET, SO_RCVLOWAT, &low_water, sizeof low_water);
    // No session type takes connections yet.
    ::close(fd);
}

void manager::on_accept_failed(communicator* /*server*/, std::string error) {
    write_log("error: " + error);
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

bool manager::clan_exist(const std::string& clan) const { return Database.clan_exist(clan); }

std::vector<std::string> manager::get_skins() const {
    std::vector<std::string> names;
    for (const auto& skin : Database.get_skins()) names.push_back(skin.first);
    return names;
}

}  // namespace vorta
