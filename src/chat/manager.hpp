#pragma once
// The chat server's central registry: it owns the two listening servers (the
// applet port and the browser port), the rank table and the memory of users
// who logged out, and routes every accepted connection by the port it came in
// on. One instance exists, the program-wide `Manager`.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "chat/permission.hpp"
#include "chat/user_ex.hpp"
#include "net/observer.hpp"

namespace vorta {

class tcp_server;

class manager : public observer {
public:
    manager() = default;
    ~manager() override;
    manager(const manager&) = delete;
    manager& operator=(const manager&) = delete;

    // Loads the rank table, then opens the applet and browser ports. Throws
    // c_error when a file is missing or malformed or a port cannot be opened.
    void start();
    // Appends the ranks of `file`; with none at all the table holds the single
    // default rank. Sorted by level.
    void load_permissions(const std::string& file);
    // Tells every session that the server stops.
    void shutdown();

    void on_accept(communicator* server, int fd, std::string address) override;
    void on_accept_failed(communicator* server, std::string error) override;

    // First rank, in level order, whose name (or label) equals the argument
    // ignoring case; null when none does.
    const permission* get_permission(const std::string& name) const;
    const permission* get_permission_by_label(const std::string& label) const;

    // Remembers a user who logged out; only the last 20 are kept.
    void add_user_ex(user_ex record);
    // Oldest first; null when the nickname (ignoring case) is not remembered.
    user_ex* get_user_ex(const std::string& nickname);

    bool clan_exist(const std::string& clan) const;
    // Names of the skins the store knows, in name order.
    std::vector<std::string> get_skins() const;

private:
    std::vector<std::shared_ptr<tcp_server>> servers;
    std::vector<permission> permissions;
    std::deque<user_ex> logged_out;
};

}  // namespace vorta
