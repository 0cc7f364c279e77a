// The daemon's entry point: banner, configuration, detaching, signals, the
// start of the chat and the event loop, and the reload on SIGHUP.
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>

#include "chat/database.hpp"
#include "chat/manager.hpp"
#include "config_check.hpp"
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

// The configuration file: `named` when given, else the one VCCONFIG names,
// else empty.
std::string config_file(const char* named) {
    if (named == nullptr) named = std::getenv("VCCONFIG");
    return named != nullptr ? named : "";
}

// "check [FILE]" or "-c FILE check": the configuration file to check (empty
// when none is found), else nothing.
std::optional<std::string> check_request(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "check") return config_file(argc > 2 ? argv[2] : nullptr);
    if (argc > 3 && std::string(argv[1]) == "-c" && std::string(argv[3]) == "check") return config_file(argv[2]);
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto checked = check_request(argc, argv)) {
        if (checked->empty()) {
            std::cerr << "error: no configuration file found" << std::endl;
            return 1;
        }
        return vorta::config_check(*checked).run(std::cout, std::cerr);
    }
    try {
        std::cout << "vorta chat " << Version << std::endl;
        ConfigFile = config_file(argc > 1 ? argv[1] : nullptr);
        if (ConfigFile.empty()) throw vorta::c_error("no configuration file found");
        Config.load(ConfigFile);
        Security.load(Config.get(vorta::configuration::file_security));
        Replace.load(Config.get(vorta::configuration::file_replace));
        vorta::set_random_seed();
        vorta::raise_descriptor_limit();
        vorta::daemon();
        reserve_log_descriptor();
        write_log("daemon started (pid: " + vorta::long_to_string(getpid()) + ")");
        vorta::signal(SIGPIPE, SIG_IGN);
        vorta::signal(SIGTERM, sig_handler);
        vorta::signal(SIGHUP, sig_handler);
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
