// The links of chat texts: which addresses count as the same link, and the
// HTML each kind of address becomes.
#include "security/links.hpp"

#include <gtest/gtest.h>

namespace {

using strings = std::vector<std::string>;

// The two shapes of anchor: a web page in a new window, anything else in place.
std::string web(const std::string& address, const std::string& text) {
    return "<a href=\"http://" + address + "\" target=\"_blank\">" + text + "</a>";
}
std::string other(const std::string& href, const std::string& text) {
    return "<a href=\"" + href + "\">" + text + "</a>";
}

TEST(links, prefixes_do_not_make_a_link_different) {
    const std::pair<const char*, strings> cases[] = {
        {"see www.example.org now", {"example.org"}},
        {"url:http://www.example.org url:example.org http://example.org",
         {"example.org", "example.org", "example.org"}},
        {"a\twww.a.de\nhttp://b.de", {"a.de", "b.de"}},
        {"xwww.example.org (http://c.de ftp:d.de news:e.de x@f.de", {}},
        {"url:https://g.de", {"https://g.de"}},
    };
    for (const auto& [text, found] : cases) {
        strings links{"old"}, expected{"old"};
        vorta::collect_links(text, links);
        expected.insert(expected.end(), found.begin(), found.end());
        EXPECT_EQ(links, expected) << text;
    }
}

TEST(links, every_kind_of_address_becomes_its_link) {
    const std::string org = web("www.example.org", "www.example.org");
    const std::pair<std::string, std::string> cases[] = {
        {"www.example.org", org},
        {"http://www.example.org", org},
        {"url:www.example.org", org},
        {"see http://example.org/x?a=1&amp;b=2 now",
         "see " + web("example.org/x?a=1&amp;b=2", "example.org/x?a=1&amp;b=2") + " now"},
        {"url:https://example.org", web("https://example.org", "https://example.org")},
        {"a\twww.a.de", "a\t" + web("www.a.de", "www.a.de")},
        {"ftp:files.example.org", other("ftp://files.example.org", "files.example.org (FTP)")},
        {"ftp://files.example.org/pub",
         other("ftp://files.example.org/pub", "files.example.org/pub (FTP)")},
        {"ftp:ftp://x.org", other("ftp://x.org", "x.org (FTP)")},
        {"news:de.comp.lang!", other("news:de.comp.lang", "de.comp.lang (Newsgroup)") + "!"},
        {"mailto:a-b_c@d.de", other("mailto:a-b_c@d.de", "a-b_c@d.de (Mail)")},
        {"mail:mailto:a@b.de", other("mailto:a@b.de", "a@b.de (Mail)")},
        {"schreib an a.b@c.de.", "schreib an " + other("mailto:a.b@c.de.", "a.b@c.de. (Mail)")},
        {"a@localhost", "a@localhost"},
        {"srch:katzen", "srch:katzen"},  // no search address
        {"xwww.example.org https://example.org", "xwww.example.org https://example.org"},
        {"www.a.de und mail:x@y.de",
         web("www.a.de", "www.a.de") + " und " + other("mailto:x@y.de", "x@y.de (Mail)")},
    };
    for (const auto& [text, html] : cases) EXPECT_EQ(vorta::anchor_links(text, ""), html) << text;
    // A search address links search terms; the other kinds stay as they are.
    EXPECT_EQ(vorta::anchor_links("und srch:hunde.futter x@y.de", "suche.de:8080/find?q="),
              "und " + web("suche.de:8080/find?q=hunde.futter", "hunde.futter (Suche)") + " " +
                  other("mailto:x@y.de", "x@y.de (Mail)"));
    EXPECT_EQ(vorta::anchor_links("srch:katzen", "www.suche.de/?q="),
              web("www.suche.de/?q=katzen", "katzen (Suche)"));
}

}  // namespace
