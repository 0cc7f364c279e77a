#pragma once
// The operator's check of a configuration before a start or a reload: reads
// the configuration file and the permission, room, security and replacement
// files that it names with the loaders that start-up uses, and reports every
// error, without opening a port, detaching or writing the log.
#include <ostream>
#include <string>
#include <vector>

namespace vorta {

class config_check {
public:
    explicit config_check(std::string config_file) : file(std::move(config_file)) {}

    // Loads every file into the program-wide objects; the text of each error,
    // naming its file and line, in the order of start-up. A configuration
    // that cannot be read hides the files that it would name.
    std::vector<std::string> errors() const;

    // Writes each error as "error: " + its text to `err`, or one line saying
    // to `out` that the files are valid; the exit status: 0 when valid, else 1.
    int run(std::ostream& out, std::ostream& err) const;

private:
    std::string file;
};

}  // namespace vorta
