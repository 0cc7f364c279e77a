#pragma once
// The program-wide objects, reached by name from every part of the server,
// and the server's log. They are defined in one unit so that they are built in
// this order before the entry point runs and destroyed in reverse afterwards.
#include <string>

namespace vorta {
class scheduler;
class configuration;
class security;
class replacement;
class database;
class manager;
}  // namespace vorta

// The server's version, shown in its banner and by ".ver".
extern const char* const Version;

extern vorta::scheduler Scheduler;
extern vorta::configuration Config;
extern vorta::security Security;
extern vorta::replacement Replace;
extern vorta::database Database;
extern vorta::manager Manager;

// Appends "[<ctime>] <message>" to the log file named by "file.log"
// ("./vcd.log" without one). A log that cannot be opened loses the line.
void write_log(const std::string& message);

// Holds one descriptor in reserve for the log, so that running out of
// descriptors can still be reported. Call it once the process has detached:
// detaching closes every descriptor it inherited.
void reserve_log_descriptor();
