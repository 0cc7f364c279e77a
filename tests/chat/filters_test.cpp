// The writer's filters on sessions over socket pairs: the repetition checks
// of texts and links with their certain bounds, link anchoring, the
// replacement table and censored words, and the order in which said and
// whispered texts pass them.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "chat/manager.hpp"
#include "chat/room.hpp"
#include "chat/user.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "security/replacement.hpp"
#include "security/security.hpp"
#include "support/chat_world.hpp"
#include "support/temp_dir.hpp"

namespace {

using test_support::lines_t;
using test_support::peer;
using test_support::txt;
using vorta::message;
using t = vorta::mode_standard;

class filters_test : public ::testing::Test {
protected:
    void SetUp() override { test_support::chat_world(); }
    // The program-wide rules and table go back to empty.
    void TearDown() override {
        Security.reload(dir.write("empty.conf", ""));
        Replace.reload(dir.file("empty.conf"));
        test_support::configure("");
    }

    // A session alone in a room of its own making, so that the room's flood
    // check stays out of the way for a while.
    static std::unique_ptr<peer> alone(const std::string& nickname, const std::string& room) {
        auto p = test_support::arrive(nickname, "Garten");
        p->send(txt(".nr " + room));
        p->lines();
        EXPECT_EQ(p->session()->get_room(), Manager.get_room(room));
        return p;
    }

    // The number of the line of `texts` that made the spam filter throw the
    // writer out, 0 for none.
    static std::size_t caught(peer& p, const std::vector<std::string>& texts) {
        for (std::size_t k = 0; k < texts.size(); ++k) {
            // Rendered first: a writer thrown out is gone with his session.
            const std::string spammer = p.shown(message(t::msg_spammer, p.session()));
            p.send(txt(texts[k]));
            const lines_t lines = p.lines();
            if (std::find(lines.begin(), lines.end(), "EXT") == lines.end()) continue;
            EXPECT_EQ(lines, (lines_t{spammer, "EXT"}));
            EXPECT_TRUE(p.closed());
            return k + 1;
        }
        return 0;
    }

    test_support::temp_dir dir;
};

// A fourth equal text passes and a sixth never does; a third equal link
// passes and a sixth never does, however it is written, also when the text
// keeps its addresses.
TEST_F(filters_test, repeated_texts_and_links_throw_the_writer_out_within_their_bounds) {
    const std::vector<std::string> links = {"www.y.de",         "a www.x.de",   "b http://x.de",
                                            "c url:www.x.de",   "d x.de http://www.x.de",
                                            "e url:http://x.de", "f www.x.de"};
    for (int round = 0; round < 12; ++round) {
        const std::string n = std::to_string(round);
        auto p = alone("wdh" + n, "Echo" + n);
        std::size_t k = caught(*p, std::vector<std::string>(6, "hallo"));
        EXPECT_TRUE(k == 5 || k == 6) << k;
        p = alone("lnk" + n, "Link" + n);
        k = caught(*p, links);
        EXPECT_TRUE(k >= 5 && k <= 7) << k;
    }
    test_support::configure("all.links = 0\n");
    auto p = alone("roh", "Roh");
    p->send(txt("schau www.x.de"));
    EXPECT_EQ(p->lines(), lines_t{p->shown(message(t::action_say, p->session(), p->session(), "schau www.x.de"))});
    EXPECT_GE(caught(*p, {"2 http://x.de", "3 url:x.de", "4 http://www.x.de",
                          "5 http://www.x.de", "6 http://www.x.de"}), 3u);
}

TEST_F(filters_test, said_and_whispered_texts_are_escaped_anchored_then_replaced) {
    Replace.reload(dir.write("replace.conf", "gn8 = gute Nacht\nx\\.de = y.de\n"));
    test_support::configure("all.search = www.suche.de/?q=\n");
    auto p = alone("wisp", "Wisper");
    vorta::user* u = p->session();
    const std::string anchored =
        R"(gute Nacht <a href="http://www.y.de" target="_blank">www.y.de</a> <a href="http://www.suche.de/?q=gute Nacht" )"
        R"(target="_blank">gute Nacht (Suche)</a>)";
    p->send(txt("gn8 www.x.de srch:gn8"));
    EXPECT_EQ(p->lines(), lines_t{p->shown(message(t::action_say, u, u, anchored))});
    p->send(txt(".w wisp gn8 www.x.de srch:gn8"));
    EXPECT_EQ(p->lines(), (lines_t{p->shown(message(t::action_whisper, u, u, anchored)),
                                   p->shown(message(t::action_got_whisper, u, u, anchored))}));
    p->send(txt("<b> www.x.de\"</b>"));
    EXPECT_EQ(p->lines(), lines_t{p->shown(message(
                              t::action_say, u, u,
                              R"(&lt;b&gt; <a href="http://www.y.de&quot;&lt;/b&gt;" target="_blank">)"
                              R"(www.y.de&quot;&lt;/b&gt;</a>)"))});
}

// Each command that is censored, and whether the room's switch matters.
TEST_F(filters_test, censored_words_throw_the_writer_out_by_every_path) {
    Security.reload(dir.write("security.conf", "c doof exit\nc schlecht\n"));
    const std::pair<const char*, bool> paths[] = {
        {"du bist DOOF", true}, {".me ist doof", true}, {".w zeuge doof", false},
        {".nr Doofraum", false}, {".ss doofes Thema", false}};
    for (const auto& [text, room_switch_counts] : paths) {
        for (bool censoring : {true, false}) {
            SCOPED_TRACE(std::string(text) + (censoring ? " censored" : " uncensored"));
            auto writer = alone("zens", "Zensur");
            auto witness = test_support::arrive("zeuge", "Zensur");
            if (!censoring) writer->send(txt(".coff"));
            test_support::drain({writer.get(), witness.get()});
            const std::string is_censored = writer->shown(message(t::msg_is_censored));
            const std::string censored = witness->shown(message(t::msg_censored, writer->session()));
            writer->send(txt(text));
            const lines_t lines = writer->lines();
            if (!censoring && room_switch_counts) {
                EXPECT_TRUE(std::find(lines.begin(), lines.end(), "EXT") == lines.end());
                continue;
            }
            EXPECT_EQ(lines, (lines_t{is_censored, "EXT"}));
            EXPECT_TRUE(writer->closed());
            EXPECT_EQ(witness->lines(), (lines_t{censored, test_support::del("zens")}));
        }
    }
}

}  // namespace
