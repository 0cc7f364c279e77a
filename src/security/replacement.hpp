#pragma once
// The operator's table of word replacements for chat texts: pairs of a
// pattern and a format ("$1" for the first group, a backslash for a literal
// character), read from the replacement file and applied in file order, each
// to the output of the ones before.
#include <string>
#include <utility>
#include <vector>

#include "security/pattern.hpp"

namespace vorta {

class replacement {
public:
    replacement() = default;
    replacement(const replacement&) = delete;
    replacement& operator=(const replacement&) = delete;

    // Appends the file's pairs. Throws c_error when the file cannot be read
    // or a line is no pair; the pairs before that line stay.
    void load(const std::string& file);
    // Replaces the table by the file's pairs, or keeps the old table and
    // throws when the file is faulty.
    void reload(const std::string& file);
    void replace(std::string& text) const;

    std::size_t size() const { return replacements.size(); }

private:
    std::vector<std::pair<pattern, std::string>> replacements;
};

}  // namespace vorta
