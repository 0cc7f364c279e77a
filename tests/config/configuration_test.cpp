#include "config/configuration.hpp"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "net/c_error.hpp"

namespace {

using cfg = vorta::configuration;

class configuration_test : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/vcd_config_XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir_ = templ;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& content) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    // Loads `content` and returns the error text, or "" when none was thrown.
    std::string load(const std::string& content, cfg& config) {
        const std::string path = write("vcd.conf", content);
        try {
            config.load(path);
        } catch (const vorta::c_error& e) {
            return e.what();
        }
        return "";
    }

    // Loads `content` and expects it to succeed.
    cfg loaded(const std::string& content) {
        cfg config;
        EXPECT_EQ(load(content, config), "");
        return config;
    }

    std::string dir_;
};

TEST_F(configuration_test, error_texts_name_file_and_line) {
    cfg config;
    const std::string missing = dir_ + "/none.conf";
    try {
        config.load(missing);
        FAIL() << "no exception";
    } catch (const vorta::c_error& e) {
        EXPECT_EQ(std::string(e.what()), "can't open configuration file '" + missing + "'");
    }
    // A directory opens as an empty stream; it must not pass for an empty file.
    try {
        config.load(dir_);
        FAIL() << "a directory was read as a configuration";
    } catch (const vorta::c_error& e) {
        EXPECT_EQ(std::string(e.what()), "can't open configuration file '" + dir_ + "'");
    }
    const std::string at = "in file '" + dir_ + "/vcd.conf' at line ";
    // Blank and comment lines count for the line number.
    EXPECT_EQ(load("# comment\n\n   \nnick.max = 5\nNick.min = 3\n", config),
              at + "5: unrecognized syntax");
    EXPECT_EQ(load("\n\tnick.maxx = 5\n", config), at + "2: unknown key");
    for (const char* line : {"nick_max = 5", "nick-max = 5", "nick.max2 = 5", "nick.max 5",
                             "= 5", " nick.max : 5"})
        EXPECT_EQ(load(line, config), at + "1: unrecognized syntax") << line;
    // Lower-case letters and dots only: syntactically fine, but not a key.
    EXPECT_EQ(load("all.host.x = y", config), at + "1: unknown key");
}

TEST_F(configuration_test, failed_load_keeps_earlier_lines_unvalidated) {
    cfg config;
    EXPECT_NE(load("all.path = etc\nbogus line\nnick.max = 5\n", config), "");
    EXPECT_EQ(config.get(cfg::all_path), "etc");
    EXPECT_EQ(config.get(cfg::nick_max), "");
}

TEST_F(configuration_test, line_syntax) {
    const cfg config = loaded(
        "all.search=a\n"
        "\t all.host \t =   \t x y  \n"
        "photo.html = a # b\n"
        "  # all.www = commented.out\n"
        "banner.html =\n"
        "css.startskin = first\n"
        "css.startskin = second\n"
        "db.connection = a=b\n");
    EXPECT_EQ(config.get(cfg::all_search), "a");
    EXPECT_EQ(config.get(cfg::all_host), "x y");
    EXPECT_EQ(config.get(cfg::photo_html), "a # b");
    EXPECT_EQ(config.get(cfg::all_www), "");
    EXPECT_EQ(config.get(cfg::banner_html), "");
    EXPECT_EQ(config.get(cfg::css_startskin), "first");
    EXPECT_EQ(config.get(cfg::db_connection), "a=b");
}

TEST_F(configuration_test, carriage_returns_stay_in_values) {
    const cfg config =
        loaded("all.search = s\r\nnick.max = 20\r\nall.links = 0\r\nroom.max = 5\n"
               "pwd.max =\r\n");
    EXPECT_EQ(config.get(cfg::all_search), "s\r");
    EXPECT_EQ(config.get(cfg::nick_max), "15");
    EXPECT_EQ(config.get(cfg::all_links), "1");
    EXPECT_EQ(config.get(cfg::room_max), "5");
    // With no value, the blanks after "=" swallow the carriage return.
    EXPECT_EQ(config.get(cfg::pwd_max), "15");
}

