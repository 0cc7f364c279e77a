// The manager's rank table, its rooms file and its memory of users who
// logged out.
#include "chat/manager.hpp"

#include <gtest/gtest.h>

#include "chat/room.hpp"
#include "net/c_error.hpp"
#include "support/temp_dir.hpp"

namespace {

using vorta::manager;

// A file without ranks gives the default rank; "Admin" is a label of one
// rank and the name of another, and ranks go by level.
TEST(manager, ranks_are_found_by_name_or_label_ignoring_case_in_the_order_of_their_levels) {
    test_support::temp_dir dir;
    manager chat;
    chat.load_permissions(dir.write("ranks.conf", "# no ranks here\n\n"));
    const vorta::permission* visitor = chat.get_permission("VISITOR");
    ASSERT_NE(visitor, nullptr);
    EXPECT_EQ(visitor->name + " " + visitor->label + " " + std::to_string(visitor->mark_weight) + " " +
                  std::to_string(visitor->vote_weight) + " " + std::to_string(visitor->level),
              "visitor Visitor 4 4 10");
    EXPECT_FALSE(visitor->immune || visitor->can_alarm || visitor->gets_alarm || visitor->can_kick_all ||
                 visitor->can_kill || visitor->sees_ip || visitor->max_ban || visitor->max_lock);
    EXPECT_EQ(chat.get_permission_by_label("visitor"), visitor);
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
}

// Twenty records are kept; a nickname seen twice finds the oldest.
TEST(manager, the_twenty_first_logged_out_user_pushes_out_the_oldest) {
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

// A line too long for the buffer ends the file there.
TEST(manager, the_room_file_gives_permanent_rooms_and_the_default_without_any) {
    test_support::temp_dir dir;
    const std::pair<std::string, std::vector<std::pair<std::string, std::string>>> rows[] = {
        {"# only a comment\n\n", {{"vorta", ""}}},
        {"Lobby   Der  Treffpunkt \nKeller\n", {{"Lobby", "Der  Treffpunkt"}, {"Keller", ""}}},
        {"Lobby\n" + std::string(5000, 'x') + "\nKeller\n", {{"Lobby", ""}}},
    };
    for (const auto& [content, rooms] : rows) {
        manager chat;
        chat.load_rooms(dir.write("rooms.conf", content));
        std::list<std::shared_ptr<vorta::room>>::const_iterator first, last;
        std::vector<std::pair<std::string, std::string>> found;
        for (chat.get_rooms(first, last); first != last; ++first) {
            EXPECT_TRUE((*first)->is_permanent() && (*first)->get_owner() == nullptr);
            EXPECT_EQ((*first)->get_form(), vorta::room::form::democracy);
            found.emplace_back((*first)->get_name(), (*first)->get_subject());
        }
        EXPECT_EQ(found, rooms) << content.substr(0, 40);
    }
    manager chat;
    const std::string bad = dir.write("rooms.conf", "Lobby\n# comment\n-Keller\n");
    try {
        chat.load_rooms(bad);
        ADD_FAILURE() << "no exception";
    } catch (const vorta::c_error& error) {
        EXPECT_EQ(std::string(error.what()), "in file '" + bad + "' at line 3: unrecognized syntax");
    }
    EXPECT_THROW(chat.load_rooms(dir.file("absent.conf")), vorta::c_error);
    EXPECT_EQ(chat.get_mode("PHOTO")->name + chat.get_mode("standard")->name, "PhotoStandard");
    EXPECT_EQ(chat.get_mode("icon"), nullptr);
}

}  // namespace
