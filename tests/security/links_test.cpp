// The links of chat texts: which addresses count as the same link, and the
// exact HTML each kind of address becomes.
#include "security/links.hpp"

#include <gtest/gtest.h>

namespace {

using strings = std::vector<std::string>;

TEST(links, prefixes_do_not_make_a_link_different) {
    const struct {
        const char* text;
        strings links;
    } cases[] = {
        {"see www.example.org now", {"example.org"}},
        {"http://www.example.org", {"example.org"}},
        {"url:http://www.example.org url:example.org http://example.org", {"example.org", "example.org", "example.org"}},
        {"a\twww.a.de\nhttp://b.de", {"a.de", "b.de"}},
        {"xwww.example.org (http://c.de ftp:d.de news:e.de x@f.de", {}},
        {"url:https://g.de", {"https://g.de"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        strings links{"old"};
        vorta::collect_links(c.text, links);
        strings expected{"old"};
        expected.insert(expected.end(), c.links.begin(), c.links.end());
        EXPECT_EQ(links, expected) << c.text;
    }
}

TEST(links, every_kind_of_address_becomes_its_link) {
    const struct {
        const char* text;
        const char* html;
    } cases[] = {
        {"www.example.org", R"(<a href="http://www.example.org" target="_blank">www.example.org</a>)"},
        {"see http://example.org/x?a=1&amp;b=2 now",
         R"(see <a href="http://example.org/x?a=1&amp;b=2" target="_blank">example.org/x?a=1&amp;b=2</a> now)"},
        {"http://www.example.org", R"(<a href="http://www.example.org" target="_blank">www.example.org</a>)"},
        {"url:www.example.org", R"(<a href="http://www.example.org" target="_blank">www.example.org</a>)"},
        {"url:https://example.org", R"(<a href="http://https://example.org" target="_blank">https://example.org</a>)"},
        {"a\twww.a.de", "a\t" R"(<a href="http://www.a.de" target="_blank">www.a.de</a>)"},
        {"ftp:files.example.org", R"(<a href="ftp://files.example.org">files.example.org (FTP)</a>)"},
        {"ftp://files.example.org/pub", R"(<a href="ftp://files.example.org/pub">files.example.org/pub (FTP)</a>)"},
        {"ftp:ftp://x.org", R"(<a href="ftp://x.org">x.org (FTP)</a>)"},
        {"news:de.comp.lang!", R"(<a href="news:de.comp.lang">de.comp.lang (Newsgroup)</a>!)"},
        {"mail:a@b.de", R"(<a href="mailto:a@b.de">a@b.de (Mail)</a>)"},
        {"mailto:a-b_c@d.de", R"(<a href="mailto:a-b_c@d.de">a-b_c@d.de (Mail)</a>)"},
        {"mail:mailto:a@b.de", R"(<a href="mailto:a@b.de">a@b.de (Mail)</a>)"},
        {"schreib an a.b@c.de.", R"(schreib an <a href="mailto:a.b@c.de.">a.b@c.de. (Mail)</a>)"},
        {"a@localhost", "a@localhost"},
        {"srch:katzen", "srch:katzen"},
        {"xwww.example.org https://example.org", "xwww.example.org https://example.org"},
        {"www.a.de und mail:x@y.de",
         R"(<a href="http://www.a.de" target="_blank">www.a.de</a> und <a href="mailto:x@y.de">x@y.de (Mail)</a>)"},
    };
    for (const auto& c : cases) EXPECT_EQ(vorta::anchor_links(c.text, ""), c.html) << c.text;
}

TEST(links, a_search_address_links_search_terms) {
    const struct {
        const char* text;
        const char* search;
        const char* html;
    } cases[] = {
        {"srch:katzen", "www.suche.de/?q=", R"(<a href="http://www.suche.de/?q=katzen" target="_blank">katzen (Suche)</a>)"},
        {"und srch:hunde.futter", "suche.de:8080/find?q=",
         R"(und <a href="http://suche.de:8080/find?q=hunde.futter" target="_blank">hunde.futter (Suche)</a>)"},
        // The other kinds stay as they are without a search address.
        {"x@y.de www.a.de", "s.de/?q=",
         R"(<a href="mailto:x@y.de">x@y.de (Mail)</a> <a href="http://www.a.de" target="_blank">www.a.de</a>)"},
        {"srch:katzen", "www.suche.de/?q=", R"(<a href="http://www.suche.de/?q=katzen" target="_blank">katzen (Suche)</a>)"},
    };
    for (const auto& c : cases) EXPECT_EQ(vorta::anchor_links(c.text, c.search), c.html) << c.text;
}

}  // namespace