TEST_F(configuration_test, overlong_line_ends_reading_then_validates) {
    const std::string fits = "photo.html = " + std::string(4095 - 13, 'x');
    cfg config = loaded(fits + "\nnick.max = 9\n");
    EXPECT_EQ(config.get(cfg::photo_html), fits.substr(13));
    EXPECT_EQ(config.get(cfg::nick_max), "9");

    // One more character: reading stops, so the bad line after it is never seen.
    config = loaded("nick.min = 4\n" + fits + "x\nBAD LINE\nnick.max = 9\n");
    EXPECT_EQ(config.get(cfg::nick_min), "4");
    EXPECT_EQ(config.get(cfg::photo_html), "");
    EXPECT_EQ(config.get(cfg::nick_max), "15");
    EXPECT_EQ(config.get(cfg::all_path), "/");  // validation still ran
}

// Every key text, given the value of its own number: each lands on the right
// enumerator, and exactly the listed keys take the local and web rules.
TEST_F(configuration_test, every_key_text_maps_to_its_number) {
    std::vector<std::string> texts = {
        "all.host", "all.www", "all.webpath", "all.path", "all.links", "all.onlyregs",
        "all.search", "file.welcome", "file.permissions", "file.rooms", "file.security",
        "file.replace", "file.log", "file.js", "file.help", "file.kill", "nick.min", "nick.max",
        "nick.valid", "nick.color", "pwd.max", "ua.max", "comment.max", "ref.max", "room.clear",
        "room.max", "room.valid", "photo.default", "photo.width", "photo.height", "photo.html"};
    for (const char* family : {"info", "mark", "unmark", "go", "ban"})
        for (const char* suffix : {".out", ".over", ".clicked", ".width", ".height", ".html"})
            texts.push_back(std::string(family) + suffix);
    for (const char* text : {"banner.default", "banner.width", "banner.height", "banner.html",
                             "css.basic", "css.startskin", "css.startskinpath",
                             "db.connection", "db.cache", "db.clean", "file.www",
                             "limit.pending", "limit.sessions", "all.proxies",
                             "reg.open"})
        texts.push_back(text);
    ASSERT_EQ(texts.size(), static_cast<size_t>(cfg::key_count));

    const std::vector<cfg::keys> local = {cfg::file_permissions, cfg::file_rooms, cfg::file_security,
                                          cfg::file_replace, cfg::file_log, cfg::file_www};
    const std::vector<cfg::keys> web = {
        cfg::file_js, cfg::file_help, cfg::file_kill, cfg::photo_default, cfg::info_out,
        cfg::info_over, cfg::info_clicked, cfg::mark_out, cfg::mark_over, cfg::mark_clicked,
        cfg::unmark_out, cfg::unmark_over, cfg::unmark_clicked, cfg::go_out, cfg::go_over,
        cfg::go_clicked, cfg::ban_out, cfg::ban_over, cfg::ban_clicked, cfg::css_basic,
        cfg::css_startskinpath, cfg::banner_default};
    const auto in = [](const std::vector<cfg::keys>& list, cfg::keys key) {
        return std::find(list.begin(), list.end(), key) != list.end();
    };
    const std::map<cfg::keys, std::string> special = {
        {cfg::all_webpath, "/2/"}, {cfg::all_path, "/3/"}, {cfg::all_links, "1"},
        {cfg::all_onlyregs, "0"}, {cfg::file_welcome, ""}, {cfg::room_clear, "0"},
        {cfg::db_clean, "1"}, {cfg::reg_open, "0"}};

    std::string file;
    for (size_t i = 0; i < texts.size(); ++i) file += texts[i] + " = " + std::to_string(i) + "\n";
    const cfg config = loaded(file);
    for (int i = 0; i < cfg::key_count; ++i) {
        const auto key = static_cast<cfg::keys>(i);
        std::string expected = std::to_string(i);
        if (special.count(key)) expected = special.at(key);
        if (in(local, key)) expected = "/3/" + expected;
        if (in(web, key)) expected = "1/2/" + expected;
        EXPECT_EQ(config.get(key), expected) << texts[i];
    }
}

