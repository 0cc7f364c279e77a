#include "chat/permission.hpp"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "net/c_error.hpp"
#include "support/temp_dir.hpp"

namespace vorta {
namespace {

test_support::temp_dir& dir() {
    static test_support::temp_dir files;
    return files;
}

// The ranks read from `content`, each written back as its line, followed by
// the error that ended the reading, if any.
std::string load(const std::string& content) {
    std::vector<permission> ranks;
    std::string error;
    try {
        permission::load(dir().write("permissions", content), std::back_inserter(ranks));
    } catch (const c_error& e) {
        error = e.what();
    }
    std::string result;
    for (const permission& p : ranks) {
        result += p.name + " " + p.label;
        for (const int column : {p.mark_weight, p.vote_weight, int(p.immune), int(p.can_alarm),
                                 int(p.gets_alarm), p.level, int(p.can_kick_all), p.max_ban,
                                 int(p.can_kill), p.max_lock, int(p.sees_ip)})
            result += " " + std::to_string(column);
        result += "\n";
    }
    return result + error;
}

std::string syntax_error(int line) {
    return "in file '" + dir().file("permissions") + "' at line " + std::to_string(line) +
           ": unrecognized syntax";
}

TEST(permission_file, reads_every_column_and_stops_at_the_first_faulty_line) {
    const std::string one = "one One 1 1 0 0 0 1 0 0 0 0 0\n";
    const std::string head = "# header\n\n" + one + "   \n";  // the faulty line is line 5
    const struct {
        std::string content;
        std::string read;
    } rows[] = {
        // Distinct numbers and alternating flags show a swapped column.
        {"admin_1 Boss 9999 12 1 0 1 500 0 60 1 1440 0\nv V 4 4 0 1 0 10 1 0 0 0 1\n",
         "admin_1 Boss 9999 12 1 0 1 500 0 60 1 1440 0\nv V 4 4 0 1 0 10 1 0 0 0 1\n"},
        {"# ranks\n\n   \t\n  \t guest Guest 1 1 0 0 0 5 0 0 0 0 0 \t \n   # indented\n"
         "member\tMember\t2 2 0 0 0 20 0 0 0 0 0\r\nlast Last 3 3 0 0 0 30 0 0 0 0 0",
         "guest Guest 1 1 0 0 0 5 0 0 0 0 0\nmember Member 2 2 0 0 0 20 0 0 0 0 0\n"
         "last Last 3 3 0 0 0 30 0 0 0 0 0\n"},
        {"# nothing here\n\n", ""},
        {head + "r R 10000 4 0 0 0 10 0 0 0 0 0\n", one + syntax_error(5)},  // five digits
        {head + "r R 4 4 2 0 0 10 0 0 0 0 0\n", one + syntax_error(5)},      // a flag of 2
        {head + "r R 4 4 0 0 0 10 0 0 0 0 2\n", one + syntax_error(5)},
        {head + "r R 4 4 0 0 0 10 0 0 0 0 0 # note\n", one + syntax_error(5)},
        {head + "r R 4 4 0 0 0 10 0 0 0 0\n", one + syntax_error(5)},  // a column short
        {head + "r-1 R 4 4 0 0 0 10 0 0 0 0 0\n", one + syntax_error(5)},
        // A line of 4096 characters ends the table quietly; 4095 still fit.
        {one + "#" + std::string(4095, 'x') + "\n" + one + "broken\n", one},
        {"#" + std::string(4094, 'x') + "\n" + one, one},
    };
    for (const auto& row : rows) EXPECT_EQ(load(row.content), row.read) << row.content.substr(0, 70);
}

TEST(permission_file, a_missing_file_is_an_error) {
    std::vector<permission> ranks;
    const std::string missing = dir().file("none");
    try {
        permission::load(missing, std::back_inserter(ranks));
        ADD_FAILURE() << "no exception";
    } catch (const c_error& e) {
        EXPECT_EQ(std::string(e.what()), "can't open permission file '" + missing + "'");
    }
    EXPECT_THROW(permission::load(dir().path(), std::back_inserter(ranks)), c_error);
}

}  // namespace
}  // namespace vorta
