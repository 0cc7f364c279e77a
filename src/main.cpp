// The daemon's entry point: banner, configuration, detaching, signals, the
// start of the chat and the event loop, and the reload on SIGHUP; or one
// operator's command on the store.
#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <unistd.h>

#include "chat/database.hpp"
#include "chat/manager.hpp"
#include "command_line.hpp"
#include "config/configuration.hpp"
#include "net/c_error.hpp"
#include "net/scheduler.hpp"
#include "process.hpp"
#include "program.hpp"
#include "security/replacement.hpp"
#include "security/security.hpp"
#include "util/c_util.hpp"

namespace {

// Set once in main, read again by every reload.
std::string ConfigFile;

void start_database() {
    using vorta::configuration;
    vorta::database::init();
    Database.start(Config.get(configuration::db_connection),
                   vorta::database::cache_from_text(Config.get(configuration::db_cache)),
                   Config.get_int(configuration::db_clean) != 0);
}

// Runs inside the event loop, never in the signal handler. A file that fails
// to load leaves its previous contents in force and skips the later steps;
// the server goes on.
void reload_config() {
    try {
        Config.reload(ConfigFile);
        Security.reload(Config.get(vorta::configuration::file_security));
        Replace.reload(Config.get(vorta::configuration::file_replace));
        Database.restart();
        write_log("configuration reloaded");
    } catch (const std::exception& error) {
        write_log(std::string("error: ") + error.what());
    }
}

void sig_handler(int number) {
    if (number == SIGTERM) {
        vorta::scheduler::shutdown();
    } else if (number == SIGHUP) {
        vorta::scheduler::call_thread(reload_config);
    }
}

}  // namespace

int main(int argc, char** argv) {
    vorta::command_line words(argc, argv);
    if (!words.starts_daemon()) return words.run(std::cin, std::cout, std::cerr);
    try {
        std::cout << "vorta chat " << Version << std::endl;
        ConfigFile = words.config_file();
        if (ConfigFile.empty()) throw vorta::c_error("no configuration file found");
        Config.load(ConfigFile);
        Security.load(Config.get(vorta::configuration::file_security));
        Replace.load(Config.get(vorta::configuration::file_replace));
        vorta::set_random_seed();
        vorta::raise_descriptor_limit();
        vorta::daemon();
        reserve_log_descriptor();
        // Handlers first: whoever reads the line below may signal at once.
        vorta::signal(SIGPIPE, SIG_IGN);
        vorta::signal(SIGTERM, sig_handler);
        vorta::signal(SIGHUP, sig_handler);
        write_log("daemon started (pid: " + vorta::long_to_string(getpid()) + ")");
        start_database();
        Manager.start();
        Scheduler.add_pass_end(vorta::release_free_memory);
        int left = Scheduler.run();
        Manager.shutdown();
        write_log("smooth shutdown (fds: " + vorta::long_to_string(left) + ")");
        return 0;
    } catch (const std::exception& error) {
        write_log(std::string("error: ") + error.what());
    } catch (...) {
        write_log("error: unknown exception");
    }
    return 1;
}