TEST_F(configuration_test, get_and_get_int) {
    const cfg config = loaded("all.search = 12abc\nnick.max = 007\nphoto.html = -3\n");
    EXPECT_EQ(config.get_int(cfg::all_search), 12);
    EXPECT_EQ(config.get_int(cfg::nick_max), 7);
    EXPECT_EQ(config.get_int(cfg::photo_html), -3);
    EXPECT_EQ(config.get(cfg::all_host), "");
    EXPECT_EQ(config.get_int(cfg::all_host), 0);
    EXPECT_EQ(cfg().get(cfg::nick_min), "");
}

TEST_F(configuration_test, missing_keys_take_fallbacks) {
    const cfg config = loaded("");
    EXPECT_EQ(config.get(cfg::all_webpath), "/");
    EXPECT_EQ(config.get(cfg::all_path), "/");
    EXPECT_EQ(config.get(cfg::all_links), "1");
    EXPECT_EQ(config.get(cfg::all_onlyregs), "0");
    EXPECT_EQ(config.get(cfg::db_clean), "1");
    EXPECT_EQ(config.get(cfg::nick_valid).size(), 62u);
    EXPECT_EQ(config.get(cfg::room_valid).size(), 67u);
    EXPECT_EQ(config.get(cfg::file_log), "");
    EXPECT_EQ(config.get(cfg::file_www), "");  // serves no files
    EXPECT_EQ(config.get(cfg::all_proxies), "");  // trusts nobody's headers
    EXPECT_EQ(config.get(cfg::file_js), "");
    EXPECT_EQ(config.get(cfg::nick_color), "");
}

TEST_F(configuration_test, numbers_fall_back_unless_digits_only) {
    struct number_key {
        cfg::keys key;
        const char* text;
        const char* fallback;
    };
    const std::vector<number_key> numbers = {
        {cfg::nick_min, "nick.min", "1"}, {cfg::nick_max, "nick.max", "15"},
        {cfg::pwd_max, "pwd.max", "15"}, {cfg::ua_max, "ua.max", "100"},
        {cfg::comment_max, "comment.max", "100"}, {cfg::ref_max, "ref.max", "100"},
        {cfg::room_max, "room.max", "20"}, {cfg::photo_width, "photo.width", "50"},
        {cfg::photo_height, "photo.height", "50"}, {cfg::info_width, "info.width", "12"},
        {cfg::info_height, "info.height", "12"}, {cfg::mark_width, "mark.width", "12"},
        {cfg::mark_height, "mark.height", "12"}, {cfg::unmark_width, "unmark.width", "12"},
        {cfg::unmark_height, "unmark.height", "12"}, {cfg::go_width, "go.width", "12"},
        {cfg::go_height, "go.height", "12"}, {cfg::ban_width, "ban.width", "12"},
        {cfg::ban_height, "ban.height", "12"}, {cfg::banner_width, "banner.width", "468"},
        {cfg::banner_height, "banner.height", "60"}, {cfg::limit_pending, "limit.pending", "16"},
        {cfg::limit_sessions, "limit.sessions", "0"}};
    // An empty value is absent, and an absent number silently refused every
    // log-in when "nick.max" read as 0.
    for (const std::string bad : {"abc", "-5", "1 2", "+3", "0x1", "", "absent"}) {
        std::string file;
        if (bad != "absent")
            for (const auto& n : numbers) file += std::string(n.text) + " = " + bad + "\n";
        const cfg config = loaded(file);
        for (const auto& n : numbers)
            EXPECT_EQ(config.get(n.key), n.fallback) << n.text << " = " << bad;
    }
    cfg config = loaded("nick.max = abc\nnick.min = -2\nroom.max = 0042\nbanner.width =\n");
    EXPECT_EQ(config.get(cfg::nick_max), "15");
    EXPECT_EQ(config.get(cfg::nick_min), "1");
    EXPECT_EQ(config.get(cfg::room_max), "0042");
    EXPECT_EQ(config.get_int(cfg::banner_width), 468);
}

