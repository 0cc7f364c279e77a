// The configuration file: its line syntax and errors, every key text, and the
// rules that normalise and default the values after reading.
#include "config/configuration.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

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

// The text of every key, in the order of the enumeration; a word without a dot
// stands for its six button keys.
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

class configuration_test : public ::testing::Test {
protected:
    // Loads (or reloads) `content` from `name` ("missing": no such file); the error text, or "".
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
    // The values of `keys` after loading `content`, which must succeed, each followed by "|".
    std::string values(const std::string& content, const std::string& keys) {
        cfg config;
        EXPECT_EQ(load(content, config), "") << content;
        std::string got;
        for (const std::string& text : words(keys)) {
            const auto i = std::find(key_texts.begin(), key_texts.end(), text) - key_texts.begin();
            got += config.get(cfg::keys(i)) + "|";
        }
        return got;
    }
    std::string at(int line, const char* what = "unrecognized syntax") const {
        return "in file '" + dir.file("vcd.conf") + "' at line " + std::to_string(line) + ": " +
               what;
    }
    test_support::temp_dir dir;
};

TEST_F(configuration_test, errors_name_the_file_and_line_and_a_reload_keeps_everything) {
    cfg config;
    const std::string missing = "can't open configuration file '" + dir.file("none.conf") + "'";
    EXPECT_EQ(load("missing", config, false, "none.conf"), missing);
    // A directory opens as an empty stream; it must not pass for an empty file.
    EXPECT_THROW(config.load(dir.path()), vorta::c_error);
    // Blank and comment lines count for the line number.
    const std::pair<const char*, std::string> rows[] = {
        {"# comment\n\n   \nnick.max = 5\nNick.min = 3\n", at(5)},
        {"\n\tnick.maxx = 5\n", at(2, "unknown key")},
        {"all.host.x = y", at(1, "unknown key")},  // fine syntax, no such key
        {"nick_max = 5", at(1)}, {"nick.max2 = 5", at(1)}, {"nick.max 5", at(1)},
        {"= 5", at(1)}, {" nick.max : 5", at(1)}};
    for (const auto& [content, error] : rows) EXPECT_EQ(load(content, config), error) << content;
    // What came before the faulty line stays, not yet validated.
    cfg partial;
    EXPECT_EQ(load("all.path = etc\nbogus line\nnick.max = 5\n", partial), at(2));
    EXPECT_EQ(partial.get(cfg::all_path) + "|" + partial.get(cfg::nick_max), "etc|");
    EXPECT_EQ(cfg().get(cfg::nick_min), "");

    dir.write("welcome.html", "hi\n");
    ASSERT_EQ(load("all.path = " + dir.path() + "\nfile.welcome = welcome.html\nnick.max = 9\n",
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
              at(3, "unknown key"));
    EXPECT_EQ(load("missing", config, true, "none.conf"), missing);
    EXPECT_EQ(all(), before);
    ASSERT_EQ(load("nick.max = 4\n", config, true), "");
    EXPECT_EQ(config.get(cfg::nick_max) + config.get(cfg::file_welcome), "4");
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
        EXPECT_EQ(config.get(cfg::keys(i)),
                  std::string(in(web) ? "1/2/" : "") + (in(local) ? "/3/" : "") + value)
            << text;
    }
    cfg numbers;
    ASSERT_EQ(load("all.search = 12abc\nnick.max = 007\nphoto.html = -3\n", numbers), "");
    for (const auto& [k, number] : {std::pair{cfg::all_search, 12}, {cfg::nick_max, 7},
                                    {cfg::photo_html, -3}, {cfg::all_host, 0}})
        EXPECT_EQ(numbers.get_int(k), number) << k;
}

