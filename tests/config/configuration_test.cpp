// The configuration file: its line syntax and errors, every key text, and the
// rules that normalise and default the values after reading.
#include "config/configuration.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "net/c_error.hpp"
#include "support/temp_dir.hpp"

namespace {

using cfg = vorta::configuration;
using strings = std::vector<std::string>;

strings words(const std::string& text) {
    std::istringstream in(text);
    strings all;
    for (std::string word; in >> word;) all.push_back(word);
    return all;
}

// The text of every key, in the order of the enumeration.
const strings key_texts = [] {
    strings texts;
    for (const std::string& word : words(
             "all.host all.www all.webpath all.path all.links all.onlyregs all.search file.welcome "
             "file.permissions file.rooms file.security file.replace file.log file.js file.help "
             "file.kill nick.min nick.max nick.valid nick.color pwd.max ua.max comment.max ref.max "
             "room.clear room.max room.valid photo.default photo.width photo.height photo.html "
             "info mark unmark go ban banner.default banner.width banner.height banner.html "
             "css.basic css.startskin css.startskinpath db.connection db.cache db.clean file.www "
             "limit.pending limit.sessions all.proxies reg.open")) {
        if (word.find('.') != std::string::npos) texts.push_back(word);
        for (const char* suffix : {".out", ".over", ".clicked", ".width", ".height", ".html"})
            if (word.find('.') == std::string::npos) texts.push_back(word + suffix);
    }
    return texts;
}();

cfg::keys key(const std::string& text) {
    return static_cast<cfg::keys>(std::find(key_texts.begin(), key_texts.end(), text) -
                                  key_texts.begin());
}

class configuration_test : public ::testing::Test {
protected:
    // Loads (or reloads) `content` from `name`; the error text, or "".
    std::string load(const std::string& content, cfg& config, bool reload = false,
                     const std::string& name = "vcd.conf") {
        const std::string path = content == "missing" ? dir.file(name) : dir.write(name, content);
        try {
            reload ? config.reload(path) : config.load(path);
        } catch (const vorta::c_error& e) {
            return e.what();
        }
        return "";
    }
    // The values of the keys named in `keys` after loading `content`, which must succeed.
    strings values(const std::string& content, const std::string& keys) {
        cfg config;
        EXPECT_EQ(load(content, config), "");
        strings got;
        for (const std::string& text : words(keys)) got.push_back(config.get(key(text)));
        return got;
    }
    std::string at(int line) const {
        return "in file '" + dir.file("vcd.conf") + "' at line " + std::to_string(line) + ": ";
    }
    test_support::temp_dir dir;
};

TEST_F(configuration_test, errors_name_the_file_and_line_and_keep_what_was_read) {
    cfg config;
    EXPECT_EQ(load("missing", config, false, "none.conf"),
              "can't open configuration file '" + dir.file("none.conf") + "'");
    try {  // a directory opens as an empty stream; it must not pass for an empty file
        config.load(dir.path());
        ADD_FAILURE() << "a directory was read as a configuration";
    } catch (const vorta::c_error& e) {
        EXPECT_EQ(std::string(e.what()), "can't open configuration file '" + dir.path() + "'");
    }
    // Blank and comment lines count for the line number.
    EXPECT_EQ(load("# comment\n\n   \nnick.max = 5\nNick.min = 3\n", config),
              at(5) + "unrecognized syntax");
    EXPECT_EQ(load("\n\tnick.maxx = 5\n", config), at(2) + "unknown key");
    for (const char* line :
         {"nick_max = 5", "nick-max = 5", "nick.max2 = 5", "nick.max 5", "= 5", " nick.max : 5"})
        EXPECT_EQ(load(line, config), at(1) + "unrecognized syntax") << line;
    EXPECT_EQ(load("all.host.x = y", config), at(1) + "unknown key");  // fine syntax, no key
    // What came before the faulty line stays, not yet validated.
    cfg partial;
    EXPECT_NE(load("all.path = etc\nbogus line\nnick.max = 5\n", partial), "");
    EXPECT_EQ(partial.get(cfg::all_path), "etc");
    EXPECT_EQ(partial.get(cfg::nick_max), "");
    EXPECT_EQ(cfg().get(cfg::nick_min), "");
}

TEST_F(configuration_test, line_syntax) {
    EXPECT_EQ(values("all.search=a\n\t all.host \t =   \t x y  \nphoto.html = a # b\n"
                     "  # all.www = commented.out\nbanner.html =\ncss.startskin = first\n"
                     "css.startskin = second\ndb.connection = a=b\n",
                     "all.search all.host photo.html all.www banner.html css.startskin "
                     "db.connection"),
              (strings{"a", "x y", "a # b", "", "", "first", "a=b"}));
    // Carriage returns stay in values; with no value, the blanks after "=" swallow it.
    EXPECT_EQ(values("all.search = s\r\nnick.max = 20\r\nall.links = 0\r\nroom.max = 5\n"
                     "pwd.max =\r\n",
                     "all.search nick.max all.links room.max pwd.max"),
              (strings{"s\r", "15", "1", "5", "15"}));
    // A line of 4095 characters is read; one more ends reading, and validation still runs.
    const std::string fits = "photo.html = " + std::string(4095 - 13, 'x');
    EXPECT_EQ(values(fits + "\nnick.max = 9\n", "photo.html nick.max"),
              (strings{fits.substr(13), "9"}));
    EXPECT_EQ(values("nick.min = 4\n" + fits + "x\nBAD LINE\nnick.max = 9\n",
                     "nick.min photo.html nick.max all.path"),
              (strings{"4", "", "15", "/"}));
    cfg config;
    ASSERT_EQ(load("all.search = 12abc\nnick.max = 007\nphoto.html = -3\n", config), "");
    EXPECT_EQ(config.get_int(cfg::all_search), 12);
    EXPECT_EQ(config.get_int(cfg::nick_max), 7);
    EXPECT_EQ(config.get_int(cfg::photo_html), -3);
    EXPECT_EQ(config.get_int(cfg::all_host), 0);
}

// Every key text, given the value of its own number: each lands on the right
// enumerator, and exactly the listed keys take the local and web rules.
TEST_F(configuration_test, every_key_text_maps_to_its_number) {
    ASSERT_EQ(key_texts.size(), static_cast<size_t>(cfg::key_count));
    const strings local = words("file.permissions file.rooms file.security file.replace file.log "
                                "file.www");
    const strings web = words(
        "file.js file.help file.kill photo.default info.out info.over info.clicked mark.out "
        "mark.over mark.clicked unmark.out unmark.over unmark.clicked go.out go.over go.clicked "
        "ban.out ban.over ban.clicked css.basic css.startskinpath banner.default");
    const strings special = words("all.webpath=/2/ all.path=/3/ all.links=1 all.onlyregs=0 "
                                  "file.welcome= room.clear=0 db.clean=1 reg.open=0");
    std::string file;
    for (size_t i = 0; i < key_texts.size(); ++i)
        file += key_texts[i] + " = " + std::to_string(i) + "\n";
    cfg config;
    ASSERT_EQ(load(file, config), "");
    for (int i = 0; i < cfg::key_count; ++i) {
        const std::string& text = key_texts[i];
        const auto in = [&text](const strings& list) {
            return std::find(list.begin(), list.end(), text) != list.end();
        };
        std::string value = std::to_string(i);
        for (const std::string& item : special)
            if (item.rfind(text + "=", 0) == 0) value = item.substr(text.size() + 1);
        EXPECT_EQ(config.get(static_cast<cfg::keys>(i)),
                  std::string(in(web) ? "1/2/" : "") + (in(local) ? "/3/" : "") + value)
            << text;
    }
}

TEST_F(configuration_test, values_fall_back_unless_valid) {
    EXPECT_EQ(values("", "all.webpath all.path file.log file.www all.proxies file.js nick.color"),
              (strings{"/", "/", "", "", "", "", ""}));
    // Numbers take digits only; an empty value is absent, and an absent
    // number silently refused every log-in when "nick.max" read as 0.
    const strings numbers = words(
        "nick.min=1 nick.max=15 pwd.max=15 ua.max=100 comment.max=100 ref.max=100 room.max=20 "
        "photo.width=50 photo.height=50 info.width=12 info.height=12 mark.width=12 "
        "mark.height=12 unmark.width=12 unmark.height=12 go.width=12 go.height=12 ban.width=12 "
        "ban.height=12 banner.width=468 banner.height=60 limit.pending=16 limit.sessions=0");
    for (const std::string bad : {"abc", "-5", "1 2", "+3", "0x1", "", "absent"}) {
        std::string file;
        for (const std::string& number : numbers)
            if (bad != "absent") file += number.substr(0, number.find('=')) + " = " + bad + "\n";
        cfg config;
        ASSERT_EQ(load(file, config), "");
        for (const std::string& number : numbers) {
            const std::size_t equals = number.find('=');
            EXPECT_EQ(config.get(key(number.substr(0, equals))), number.substr(equals + 1))
                << number << " given " << bad;
        }
    }
    EXPECT_EQ(values("nick.max = abc\nnick.min = -2\nroom.max = 0042\nbanner.width =\n",
                     "nick.max nick.min room.max banner.width"),
              (strings{"15", "1", "0042", "468"}));
    // Flags are exactly "0" or "1".
    const std::string flags = "all.links all.onlyregs room.clear db.clean reg.open";
    for (const std::string value : {"2", "yes", "", "01", "1\r", "0", "1"}) {
        std::string file;
        for (const std::string& flag : words(flags)) file += flag + " = " + value + "\n";
        const bool valid = value == "0" || value == "1";
        EXPECT_EQ(values(file, flags),
                  valid ? strings(5, value) : (strings{"1", "0", "0", "1", "0"}))
            << value;
    }
    // Character sets and the colour.
    const std::string sets = "nick.valid room.valid nick.color";
    EXPECT_EQ(values("nick.valid = abc\nroom.valid = xyz\nnick.color = aBc0F9\n", sets),
              (strings{"abc", "xyz", "aBc0F9"}));
    const std::string alnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const strings fallbacks = {alnum, alnum + ",;.-_", "0000FF"};
    EXPECT_EQ(values("nick.valid =\nroom.valid =\nnick.color = #FF0000\n", sets), fallbacks);
    EXPECT_EQ(values("nick.color = 00GG00\n", sets), fallbacks);
    EXPECT_EQ(values("nick.color =\n", "nick.color"), (strings{""}));
}

TEST_F(configuration_test, directories_local_files_and_web_addresses) {
    EXPECT_EQ(values("all.webpath = chat\nall.path = etc\nfile.log = vcd.log\n"
                     "file.rooms = /abs/rooms\nfile.permissions = p\nfile.security = s\n"
                     "file.replace = r\nfile.www = www\n",
                     "all.webpath all.path file.log file.rooms file.permissions file.security "
                     "file.replace file.www"),
              (strings{"/chat/", "/etc/", "/etc/vcd.log", "/abs/rooms", "/etc/p", "/etc/s",
                       "/etc/r", "/etc/www"}));
    EXPECT_EQ(values("all.webpath = /w\nall.path = p/\n", "all.webpath all.path"),
              (strings{"/w/", "/p/"}));
    EXPECT_EQ(values("all.webpath = /\nall.path = /srv/chat/\n", "all.webpath all.path"),
              (strings{"/", "/srv/chat/"}));
    const std::string www = "chat.example.org:8080";
    EXPECT_EQ(values("all.www = " + www + "/ignored\nall.webpath = chat\nfile.js = js/chat.js\n"
                     "file.help = /help.html\nfile.kill = www.example.com/bye.html\n"
                     "photo.default = nobody.gif\ncss.basic = http://cdn.example.com/basic.css\n"
                     "banner.default = /b.gif\n",
                     "all.www file.js file.help file.kill photo.default css.basic banner.default "
                     "css.startskinpath"),
              (strings{www, www + "/chat/js/chat.js", www + "/help.html",
                       "www.example.com/bye.html", www + "/chat/nobody.gif",
                       www + "/chat/http://cdn.example.com/basic.css", www + "/b.gif", ""}));
    // A scheme in all.www leaves only the scheme and its colon.
    EXPECT_EQ(values("all.www = http://host/\nfile.js = /a.js\n", "file.js"),
              (strings{"http:/a.js"}));
    // The welcome file is read without line breaks.
    dir.write("welcome.html", "<p>Hallo\r\nWelt</p>\n\n<p>!</p>\n");
    const std::string in_path = "all.path = " + dir.path() + "\nfile.welcome = ";
    EXPECT_EQ(values(in_path + "welcome.html\n", "file.welcome")[0], "<p>HalloWelt</p><p>!</p>");
    EXPECT_EQ(values("file.welcome = " + dir.file("welcome.html") + "\n", "file.welcome")[0],
              "<p>HalloWelt</p><p>!</p>");
    EXPECT_EQ(values(in_path + "missing.html\n", "file.welcome")[0], "");
}

TEST_F(configuration_test, reload_replaces_or_restores_everything) {
    dir.write("welcome.html", "hi\n");
    cfg config;
    ASSERT_EQ(load("all.path = " + dir.path() +
                       "\nfile.welcome = welcome.html\nall.search = old\nnick.max = 9\n",
                   config),
              "");
    const auto all = [&config] {
        strings values;
        for (int i = 0; i < cfg::key_count; ++i) values.push_back(config.get(cfg::keys(i)));
        return values;
    };
    const strings before = all();
    ASSERT_EQ(config.get(cfg::file_welcome), "hi");
    EXPECT_EQ(load("nick.max = 3\nall.search = new\nwhat = ever\n", config, true),
              at(3) + "unknown key");
    EXPECT_EQ(load("missing", config, true, "missing.conf"),
              "can't open configuration file '" + dir.file("missing.conf") + "'");
    EXPECT_EQ(all(), before);
    ASSERT_EQ(load("nick.max = 4\n", config, true), "");
    EXPECT_EQ(config.get(cfg::nick_max), "4");
    EXPECT_EQ(config.get(cfg::all_search), "");
    EXPECT_EQ(config.get(cfg::file_welcome), "");
}

}  // namespace