TEST_F(configuration_test, flags_must_be_exactly_zero_or_one) {
    for (const std::string bad : {"2", "yes", "", "01", "1\r"}) {
        const cfg config = loaded("all.links = " + bad + "\nall.onlyregs = " + bad +
                                  "\nroom.clear = " + bad + "\ndb.clean = " + bad + "\nreg.open = " + bad);
        EXPECT_EQ(config.get(cfg::all_links), "1") << bad;
        EXPECT_EQ(config.get(cfg::all_onlyregs), "0") << bad;
        EXPECT_EQ(config.get(cfg::room_clear), "0") << bad;
        EXPECT_EQ(config.get(cfg::db_clean), "1") << bad;
        EXPECT_EQ(config.get(cfg::reg_open), "0") << bad;
    }
    const cfg config =
        loaded("all.links = 0\nall.onlyregs = 1\nroom.clear = 1\ndb.clean = 0\nreg.open = 1\n");
    EXPECT_EQ(config.get(cfg::all_links), "0");
    EXPECT_EQ(config.get(cfg::all_onlyregs), "1");
    EXPECT_EQ(config.get(cfg::room_clear), "1");
    EXPECT_EQ(config.get(cfg::db_clean), "0");
    EXPECT_EQ(config.get(cfg::reg_open), "1");
}

