#include "chat/permission.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vorta {
namespace {

class permission_file : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "permXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        file = (std::filesystem::path(dir) / "permissions").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void write(const std::string& content) {
        std::ofstream out(file, std::ios::binary);
        out << content;
    }

    std::vector<permission> load() {
        std::vector<permission> ranks;
        permission::load(file, std::back_inserter(ranks));
        return ranks;
    }

    // The text of the exception `load` throws, or "" when it does not throw.
    std::string load_error(std::vector<permission>* ranks = nullptr) {
        std::vector<permission> local;
        try {
            permission::load(file, std::back_inserter(ranks ? *ranks : local));
        } catch (const c_error& e) {
            return e.what();
        }
        return "";
    }

    std::string syntax_error(int line) {
        return "in file '" + file + "' at line " + std::to_string(line) + ": unrecognized syntax";
    }

    std::string dir;
    std::string file;
};

TEST_F(permission_file, reads_every_column_of_a_line) {
    write("visitor Visitor 4 4 0 0 0 10 0 0 0 0 0\n"
          "admin_1 Boss 9999 12 1 0 1 500 0 60 1 1440 0\n");
    const auto ranks = load();
    ASSERT_EQ(ranks.size(), 2u);

    const permission& v = ranks[0];
    EXPECT_EQ(v.name, "visitor");
    EXPECT_EQ(v.label, "Visitor");
    EXPECT_EQ(v.mark_weight, 4);
    EXPECT_EQ(v.vote_weight, 4);
    EXPECT_FALSE(v.immune);
    EXPECT_FALSE(v.can_alarm);
    EXPECT_FALSE(v.gets_alarm);
    EXPECT_EQ(v.level, 10);
    EXPECT_FALSE(v.can_kick_all);
    EXPECT_EQ(v.max_ban, 0);
    EXPECT_FALSE(v.can_kill);
    EXPECT_EQ(v.max_lock, 0);
    EXPECT_FALSE(v.sees_ip);

    // Distinct numbers and alternating flags show a swapped column.
    const permission& a = ranks[1];
    EXPECT_EQ(a.name, "admin_1");
    EXPECT_EQ(a.label, "Boss");
    EXPECT_EQ(a.mark_weight, 9999);
    EXPECT_EQ(a.vote_weight, 12);
    EXPECT_TRUE(a.immune);
    EXPECT_FALSE(a.can_alarm);
    EXPECT_TRUE(a.gets_alarm);
    EXPECT_EQ(a.level, 500);
    EXPECT_FALSE(a.can_kick_all);
    EXPECT_EQ(a.max_ban, 60);
    EXPECT_TRUE(a.can_kill);
    EXPECT_EQ(a.max_lock, 1440);
    EXPECT_FALSE(a.sees_ip);
}

TEST_F(permission_file, skips_comments_and_blank_lines_and_tolerates_surrounding_blanks) {
    write("# ranks\n"
          "\n"
          "   \t\n"
          "  \t guest Guest 1 1 0 0 0 5 0 0 0 0 0 \t \n"
          "   # indented comment\n"
          "member\tMember\t2 2 0 0 0 20 0 0 0 0 0\r\n"
          "last Last 3 3 0 0 0 30 0 0 0 0 0");  // no final line feed
    const auto ranks = load();
    ASSERT_EQ(ranks.size(), 3u);
    EXPECT_EQ(ranks[0].name, "guest");
    EXPECT_EQ(ranks[0].level, 5);
    EXPECT_EQ(ranks[1].name, "member");
    EXPECT_EQ(ranks[1].level, 20);
    EXPECT_EQ(ranks[2].name, "last");
    EXPECT_EQ(ranks[2].level, 30);
}

TEST_F(permission_file, only_comments_is_an_empty_table) {
    write("# nothing here\n\n");
    EXPECT_TRUE(load().empty());
}