TEST_F(configuration_test, values_as_read_normalised_or_fallen_back) {
    const std::string www = "chat.example.org:8080", alnum =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const std::string fits = "photo.html = " + std::string(4095 - 13, 'x');  // longest line read
    dir.write("welcome.html", "<p>Hallo\r\nWelt</p>\n\n<p>!</p>\n");
    const std::string in_dir = "all.path = " + dir.path() + "\nfile.welcome = ";
    const std::string sets = "nick.valid room.valid nick.color";
    // Configuration, the keys asked for, and their values.
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {"all.search=a\n\t all.host \t =   \t x y  \nphoto.html = a # b\n"
         "  # all.www = commented.out\nbanner.html =\ncss.startskin = first\n"
         "css.startskin = second\ndb.connection = a=b\n",
         "all.search all.host photo.html all.www banner.html css.startskin db.connection",
         "a|x y|a # b|||first|a=b|"},
        // Carriage returns stay in values; with no value, the blanks after "=" swallow it.
        {"all.search = s\r\nnick.max = 20\r\nall.links = 0\r\npwd.max =\r\n",
         "all.search nick.max all.links pwd.max", "s\r|15|1|15|"},
        // One character more ends reading, and validation still runs.
        {fits + "\nnick.max = 9\n", "photo.html nick.max", fits.substr(13) + "|9|"},
        {"nick.min = 4\n" + fits + "x\nBAD LINE\nnick.max = 9\n",
         "nick.min photo.html nick.max all.path", "4||15|/|"},
        {"", "all.webpath all.path file.log file.www all.proxies file.js nick.color", "/|/||||||"},
        {"room.max = 0042\nnick.min = -2\n", "room.max nick.min", "0042|1|"},
        {"nick.valid = abc\nroom.valid = xyz\nnick.color = aBc0F9\n", sets, "abc|xyz|aBc0F9|"},
        {"nick.valid =\nroom.valid =\nnick.color = #FF0000\n", sets,
         alnum + "|" + alnum + ",;.-_|0000FF|"},
        {"nick.color = 00GG00\n", "nick.color", "0000FF|"}, {"nick.color =\n", "nick.color", "|"},
        {"all.webpath = chat\nall.path = etc\nfile.log = vcd.log\nfile.rooms = /abs/rooms\n"
         "file.permissions = p\nfile.security = s\nfile.replace = r\nfile.www = www\n",
         "all.webpath all.path file.log file.rooms file.permissions file.security file.replace "
         "file.www",
         "/chat/|/etc/|/etc/vcd.log|/abs/rooms|/etc/p|/etc/s|/etc/r|/etc/www|"},
        {"all.webpath = /w\nall.path = p/\n", "all.webpath all.path", "/w/|/p/|"},
        {"all.webpath = /\nall.path = /srv/chat/\n", "all.webpath all.path", "/|/srv/chat/|"},
        {"all.www = " + www + "/ignored\nall.webpath = chat\nfile.js = js/chat.js\n"
         "file.help = /help.html\nfile.kill = www.example.com/bye.html\n"
         "photo.default = nobody.gif\ncss.basic = http://cdn.example.com/basic.css\n"
         "banner.default = /b.gif\n",
         "all.www file.js file.help file.kill photo.default css.basic banner.default "
         "css.startskinpath",
         www + "|" + www + "/chat/js/chat.js|" + www + "/help.html|www.example.com/bye.html|" +
             www + "/chat/nobody.gif|" + www + "/chat/http://cdn.example.com/basic.css|" + www +
             "/b.gif||"},
        // A scheme in all.www leaves only the scheme and its colon.
        {"all.www = http://host/\nfile.js = /a.js\n", "file.js", "http:/a.js|"},
        // The welcome file is read without line breaks.
        {in_dir + "welcome.html\n", "file.welcome", "<p>HalloWelt</p><p>!</p>|"},
        {"file.welcome = " + dir.file("welcome.html"), "file.welcome", "<p>HalloWelt</p><p>!</p>|"},
        {in_dir + "missing.html\n", "file.welcome", "|"}};
    for (const auto& [content, keys, expected] : rows) EXPECT_EQ(values(content, keys), expected);

    // Numbers take digits only, else fall back: an absent "nick.max" once read as 0 and
    // silently refused every log-in. Flags are exactly "0" or "1".
    const strings numbers = words(
        "nick.min=1 nick.max=15 pwd.max=15 ua.max=100 comment.max=100 ref.max=100 room.max=20 "
        "photo.width=50 photo.height=50 info.width=12 info.height=12 mark.width=12 "
        "mark.height=12 unmark.width=12 unmark.height=12 go.width=12 go.height=12 ban.width=12 "
        "ban.height=12 banner.width=468 banner.height=60 limit.pending=16 limit.sessions=0 "
        "all.links=1 all.onlyregs=0 room.clear=0 db.clean=1 reg.open=0");
    for (const std::string bad : {"abc", "-5", "1 2", "+3", "0x1", "", "absent", "1\r"}) {
        std::string file, keys, defaults;
        for (const std::string& number : numbers) {
            const std::size_t equals = number.find('=');
            keys += number.substr(0, equals) + " ";
            defaults += number.substr(equals + 1) + "|";
            if (bad != "absent") file += number.substr(0, equals) + " = " + bad + "\n";
        }
        EXPECT_EQ(values(file, keys), defaults) << "given " << bad;
    }
    const std::string flags = "all.links all.onlyregs room.clear db.clean reg.open";
    for (const std::string value : {"2", "01", "0", "1"}) {
        std::string file, expected;
        for (const std::string& flag : words(flags)) file += flag + " = " + value + "\n";
        for (const char* fallback : {"1", "0", "0", "1", "0"})
            expected += (value.size() == 1 && value < "2" ? value : fallback) + std::string("|");
        EXPECT_EQ(values(file, flags), expected) << value;
    }
}

}  // namespace
