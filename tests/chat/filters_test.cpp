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
#include "util/c_util.hpp"

namespace {

using test_support::peer;
using vorta::message;
using vorta::mode_standard;
using lines_t = std::vector<std::string>;

// The line that brings `m` to `viewer`, who has no browser stream.
std::string shown(const peer& viewer, message m) {
    return "TXT \"" + vorta::c_escape(viewer.session()->get_mode()->get(m)) + "\"";
}

std::string said(const std::string& text) { return "TXT \"" + vorta::c_escape(text) + "\""; }

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
    std::unique_ptr<peer> alone(const std::string& nickname, const std::string& room) {
        auto p = std::make_unique<peer>();
        p->login(nickname, "Garten");
        p->send(said(".nr " + room));
        p->lines();
        EXPECT_EQ(p->session()->get_room(), Manager.get_room(room));
        return p;
    }

    // Says `text` and tells whether the spam filter threw the writer out.
    static bool spam_after(peer& p, const std::string& text) {
        // Rendered first: a writer thrown out is gone with his session.
        const std::string spammer = shown(p, message(mode_standard::msg_spammer, p.session()));
        p.send(said(text));
        const lines_t lines = p.lines();
        const bool thrown = std::find(lines.begin(), lines.end(), "EXT") != lines.end();
        if (thrown) {
            EXPECT_EQ(lines, (lines_t{spammer, "EXT"}));
            EXPECT_TRUE(p.closed());
        }
        return thrown;
    }

    test_support::temp_dir dir;
};

TEST_F(filters_test, a_fourth_equal_text_passes_and_a_sixth_never_does) {
    for (int round = 0; round < 12; ++round) {
        auto p = alone("wdh" + std::to_string(round), "Echo" + std::to_string(round));
        for (int k = 1; k <= 4; ++k) EXPECT_FALSE(spam_after(*p, "hallo")) << k;
        int caught = 0;
        for (int k = 5; k <= 6 && caught == 0; ++k)
            if (spam_after(*p, "hallo")) caught = k;
        EXPECT_TRUE(caught == 5 || caught == 6) << caught;
    }
}

TEST_F(filters_test, a_third_equal_link_passes_and_a_sixth_never_does) {
    // Each text is new; the link is the same however it is written.
    const char* const texts[] = {"a www.x.de", "b http://x.de", "c url:www.x.de", "d x.de http://www.x.de",
                                 "e url:http://x.de", "f www.x.de"};
    for (int round = 0; round < 12; ++round) {
        auto p = alone("lnk" + std::to_string(round), "Link" + std::to_string(round));
        EXPECT_FALSE(spam_after(*p, "www.y.de"));
        for (int k = 0; k < 3; ++k) EXPECT_FALSE(spam_after(*p, texts[k])) << k;
        int caught = 0;
        for (int k = 3; k < 6 && caught == 0; ++k)
            if (spam_after(*p, texts[k])) caught = k + 1;
        EXPECT_TRUE(caught >= 4 && caught <= 6) << caught;
    }
}

TEST_F(filters_test, links_count_even_when_the_text_keeps_its_addresses) {
    test_support::configure("all.links = 0\n");
    auto p = alone("roh", "Roh");
    p->send(said("schau www.x.de"));
    EXPECT_EQ(p->lines(), (lines_t{shown(*p, message(mode_standard::action_say, p->session(), p->session(),
                                                      std::string("schau www.x.de")))}));
    EXPECT_FALSE(spam_after(*p, "2 http://x.de"));
    EXPECT_FALSE(spam_after(*p, "3 url:x.de"));
    bool caught = false;
    for (int k = 4; k <= 6 && !caught; ++k) caught = spam_after(*p, std::to_string(k) + " http://www.x.de");
    EXPECT_TRUE(caught);
}