TEST_F(permission_file, rejects_malformed_lines_with_their_line_number) {
    struct bad_line {
        const char* what;
        const char* line;
    };
    const bad_line cases[] = {
        {"five-digit number", "r R 10000 4 0 0 0 10 0 0 0 0 0"},
        {"flag of 2", "r R 4 4 2 0 0 10 0 0 0 0 0"},
        {"last flag of 2", "r R 4 4 0 0 0 10 0 0 0 0 2"},
        {"comment after the last column", "r R 4 4 0 0 0 10 0 0 0 0 0 # note"},
        {"missing column", "r R 4 4 0 0 0 10 0 0 0 0"},
        {"punctuation in the name", "r-1 R 4 4 0 0 0 10 0 0 0 0 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Comment and blank lines count: the faulty line is line 5.
        write("# header\n\nok Ok 1 1 0 0 0 1 0 0 0 0 0\n   \n" + std::string(c.line) + "\n");
        EXPECT_EQ(load_error(), syntax_error(5));
    }
}

TEST_F(permission_file, ranks_before_a_faulty_line_are_already_appended) {
    write("one One 1 1 0 0 0 1 0 0 0 0 0\nbroken\ntwo Two 2 2 0 0 0 2 0 0 0 0 0\n");
    std::vector<permission> ranks;
    EXPECT_EQ(load_error(&ranks), syntax_error(2));
    ASSERT_EQ(ranks.size(), 1u);
    EXPECT_EQ(ranks[0].name, "one");
}

TEST_F(permission_file, a_line_of_4096_characters_ends_the_table_quietly) {
    write("one One 1 1 0 0 0 1 0 0 0 0 0\n"
          "#" + std::string(4095, 'x') + "\n"
          "two Two 2 2 0 0 0 2 0 0 0 0 0\n"
          "this line would be a syntax error\n");
    std::vector<permission> ranks;
    EXPECT_EQ(load_error(&ranks), "");
    ASSERT_EQ(ranks.size(), 1u);
    EXPECT_EQ(ranks[0].name, "one");
}

TEST_F(permission_file, a_line_of_4095_characters_still_fits) {
    write("#" + std::string(4094, 'x') + "\n"
          "two Two 2 2 0 0 0 2 0 0 0 0 0\n");
    const auto ranks = load();
    ASSERT_EQ(ranks.size(), 1u);
    EXPECT_EQ(ranks[0].name, "two");
}

TEST_F(permission_file, missing_file) {
    const std::string missing = dir + "/none";
    std::vector<permission> ranks;
    try {
        permission::load(missing, std::back_inserter(ranks));
        FAIL() << "no exception";
    } catch (const c_error& e) {
        EXPECT_STREQ(e.what(), ("can't open permission file '" + missing + "'").c_str());
    }
    EXPECT_THROW(permission::load(dir, std::back_inserter(ranks)), c_error);
    EXPECT_TRUE(ranks.empty());
}

permission rank(const std::string& name, int level) {
    return permission(name, name, 0, 0, false, false, false, level, false, 0, false, 0, false);
}

TEST(permission, binary_predicate_sorts_by_level) {
    std::vector<permission> ranks{rank("admin", 900), rank("visitor", 10), rank("member", 50),
                                  rank("guest", 0)};
    std::sort(ranks.begin(), ranks.end(), permission());
    ASSERT_EQ(ranks.size(), 4u);
    EXPECT_EQ(ranks[0].name, "guest");
    EXPECT_EQ(ranks[1].name, "visitor");
    EXPECT_EQ(ranks[2].name, "member");
    EXPECT_EQ(ranks[3].name, "admin");

    EXPECT_FALSE(permission()(rank("a", 5), rank("b", 5)));
}

TEST(permission, unary_predicate_matches_the_exact_name) {
    const std::vector<permission> ranks{rank("Member", 50), rank("member", 60)};
    const auto found = std::find_if(ranks.begin(), ranks.end(), rank("member", 0));
    ASSERT_NE(found, ranks.end());
    EXPECT_EQ(found->level, 60);
    EXPECT_EQ(std::find_if(ranks.begin(), ranks.end(), rank("MEMBER", 0)), ranks.end());
}

}  // namespace
}  // namespace vorta
