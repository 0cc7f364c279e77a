// The manager's rank table and its memory of users who logged out.
#include "chat/manager.hpp"

#include <gtest/gtest.h>

#include "chat/room.hpp"
#include "net/c_error.hpp"
#include "support/temp_dir.hpp"

namespace {

using vorta::manager;

// The text of the error that `load` throws, or "" when it throws none.
template <typename Load>
std::string error_of(Load load) {
    try {
        load();
    } catch (const vorta::c_error& error) {
        return error.what();
    }
    return "";
}

TEST(manager_ranks, look_ups_ignore_case_and_a_file_without_ranks_gives_the_default_rank) {
    test_support::temp_dir dir;
    manager chat;
    chat.load_permissions(dir.write("ranks.conf", "# no ranks here\n\n"));
    const vorta::permission* visitor = chat.get_permission("VISITOR");
    ASSERT_NE(visitor, nullptr);
    EXPECT_EQ(visitor->name + " " + visitor->label, "visitor Visitor");
    EXPECT_EQ(std::to_string(visitor->mark_weight) + " " + std::to_string(visitor->vote_weight) + " " +
                  std::to_string(visitor->level),
              "4 4 10");
    EXPECT_FALSE(visitor->immune || visitor->can_alarm || visitor->gets_alarm || visitor->can_kick_all ||
                 visitor->can_kill || visitor->sees_ip || visitor->max_ban || visitor->max_lock);
    EXPECT_EQ(chat.get_permission_by_label("visitor"), visitor);

    // "Admin" is a label of one rank and the name of another; ranks go by level.
    manager ranked;
    ranked.load_permissions(dir.write("ranks.conf", "boss Admin 9 9 1 1 1 900 1 9999 1 9999 1\n"
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

    EXPECT_THROW(chat.load_permissions(dir.file("absent.conf")), vorta::c_error);
    const std::string bad = dir.write("ranks.conf", "guest Gast 1 1 0 0 0 5 0 0 0 0 0 # comment\n");
    EXPECT_EQ(error_of([&] { chat.load_permissions(bad); }), "in file '" + bad + "' at line 1: unrecognized syntax");
}

// Twenty records are kept; a nickname seen twice finds the oldest.
TEST(manager_logged_out, the_twenty_first_record_pushes_out_the_oldest) {
    manager chat;
    for (int i = 1; i <= 19; ++i)
        chat.add_user_ex(vorta::user_ex("user" + std::to_string(i), vorta::ip("10.0.0." + std::to_string(i)), i));
    chat.add_user_ex(vorta::user_ex("USER2", vorta::ip("10.0.0.99"), 99));
    ASSERT_NE(chat.get_user_ex("USER1"), nullptr);
    EXPECT_EQ(chat.get_user_ex("user2")->get_ip().external, "10.0.0.2");
    chat.add_user_ex(vorta::user_ex("user21", vorta::ip("10.0.0.21"), 21));
    EXPECT_EQ(chat.get_user_ex("user1"), nullptr);
    ASSERT_NE(chat.get_user_ex("user3"), nullptr);
    EXPECT_EQ(chat.get_user_ex("user21")->get_rank(), 21);
    EXPECT_EQ(chat.get_user_ex("bert"), nullptr);
}

TEST(manager_rooms, the_room_file_gives_permanent_rooms_and_the_default_without_any) {
    test_support::temp_dir dir;
    const struct {
        std::string content;
        std::vector<std::pair<std::string, std::string>> rooms;  // name, subject
    } cases[] = {
        {"# only a comment\n\n", {{"vorta", ""}}},
        {"Lobby   Der  Treffpunkt \nKeller\n", {{"Lobby", "Der  Treffpunkt"}, {"Keller", ""}}},
        // A line too long for the buffer ends the file there.
        {"Lobby\n" + std::string(5000, 'x') + "\nKeller\n", {{"Lobby", ""}}},
    };
    for (const auto& c : cases) {
        manager chat;
        chat.load_rooms(dir.write("rooms.conf", c.content));
        std::list<std::shared_ptr<vorta::room>>::const_iterator first, last;
        chat.get_rooms(first, last);
        std::vector<std::pair<std::string, std::string>> found;
        for (; first != last; ++first) {
            EXPECT_TRUE((*first)->is_permanent() && (*first)->get_owner() == nullptr);
            EXPECT_EQ((*first)->get_form(), vorta::room::form::democracy);
            found.emplace_back((*first)->get_name(), (*first)->get_subject());
        }
        EXPECT_EQ(found, c.rooms) << c.content.substr(0, 40);
    }
    manager chat;
    const std::string bad = dir.write("rooms.conf", "Lobby\n# comment\n-Keller\n");
    EXPECT_EQ(error_of([&] { chat.load_rooms(bad); }), "in file '" + bad + "' at line 3: unrecognized syntax");
    EXPECT_THROW(chat.load_rooms(dir.file("absent.conf")), vorta::c_error);
}

TEST(manager_modes, looks_are_found_by_name_ignoring_case) {
    manager chat;
    EXPECT_EQ(chat.get_mode("PHOTO")->name + chat.get_mode("standard")->name + chat.get_mode("Plain")->name,
              "PhotoStandardPlain");
    EXPECT_EQ(chat.get_mode(""), nullptr);
    EXPECT_EQ(chat.get_mode("icon"), nullptr);
}

}  // namespace
