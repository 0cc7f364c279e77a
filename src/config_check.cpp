#include "config_check.hpp"

#include <exception>
#include <functional>
#include <iterator>
#include <list>
#include <memory>
#include <utility>

#include "chat/permission.hpp"
#include "chat/room.hpp"
#include "config/configuration.hpp"
#include "program.hpp"
#include "security/replacement.hpp"
#include "security/security.hpp"

namespace vorta {

std::vector<std::string> config_check::errors() const {
    std::vector<std::string> found;
    const auto attempt = [&found](const std::function<void()>& load) {
        try {
            load();
            return true;
        } catch (const std::exception& error) {
            found.emplace_back(error.what());
            return false;
        }
    };
    if (!attempt([this] { Config.load(file); })) return found;
    // One broken file does not hide the errors of the others.
    attempt([] { Security.load(Config.get(configuration::file_security)); });
    attempt([] { Replace.load(Config.get(configuration::file_replace)); });
    attempt([] {
        std::vector<permission> ranks;
        permission::load(Config.get(configuration::file_permissions), std::back_inserter(ranks));
    });
    attempt([] {
        std::list<std::shared_ptr<room>> rooms;
        room::load(Config.get(configuration::file_rooms), std::back_inserter(rooms));
    });
    return found;
}

int config_check::run(std::ostream& out, std::ostream& err) const {
    const std::vector<std::string> found = errors();
    for (const std::string& error : found) err << "error: " << error << '\n';
    if (found.empty()) out << "configuration '" << file << "' and the files it names are valid\n";
    out.flush();
    err.flush();
    return found.empty() ? 0 : 1;
}

}  // namespace vorta
