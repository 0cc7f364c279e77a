#include "program.hpp"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "chat/database.hpp"
#include "chat/manager.hpp"
#include "config/configuration.hpp"
#include "net/scheduler.hpp"

// The tick of the event loop, in seconds.
vorta::scheduler Scheduler(12);
vorta::configuration Config;
vorta::database Database;
vorta::manager Manager;

void write_log(const std::string& message) {
    std::string path = Config.get(vorta::configuration::file_log);
    if (path.empty()) path = "./vcd.log";
    std::FILE* file = std::fopen(path.c_str(), "ae");
    if (file == nullptr) return;
    std::time_t now = std::time(nullptr);
    char stamp[64] = "";
    if (ctime_r(&now, stamp) == nullptr) stamp[0] = '\0';
    std::string line = "[" + std::string(stamp, std::strcspn(stamp, "\r\n")) + "] " + message + "\n";
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
}