TEST_F(filters_test, said_and_whispered_texts_are_anchored_then_replaced) {
    Replace.reload(dir.write("replace.conf", "gn8 = gute Nacht\nx\\.de = y.de\n"));
    test_support::configure("all.search = www.suche.de/?q=\n");
    auto p = alone("wisp", "Wisper");
    const std::string anchored =
        R"(gute Nacht <a href="http://www.y.de" target="_blank">www.y.de</a> <a href="http://www.suche.de/?q=gute Nacht" )"
        R"(target="_blank">gute Nacht (Suche)</a>)";
    p->send(said("gn8 www.x.de srch:gn8"));
    EXPECT_EQ(p->lines(), (lines_t{shown(*p, message(mode_standard::action_say, p->session(), p->session(), anchored))}));
    p->send(said(".w wisp gn8 www.x.de srch:gn8"));
    EXPECT_EQ(p->lines(), (lines_t{shown(*p, message(mode_standard::action_whisper, p->session(), p->session(), anchored)),
                                   shown(*p, message(mode_standard::action_got_whisper, p->session(), p->session(), anchored))}));
    // The text is escaped before any filter sees it.
    p->send(said("<b> www.x.de\"</b>"));
    EXPECT_EQ(p->lines(), (lines_t{shown(*p, message(mode_standard::action_say, p->session(), p->session(),
        std::string(R"(&lt;b&gt; <a href="http://www.y.de&quot;&lt;/b&gt;" target="_blank">www.y.de&quot;&lt;/b&gt;</a>)")))}));
}

TEST_F(filters_test, censored_words_throw_the_writer_out_by_every_path) {
    Security.reload(dir.write("security.conf", "c doof exit\nc schlecht\n"));
    // Each command that is censored, and whether the room's switch matters.
    const struct {
        const char* text;
        bool room_switch_counts;
    } paths[] = {
        {"du bist DOOF", true},
        {".me ist doof", true},
        {".w zeuge doof", false},
        {".nr Doofraum", false},
        {".ss doofes Thema", false},
    };
    for (const auto& path : paths) {
        for (bool censoring : {true, false}) {
            auto writer = alone("zens", "Zensur");
            auto witness = std::make_unique<peer>();
            witness->login("zeuge", "Zensur");
            writer->lines();
            if (!censoring) {
                writer->send(said(".coff"));
                writer->lines();
            }
            witness->lines();
            const std::string is_censored = shown(*writer, message(mode_standard::msg_is_censored));
            const std::string censored = shown(*witness, message(mode_standard::msg_censored, writer->session()));
            writer->send(said(path.text));
            const lines_t lines = writer->lines();
            if (!censoring && path.room_switch_counts) {
                EXPECT_TRUE(std::find(lines.begin(), lines.end(), "EXT") == lines.end()) << path.text;
                continue;
            }
            EXPECT_EQ(lines, (lines_t{is_censored, "EXT"})) << path.text;
            EXPECT_TRUE(writer->closed()) << path.text;
            EXPECT_EQ(witness->lines(), (lines_t{censored, "DEL \"zens\""})) << path.text;
        }
    }
    // An exempt pattern lets the word pass.
    Security.reload(dir.write("security.conf", "c doof exit\nc doofe?s\n"));
    auto writer = alone("zens", "Zensur");
    writer->send(said(".ss doofes Thema"));
    EXPECT_FALSE(writer->closed());
}

TEST_F(filters_test, the_script_flag_and_refusals_follow_the_rules) {
    Security.reload(dir.write("security.conf", "w nojs noscript\nw evil noaccess\nu ^bad noaccess\n"));
    const struct {
        const char* referer;
        const char* line;  // the answer to the log-in line, its random parts left out
    } cases[] = {
        {"http://fine.example/", "1"},
        {"http://nojs.example/", "0"},
        {"http://evil.example/", "EXT \"noaccess\""},
    };
    for (const auto& c : cases) {
        peer p;
        p.send("LGN \"vcp2\" \"gast\" \"\" \"\" \"10.0.0.2\" \"UA\" \"" + std::string(c.referer) + "\" \"\" \"false\"");
        const lines_t lines = p.lines();
        ASSERT_EQ(lines.size(), 1u) << c.referer;
        if (lines[0].rfind("CNT ", 0) == 0) {
            EXPECT_EQ(vorta::get_param(lines[0], 4, " \"", '"'), c.line) << c.referer;
        } else {
            EXPECT_EQ(lines[0], c.line);
            EXPECT_TRUE(p.closed());
        }
    }
    peer refused;
    refused.login("badboy");
    EXPECT_FALSE(refused.in_room());
    refused.send("NCK \"goodboy\"");
    refused.lines();
    EXPECT_TRUE(refused.in_room());
}

}  // namespace
