#include "program.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "chat/database.hpp"
#include "chat/manager.hpp"
#include "config/configuration.hpp"
#include "net/scheduler.hpp"
#include "security/replacement.hpp"
#include "security/security.hpp"
#include "util/c_util.hpp"

const char* const Version = "2.2.0 D";

// The tick of the event loop, in seconds.
vorta::scheduler Scheduler(12);
vorta::configuration Config;
vorta::security Security;
vorta::replacement Replace;
vorta::database Database;
vorta::manager Manager;

namespace {

// A descriptor kept open only so that it can be given up for the log.
int log_reserve = -1;
bool log_reserve_wanted = false;

std::FILE* open_log(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "ae");
    if (file == nullptr && (errno == EMFILE || errno == ENFILE) && log_reserve >= 0) {
        ::close(log_reserve);
        log_reserve = -1;
        file = std::fopen(path.c_str(), "ae");
    }
    return file;
}

}  // namespace

void reserve_log_descriptor() {
    log_reserve_wanted = true;
    if (log_reserve < 0) log_reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

void write_log(const std::string& message) {
    std::string path = Config.get(vorta::configuration::file_log);
    if (path.empty()) path = "./vcd.log";
    std::FILE* file = open_log(path);
    if (file != nullptr) {
        const std::string stamp = vorta::time_text();
        // Built by appending: prepending to a temporary ("[" + ...) makes
        // GCC 12 at -O2 report a false overlap.
        std::string line;
        line.reserve(stamp.size() + message.size() + 4);
        line.append("[").append(stamp).append("] ").append(message).append("\n");
        std::fwrite(line.data(), 1, line.size(), file);
        std::fclose(file);
    }
    if (log_reserve_wanted) reserve_log_descriptor();
}
