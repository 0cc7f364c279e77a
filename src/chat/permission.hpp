#pragma once
// One rank of the permission table: how much a user's marks and votes weigh
// and which moderation rights he has. The table is read once from the
// permission file, one rank per line.
#include <string>

#include "util/line_reader.hpp"

namespace vorta {

class permission {
public:
    permission() = default;
    permission(const std::string& name, const std::string& label, const int& mark_weight,
               const int& vote_weight, const bool& immune, const bool& can_alarm,
               const bool& gets_alarm, const int& level, const bool& can_kick_all,
               const int& max_ban, const bool& can_kill, const int& max_lock,
               const bool& sees_ip);
    permission(const permission&) = default;
    permission(permission&&) = default;
    permission& operator=(const permission&) = default;
    permission& operator=(permission&&) = default;
    virtual ~permission() = default;

    // Used as a search key: matches the rank with exactly this name.
    bool operator()(const permission& other) const;
    // Sort order of the table: ascending level.
    bool operator()(const permission& a, const permission& b) const;

    // Appends one rank per data line of `file` to `out`, in file order. Ranks
    // before a faulty line have already been appended when the error is thrown.
    template <typename OutputIterator>
    static void load(const std::string& file, OutputIterator out);

    // Declaration order is the column order of the permission file.
    std::string name;
    std::string label;
    int mark_weight = 0;
    int vote_weight = 0;
    bool immune = false;
    bool can_alarm = false;
    bool gets_alarm = false;
    int level = 0;
    bool can_kick_all = false;
    int max_ban = 0;
    bool can_kill = false;
    int max_lock = 0;
    bool sees_ip = false;

private:
    // Fills `rank` from one trimmed data line; false when the line is not a rank.
    static bool parse_line(const std::string& line, permission& rank);
};

template <typename OutputIterator>
void permission::load(const std::string& file, OutputIterator out) {
    line_reader ranks(file, "permission");
    std::string line;
    while (ranks.next(line)) {
        permission rank;
        if (!parse_line(line, rank)) throw ranks.error("unrecognized syntax");
        *out = rank;
        ++out;
    }
}

}  // namespace vorta
