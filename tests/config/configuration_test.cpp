// The configuration file: its line syntax and errors, and the rules that normalise and
// default the values after reading.
#include "config/configuration.hpp"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <utility>

#include "net/c_error.hpp"
#include "support/temp_dir.hpp"

namespace {

using cfg = vorta::configuration;

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
    // The key that `text` names: the one that keeps a value read before a faulty line.
    cfg::keys key(const std::string& text) {
        static std::map<std::string, cfg::keys> known;
        if (const auto found = known.find(text); found != known.end()) return found->second;
        cfg probe;
        load(text + " = probe\n!\n", probe, false, "probe.conf");
        int i = 0;
        while (i < cfg::key_count && probe.get(cfg::keys(i)) != "probe") ++i;
        return known[text] = cfg::keys(i);
    }
    // Loads `content`, which must succeed; "key=value|" for each key that `expected` names.
    std::string values(const std::string& content, const std::string& expected) {
        cfg config;
        EXPECT_EQ(load(content, config), "") << content;
        std::string got;
        std::istringstream in(expected);
        for (std::string item; std::getline(in, item, '|');) {
            const std::string text = item.substr(0, item.find('='));
            got += text + "=" + config.get(key(text)) + "|";
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
    EXPECT_THROW(config.load(dir.path()), vorta::c_error);  // a directory is no empty file
    // Blank and comment lines count for the line number.
    const std::pair<const char*, std::string> rows[] = {
        {"# comment\n\n   \nnick.max = 5\nNick.min = 3\n", at(5)}, {"nick.max2 = 5", at(1)},
        {"\n\tnick.maxx = 5\n", at(2, "unknown key")}, {"all.host.x = y", at(1, "unknown key")},
        {"nick_max = 5", at(1)}, {"nick.max 5", at(1)}, {"= 5", at(1)}, {" nick.max : 5", at(1)}};
    for (const auto& [content, error] : rows) EXPECT_EQ(load(content, config), error) << content;
    cfg kept;
    dir.write("hi.html", "hi\n");
    ASSERT_EQ(load("all.path = " + dir.path() + "\nfile.welcome = hi.html\nnick.max=9", kept), "");
    EXPECT_EQ(load("nick.max = 3\nall.search = x\nwhat = 1\n", kept, true), at(3, "unknown key"));
    EXPECT_EQ(load("missing", kept, true, "none.conf"), missing);
    EXPECT_EQ(kept.get(cfg::nick_max) + kept.get(cfg::file_welcome), "9hi");
    ASSERT_EQ(load("nick.max = 4\n", kept, true), "");
    EXPECT_EQ(kept.get(cfg::nick_max) + kept.get(cfg::file_welcome), "4");
}

TEST_F(configuration_test, values_as_read_normalised_or_fallen_back) {
    const std::string alnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const std::string fits(4095 - 13, 'x');  // the longest line read is "photo.html = " and these
    dir.write("welcome.html", "<p>Hallo\r\nWelt</p>\n\n<p>!</p>\n");
    const std::string in_dir = "all.path = " + dir.path() + "\nfile.welcome = ";
    const std::pair<std::string, std::string> rows[] = {
        {"all.search=a\n\t all.host \t =   \t x y  \nphoto.html = a # b\n"
         "  # all.www = commented.out\nbanner.html =\ncss.startskin = first\n"
         "css.startskin = second\ndb.connection = a=b\n",
         "all.search=a|all.host=x y|photo.html=a # b|all.www=|banner.html=|css.startskin=first|"
         "db.connection=a=b|"},
        // Carriage returns stay in values; with no value, the blanks after "=" swallow it.
        {"all.search = s\r\nnick.max = 20\r\nall.links = 0\r\npwd.max =\r\n",
         "all.search=s\r|nick.max=15|all.links=1|pwd.max=15|"},
        // One character more ends reading, and validation still runs.
        {"photo.html = " + fits + "\nnick.max = 9\n", "photo.html=" + fits + "|nick.max=9|"},
        {"nick.min = 4\nphoto.html = " + fits + "x\nBAD LINE\nnick.max = 9\n",
         "nick.min=4|photo.html=|nick.max=15|all.path=/|"},
        {"", "all.webpath=/|all.path=/|file.log=|file.www=|all.proxies=|file.js=|nick.color=|"},
        {"nick.valid =\nroom.valid =\nnick.color = #FF0000\n",
         "nick.valid=" + alnum + "|room.valid=" + alnum + ",;.-_|nick.color=0000FF|"},
        {"nick.valid = abc\nnick.color = aBc0F9\n", "nick.valid=abc|nick.color=aBc0F9|"},
        {"all.webpath = chat\nall.path = etc\nfile.log = l\nfile.rooms = /a/r\n"
         "file.permissions = p\nfile.security = s\nfile.replace = r\nfile.www = w\n",
         "all.webpath=/chat/|all.path=/etc/|file.log=/etc/l|file.rooms=/a/r|"
         "file.permissions=/etc/p|file.security=/etc/s|file.replace=/etc/r|file.www=/etc/w|"},
        {"all.webpath = /\nall.path = /srv/chat/\n", "all.webpath=/|all.path=/srv/chat/|"},
        {"all.www = w.org:8/x\nall.webpath = c\nfile.js = j.js\nfile.help = /h.html\n"
         "file.kill = k.org/b.html\nphoto.default = n.gif\ncss.basic = http://cdn.org/b.css\n"
         "banner.default = /b.gif\n",
         "all.www=w.org:8|file.js=w.org:8/c/j.js|file.help=w.org:8/h.html|file.kill=k.org/b.html|"
         "photo.default=w.org:8/c/n.gif|css.basic=w.org:8/c/http://cdn.org/b.css|"
         "banner.default=w.org:8/b.gif|css.startskinpath=|"},
        // A scheme in all.www leaves only the scheme and its colon.
        {"all.www = http://host/\nfile.js = /a.js\n", "file.js=http:/a.js|"},
        {"all.links = 0\nall.onlyregs = 1\nroom.clear = 1\ndb.clean = 0\nreg.open = 1\n",
         "all.links=0|all.onlyregs=1|room.clear=1|db.clean=0|reg.open=1|"},
        // The welcome file is read without line breaks.
        {in_dir + "welcome.html\n", "file.welcome=<p>HalloWelt</p><p>!</p>|"},
        {in_dir + "missing.html\n", "file.welcome=|"}};
    for (const auto& [content, expected] : rows) EXPECT_EQ(values(content, expected), expected);

    // Numbers take digits only, else fall back: an absent "nick.max" once read as 0 and
    // silently refused every log-in. Flags fall back alike.
    const std::string defaults =
        "nick.min=1|nick.max=15|pwd.max=15|ua.max=100|comment.max=100|ref.max=100|room.max=20|"
        "photo.width=50|photo.height=50|info.width=12|info.height=12|mark.width=12|"
        "mark.height=12|unmark.width=12|unmark.height=12|go.width=12|go.height=12|ban.width=12|"
        "ban.height=12|banner.width=468|banner.height=60|limit.pending=16|limit.sessions=0|"
        "all.links=1|all.onlyregs=0|room.clear=0|db.clean=1|reg.open=0|";
    for (const std::string bad : {"abc", "-5", "1 2", "+3", "0x1", "", "absent", "1\r"}) {
        std::string file;
        std::istringstream in(defaults);
        for (std::string item; bad != "absent" && std::getline(in, item, '|');)
            file += item.substr(0, item.find('=')) + " = " + bad + "\n";
        EXPECT_EQ(values(file, defaults), defaults) << "given " << bad;
    }
}

}  // namespace
