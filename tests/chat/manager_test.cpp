// The manager's rank table and its memory of users who logged out.
#include "chat/manager.hpp"

#include <gtest/gtest.h>

#include "chat/room.hpp"
#include "net/c_error.hpp"
#include "support/temp_dir.hpp"

namespace {

using vorta::manager;

class manager_ranks : public ::testing::Test {
protected:
    std::string ranks(const std::string& content) { return dir.write("permissions.conf", content); }
    test_support::temp_dir dir;
    manager chat;
};

TEST_F(manager_ranks, a_file_without_ranks_gives_the_single_default_rank) {
    chat.load_permissions(ranks("# no ranks here\n\n"));
    const vorta::permission* visitor = chat.get_permission("VISITOR");
    ASSERT_NE(visitor, nullptr);
    EXPECT_EQ(visitor->name, "visitor");
    EXPECT_EQ(visitor->label, "Visitor");
    EXPECT_EQ(visitor->mark_weight, 4);
    EXPECT_EQ(visitor->vote_weight, 4);
    EXPECT_EQ(visitor->level, 10);
    EXPECT_FALSE(visitor->immune || visitor->can_alarm || visitor->gets_alarm || visitor->can_kick_all ||
                 visitor->can_kill || visitor->sees_ip);
    EXPECT_EQ(visitor->max_ban + visitor->max_lock, 0);
    EXPECT_EQ(chat.get_permission_by_label("visitor"), visitor);
}

TEST_F(manager_ranks, look_ups_ignore_case_and_take_the_first_rank_in_level_order) {
    // "Admin" is a label of one rank and the name of another.
    chat.load_permissions(ranks("boss Admin 9 9 1 1 1 900 1 9999 1 9999 1\n"
                                "admin Moderator 4 4 0 1 1 500 0 60 1 60 1\n"
                                "guest Gast 1 1 0 0 0 5 0 0 0 0 0\n"
                                "boss2 Admin 9 9 1 1 1 100 1 9999 1 9999 1\n"));
    const vorta::permission* by_name = chat.get_permission("ADMIN");
    ASSERT_NE(by_name, nullptr);
    EXPECT_EQ(by_name->label, "Moderator");
    const vorta::permission* by_label = chat.get_permission_by_label("admin");
    ASSERT_NE(by_label, nullptr);
    EXPECT_EQ(by_label->name, "boss2");  // level 100 comes before level 900
    EXPECT_EQ(chat.get_permission("Moderator"), nullptr);
    EXPECT_EQ(chat.get_permission_by_label("guest"), nullptr);
    EXPECT_EQ(chat.get_permission("visitor"), nullptr);  // no default beside real ranks
}

TEST_F(manager_ranks, a_missing_or_malformed_file_is_an_error) {
    EXPECT_THROW(chat.load_permissions(dir.file("absent.conf")), vorta::c_error);
    try {
        chat.load_permissions(ranks("guest Gast 1 1 0 0 0 5 0 0 0 0 0 # comment\n"));
        FAIL();
    } catch (const vorta::c_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "in file '" + dir.file("permissions.conf") + "' at line 1: unrecognized syntax");
    }
}

TEST(manager_logged_out, the_twenty_first_record_pushes_out_the_oldest) {
    manager chat;
    for (int i = 1; i <= 20; ++i)
        chat.add_user_ex(vorta::user_ex("user" + std::to_string(i), vorta::ip("10.0.0." + std::to_string(i)), i));
    ASSERT_NE(chat.get_user_ex("USER1"), nullptr);
    chat.add_user_ex(vorta::user_ex("user21", vorta::ip("10.0.0.21"), 21));
    EXPECT_EQ(chat.get_user_ex("user1"), nullptr);
    ASSERT_NE(chat.get_user_ex("user2"), nullptr);
    EXPECT_EQ(chat.get_user_ex("user21")->get_rank(), 21);
}

TEST(manager_logged_out, a_nickname_seen_twice_finds_the_oldest_record) {
    manager chat;
    chat.add_user_ex(vorta::user_ex("Anna", vorta::ip("10.0.0.1"), 10));
    chat.add_user_ex(vorta::user_ex("anna", vorta::ip("10.0.0.2"), 50));
    const vorta::user_ex* found = chat.get_user_ex("ANNA");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->get_ip().external, "10.0.0.1");
    EXPECT_EQ(chat.get_user_ex("bert"), nullptr);
}

TEST(manager_rooms, the_room_file_gives_permanent_rooms_and_the_default_without_any) {
    test_support::temp_dir dir;
    struct {
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
            EXPECT_TRUE((*first)->is_permanent());
            EXPECT_EQ((*first)->get_owner(), nullptr);
            EXPECT_EQ((*first)->get_form(), vorta::room::form::democracy);
            found.emplace_back((*first)->get_name(), (*first)->get_subject());
        }
        EXPECT_EQ(found, c.rooms) << c.content.substr(0, 40);
    }
    manager chat;
    try {
        chat.load_rooms(dir.write("rooms.conf", "Lobby\n# comment\n-Keller\n"));
        FAIL();
    } catch (const vorta::c_error& error) {
        EXPECT_EQ(std::string(error.what()), "in file '" + dir.file("rooms.conf") + "' at line 3: unrecognized syntax");
    }
    EXPECT_THROW(chat.load_rooms(dir.file("absent.conf")), vorta::c_error);
}

TEST(manager_modes, looks_are_found_by_name_ignoring_case) {
    manager chat;
    EXPECT_EQ(chat.get_mode("PHOTO")->name, "Photo");
    EXPECT_EQ(chat.get_mode("standard")->name, "Standard");
    EXPECT_EQ(chat.get_mode("Plain")->name, "Plain");
    EXPECT_EQ(chat.get_mode(""), nullptr);
    EXPECT_EQ(chat.get_mode("icon"), nullptr);
}

}  // namespace