TEST_F(configuration_test, character_sets_and_colour) {
    cfg config = loaded("nick.valid = abc\nroom.valid = xyz\nnick.color = aBc0F9\n");
    EXPECT_EQ(config.get(cfg::nick_valid), "abc");
    EXPECT_EQ(config.get(cfg::room_valid), "xyz");
    EXPECT_EQ(config.get(cfg::nick_color), "aBc0F9");

    config = loaded("nick.valid =\nroom.valid =\nnick.color = #FF0000\n");
    EXPECT_EQ(config.get(cfg::nick_valid),
              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
    EXPECT_EQ(config.get(cfg::room_valid),
              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789,;.-_");
    EXPECT_EQ(config.get(cfg::nick_color), "0000FF");

    EXPECT_EQ(loaded("nick.color =\n").get(cfg::nick_color), "");
    EXPECT_EQ(loaded("nick.color = 00GG00\n").get(cfg::nick_color), "0000FF");
}

TEST_F(configuration_test, directories_and_local_files) {
    cfg config = loaded(
        "all.webpath = chat\nall.path = etc\nfile.log = vcd.log\nfile.rooms = /abs/rooms\n"
        "file.permissions = p\nfile.security = s\nfile.replace = r\nfile.www = www\n");
    EXPECT_EQ(config.get(cfg::all_webpath), "/chat/");
    EXPECT_EQ(config.get(cfg::all_path), "/etc/");
    EXPECT_EQ(config.get(cfg::file_log), "/etc/vcd.log");
    EXPECT_EQ(config.get(cfg::file_rooms), "/abs/rooms");
    EXPECT_EQ(config.get(cfg::file_permissions), "/etc/p");
    EXPECT_EQ(config.get(cfg::file_security), "/etc/s");
    EXPECT_EQ(config.get(cfg::file_replace), "/etc/r");
    EXPECT_EQ(config.get(cfg::file_www), "/etc/www");

    config = loaded("all.webpath = /w\nall.path = p/\n");
    EXPECT_EQ(config.get(cfg::all_webpath), "/w/");
    EXPECT_EQ(config.get(cfg::all_path), "/p/");
    config = loaded("all.webpath = /\nall.path = /srv/chat/\n");
    EXPECT_EQ(config.get(cfg::all_webpath), "/");
    EXPECT_EQ(config.get(cfg::all_path), "/srv/chat/");
}

TEST_F(configuration_test, web_addresses) {
    const cfg config = loaded("all.www = chat.example.org:8080/ignored\nall.webpath = chat\n"
                        "file.js = js/chat.js\n"
                        "file.help = /help.html\n"
                        "file.kill = www.example.com/bye.html\n"
                        "photo.default = nobody.gif\n"
                        "css.basic = http://cdn.example.com/basic.css\n"
                        "banner.default = /b.gif\n");
    EXPECT_EQ(config.get(cfg::all_www), "chat.example.org:8080");
    EXPECT_EQ(config.get(cfg::file_js), "chat.example.org:8080/chat/js/chat.js");
    EXPECT_EQ(config.get(cfg::file_help), "chat.example.org:8080/help.html");
    EXPECT_EQ(config.get(cfg::file_kill), "www.example.com/bye.html");
    EXPECT_EQ(config.get(cfg::photo_default), "chat.example.org:8080/chat/nobody.gif");
    EXPECT_EQ(config.get(cfg::css_basic),
              "chat.example.org:8080/chat/http://cdn.example.com/basic.css");
    EXPECT_EQ(config.get(cfg::banner_default), "chat.example.org:8080/b.gif");
    EXPECT_EQ(config.get(cfg::css_startskinpath), "");

    // A scheme in all.www leaves only the scheme and its colon.
    EXPECT_EQ(loaded("all.www = http://host/\nfile.js = /a.js\n").get(cfg::file_js),
              "http:/a.js");
}

TEST_F(configuration_test, welcome_file_is_read_without_line_breaks) {
    write("welcome.html", "<p>Hallo\r\nWelt</p>\n\n<p>!</p>\n");
    cfg config = loaded("all.path = " + dir_ + "\nfile.welcome = welcome.html\n");
    EXPECT_EQ(config.get(cfg::file_welcome), "<p>HalloWelt</p><p>!</p>");
    config = loaded("file.welcome = " + dir_ + "/welcome.html\n");
    EXPECT_EQ(config.get(cfg::file_welcome), "<p>HalloWelt</p><p>!</p>");
    config = loaded("all.path = " + dir_ + "\nfile.welcome = missing.html\n");
    EXPECT_EQ(config.get(cfg::file_welcome), "");
}

TEST_F(configuration_test, reload_replaces_or_restores_everything) {
    write("welcome.html", "hi\n");
    const std::string good = write("good.conf", "all.path = " + dir_ +
                                                    "\nfile.welcome = welcome.html\n"
                                                    "all.search = old\nnick.max = 9\n");
    cfg config;
    config.load(good);
    std::vector<std::string> before;
    for (int i = 0; i < cfg::key_count; ++i) before.push_back(config.get(static_cast<cfg::keys>(i)));
    ASSERT_EQ(config.get(cfg::file_welcome), "hi");

    const std::string bad = write("bad.conf", "nick.max = 3\nall.search = new\nwhat = ever\n");
    for (const std::string& path : {bad, dir_ + "/missing.conf"}) {
        try {
            config.reload(path);
            ADD_FAILURE() << "no exception for " << path;
        } catch (const vorta::c_error& e) {
            const std::string expected = path == bad
                ? "in file '" + bad + "' at line 3: unknown key"
                : "can't open configuration file '" + path + "'";
            EXPECT_EQ(std::string(e.what()), expected);
        }
        for (int i = 0; i < cfg::key_count; ++i)
            EXPECT_EQ(config.get(static_cast<cfg::keys>(i)), before[i]) << i;
    }

    config.reload(write("next.conf", "nick.max = 4\n"));
    EXPECT_EQ(config.get(cfg::nick_max), "4");
    EXPECT_EQ(config.get(cfg::all_search), "");
    EXPECT_EQ(config.get(cfg::file_welcome), "");
}

}  // namespace
