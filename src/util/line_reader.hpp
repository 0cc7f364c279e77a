#pragma once
// Reads the data lines of one of the server's text files (configuration,
// ranks, rooms, security rules, replacements), which all share one style:
// lines of at most 4095 characters, trimmed, blank lines and "#" comments
// skipped, and errors that name the file and the line.
#include <fstream>
#include <string>

#include "net/c_error.hpp"

namespace vorta {

class line_reader {
public:
    // `kind` names the file in the error text: "can't open <kind> file '<file>'".
    line_reader(const std::string& file, const std::string& kind);

    // The next trimmed data line. False at the end of the file, and at a line
    // too long for the buffer, which ends reading as if the file ended there.
    bool next(std::string& line);

    // "in file '<file>' at line <n>: <what>", for the line last returned;
    // blank and comment lines count.
    c_error error(const std::string& what) const;

private:
    std::ifstream in_;
    std::string file_;
    long number_ = 0;
};

}  // namespace vorta
