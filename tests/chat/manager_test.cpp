// The manager's rank and room files, its memory of users who logged out, and
// the address pairs that tell users apart.
#include "chat/manager.hpp"

#include <gtest/gtest.h>

#include <iterator>

#include "chat/room.hpp"
#include "net/c_error.hpp"
#include "support/temp_dir.hpp"

namespace vorta {
namespace {

test_support::temp_dir& dir() {
    static test_support::temp_dir files;
    return files;
}

std::string line_of(const permission& p) {
    std::string line = p.name + " " + p.label;
    for (const int column : {p.mark_weight, p.vote_weight, int(p.immune), int(p.can_alarm), int(p.gets_alarm),
                             p.level, int(p.can_kick_all), p.max_ban, int(p.can_kill), p.max_lock, int(p.sees_ip)})
        line += " " + std::to_string(column);
    return line + "\n";
}

// The text of the error that `action` throws, empty for none.
template <typename Action>
std::string error_of(Action action) {
    try {
        action();
    } catch (const c_error& e) {
        return e.what();
    }
    return "";
}

// The ranks read from `file`, each as its line, then the error that ended the reading, if any.
std::string load_file(const std::string& file) {
    std::vector<permission> ranks;
    const std::string error = error_of([&] { permission::load(file, std::back_inserter(ranks)); });
    std::string result;
    for (const permission& p : ranks) result += line_of(p);
    return result + error;
}

std::string syntax_error(const std::string& file, int line) {
    return "in file '" + dir().file(file) + "' at line " + std::to_string(line) + ": unrecognized syntax";
}

TEST(permission_file, reads_every_column_and_stops_at_the_first_faulty_line) {
    const std::string one = "one One 1 1 0 0 0 1 0 0 0 0 0\n";
    const std::string head = "# header\n\n" + one + "   \n", error = one + syntax_error("permissions", 5);
    // Distinct numbers and alternating flags show a swapped column.
    const std::string two = "admin_1 Boss 9999 12 1 0 1 500 0 60 1 1440 0\nv V 4 4 0 1 0 10 1 0 0 0 1\n";
    const std::pair<std::string, std::string> rows[] = {
        {two, two},
        {"# ranks\n\n   \t\n  \t guest Guest 1 1 0 0 0 5 0 0 0 0 0 \t \n   # indented\n"
         "member\tMember\t2 2 0 0 0 20 0 0 0 0 0\r\nlast Last 3 3 0 0 0 30 0 0 0 0 0",
         "guest Guest 1 1 0 0 0 5 0 0 0 0 0\nmember Member 2 2 0 0 0 20 0 0 0 0 0\n"
         "last Last 3 3 0 0 0 30 0 0 0 0 0\n"},
        {"# nothing here\n\n", ""},
        {head + "r R 10000 4 0 0 0 10 0 0 0 0 0\n", error},  // five digits
        {head + "r R 4 4 2 0 0 10 0 0 0 0 0\n", error},      // a flag of 2
        {head + "r R 4 4 0 0 0 10 0 0 0 0 2\n", error},
        {head + "r R 4 4 0 0 0 10 0 0 0 0 0 # note\n", error},
        {head + "r R 4 4 0 0 0 10 0 0 0 0\n", error},  // a column short
        {head + "r-1 R 4 4 0 0 0 10 0 0 0 0 0\n", error},
        // A line of 4096 characters ends the table quietly; 4095 still fit.
        {one + "#" + std::string(4095, 'x') + "\n" + one + "broken\n", one},
        {"#" + std::string(4094, 'x') + "\n" + one, one},
    };
    for (const auto& [content, read] : rows)
        EXPECT_EQ(load_file(dir().write("permissions", content)), read) << content.substr(0, 70);
    EXPECT_EQ(load_file(dir().file("none")), "can't open permission file '" + dir().file("none") + "'");
    EXPECT_NE(load_file(dir().path()), "");
}

// A file without ranks gives the default rank; "Admin" is a label of one
// rank and the name of another, and labels are found in the order of levels.
TEST(manager, ranks_the_last_twenty_users_and_the_rooms) {
    manager chat;
    chat.load_permissions(dir().write("ranks.conf", "# no ranks here\n\n"));
    const permission* visitor = chat.get_permission("VISITOR");
    ASSERT_NE(visitor, nullptr);
    EXPECT_EQ(line_of(*visitor), "visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\n");
    EXPECT_EQ(chat.get_permission_by_label("visitor"), visitor);
    manager ranked;
    ranked.load_permissions(dir().write("ranks.conf", "boss Admin 9 9 1 1 1 900 1 9999 1 9999 1\n"
                                                      "admin Moderator 4 4 0 1 1 500 0 60 1 60 1\n"
                                                      "guest Gast 1 1 0 0 0 5 0 0 0 0 0\n"
                                                      "boss2 Admin 9 9 1 1 1 100 1 9999 1 9999 1\n"));
    ASSERT_NE(ranked.get_permission("ADMIN"), nullptr);
    EXPECT_EQ(ranked.get_permission("ADMIN")->label, "Moderator");
    ASSERT_NE(ranked.get_permission_by_label("admin"), nullptr);
    EXPECT_EQ(ranked.get_permission_by_label("admin")->name, "boss2");  // level 100 before 900
    EXPECT_EQ(ranked.get_permission("Moderator"), nullptr);
    EXPECT_EQ(ranked.get_permission_by_label("guest"), nullptr);
    EXPECT_EQ(ranked.get_permission("visitor"), nullptr);  // no default beside real ranks
    // Twenty logged-out users are kept; a nickname seen twice finds the oldest.
    for (int i = 1; i <= 19; ++i)
        chat.add_user_ex(user_ex("user" + std::to_string(i), ip("10.0.0." + std::to_string(i)), i));
    chat.add_user_ex(user_ex("USER2", ip("10.0.0.99"), 99));
    ASSERT_NE(chat.get_user_ex("USER1"), nullptr);
    EXPECT_EQ(chat.get_user_ex("user2")->get_ip().external, "10.0.0.2");
    chat.add_user_ex(user_ex("user21", ip("10.0.0.21"), 21));
    EXPECT_EQ(chat.get_user_ex("user1"), nullptr);
    ASSERT_NE(chat.get_user_ex("user3"), nullptr);
    EXPECT_EQ(chat.get_user_ex("user21")->get_rank(), 21);
    EXPECT_EQ(chat.get_user_ex("bert"), nullptr);
    // The room file gives permanent rooms, the default without any; a line too
    // long for the buffer ends the file there.
    const std::pair<std::string, std::vector<std::pair<std::string, std::string>>> rows[] = {
        {"# only a comment\n\n", {{"vorta", ""}}},
        {"Lobby   Der  Treffpunkt \nKeller\n", {{"Lobby", "Der  Treffpunkt"}, {"Keller", ""}}},
        {"Lobby\n" + std::string(5000, 'x') + "\nKeller\n", {{"Lobby", ""}}},
    };
    for (const auto& [content, rooms] : rows) {
        manager fresh;
        fresh.load_rooms(dir().write("rooms.conf", content));
        std::list<std::shared_ptr<room>>::const_iterator first, last;
        std::vector<std::pair<std::string, std::string>> found;
        for (fresh.get_rooms(first, last); first != last; ++first) {
            EXPECT_TRUE((*first)->is_permanent() && (*first)->get_owner() == nullptr);
            EXPECT_EQ((*first)->get_form(), room::form::democracy);
            found.emplace_back((*first)->get_name(), (*first)->get_subject());
        }
        EXPECT_EQ(found, rooms) << content.substr(0, 40);
    }
    const std::string bad = dir().write("rooms.conf", "Lobby\n# comment\n-Keller\n");
    EXPECT_EQ(error_of([&] { chat.load_rooms(bad); }), syntax_error("rooms.conf", 3));
    EXPECT_NE(error_of([&] { chat.load_rooms(dir().file("absent.conf")); }), "");
}

// Every entry point lower-cases and leaves other bytes; equal when both parts
// are, ordered by the concatenation of the parts alone.
TEST(ip, parts_are_lower_cased_compared_together_and_ordered_by_their_concatenation) {
    ip assigned;
    assigned.set_extern("ABC-1");
    assigned.set_intern("My.Box");
    EXPECT_EQ(assigned.external + " " + assigned.internal, "abc-1 my.box");
    EXPECT_EQ(ip("FE80::1A", "LocalHost").internal, "localhost");
    EXPECT_EQ(ip("Host.EXAMPLE\xC4").external, "host.example\xC4");
    EXPECT_EQ(ip("10.0.0.1"), ip("10.0.0.1", ""));
    EXPECT_EQ(ip("A", "Inner"), ip("a", "INNER"));
    EXPECT_NE(ip("10.0.0.1", "x"), ip("10.0.0.2", "x"));
    EXPECT_NE(ip("10.0.0.1", "x"), ip("10.0.0.1", "y"));
    EXPECT_LT(ip("10.0.0.1", "z"), ip("10.0.0.2", "a"));
    EXPECT_FALSE(ip("B") < ip("a") || ip("a") < ip("A") || !(ip("a") < ip("B")));
    const ip split("ab", "c"), joined("a", "bc");
    EXPECT_FALSE(split < joined || joined < split || split == joined);
}

}  // namespace
}  // namespace vorta
