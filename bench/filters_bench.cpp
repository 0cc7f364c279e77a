// Cost of one line of chat through the text filters: the writer's repetition
// checks with link anchoring, a replacement table of 100 pairs, and the
// censorship check against 50 words (with a few exempt words and log rules
// beside them). Prints the cost per line of each filter and of the whole
// chain, and the lines per second. It is not a test: it asserts nothing.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "chat/user.hpp"
#include "program.hpp"
#include "security/links.hpp"
#include "security/repetition.hpp"
#include "security/replacement.hpp"
#include "security/security.hpp"

namespace {

// Sixteen lines of chat, HTML-escaped as the filters get them; every fourth
// holds an address of some kind. Sixteen, so that the repetition checks
// never fire.
std::vector<std::string> chat_lines() {
    const char* const lines[] = {
        "hallo zusammen, wie geht es euch heute?",
        "schaut mal hier: www.beispiel.de/seite1.html",
        "ich bin gleich wieder da",
        "lol, das ist ja lustig &lt;g&gt;",
        "mail mir an anna.berta@beispiel.de",
        "hat jemand das spiel gestern gesehen? das war echt spannend bis zur letzten minute",
        "gn8 alle, bis morgen",
        "http://www.nachrichten.example/artikel?id=42&amp;seite=2 lesen!",
        "wer kommt heute abend mit ins kino?",
        "ich glaube nicht, dass das so einfach geht",
        "ftp:dateien.example.org/pub/readme.txt",
        "na klar, warum nicht :)",
        "news:de.comp.lang.misc ist die richtige gruppe dafuer",
        "kennt ihr url:kochen.example/rezepte schon?",
        "so, ich muss jetzt los, ciao",
        "brb, kaffee holen",
    };
    return std::vector<std::string>(std::begin(lines), std::end(lines));
}

// Abbreviations, words, addresses and swear words (24 each, each with a
// literal that most lines lack), and four that run on every line: repeated
// punctuation and letters.
std::string replacement_table() {
    std::string table = "!{3,} = !!!\n\\?{3,} = ???\n\\.{4,} = ...\n(\\w)\\1{4,} = $1$1$1\n";
    const char* const words[] = {"gn8", "brb", "lol", "rofl", "cu", "hdl", "thx", "np", "afk", "omg"};
    for (int i = 0; i < 96; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 4) {
            case 0: table += "\\b" + std::string(words[i / 10]) + n + "\\b = Abk&uuml;rzung\n"; break;
            case 1: table += "wort" + n + " = Wort" + n + "\n"; break;
            case 2: table += "(\\w+)@zuhause" + n + " = $1 zu Hause\n"; break;
            default: table += "[Ss]chimpf" + n + " = ***\n"; break;
        }
    }
    return table;
}

std::string security_rules() {
    std::string rules = "c nicht\nc schimpfwort\nc . >censored.log\n";
    for (int i = 0; i < 50; ++i) rules += "c zensiert" + std::to_string(i) + "wort exit\n";
    return rules;
}

// Nanoseconds per line of `step` over the lines, repeated for about a second.
double nanoseconds_per_line(const std::vector<std::string>& lines, const std::function<void(std::string&)>& step) {
    using clock = std::chrono::steady_clock;
    long count = 0;
    const auto begin = clock::now();
    auto now = begin;
    while (now - begin < std::chrono::seconds(1)) {
        for (int round = 0; round < 100; ++round) {
            for (const std::string& line : lines) {
                std::string text = line;
                step(text);
            }
        }
        count += 100 * static_cast<long>(lines.size());
        now = clock::now();
    }
    return std::chrono::duration<double, std::nano>(now - begin).count() / static_cast<double>(count);
}

}  // namespace

int main() {
    char pattern[] = "/tmp/vorta-filters-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = pattern;
    std::ofstream(dir + "/security.conf") << security_rules();
    std::ofstream(dir + "/replace.conf") << replacement_table();
    Security.load(dir + "/security.conf");
    Replace.load(dir + "/replace.conf");
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
        std::perror("socketpair");
        return 1;
    }
    vorta::user writer(pair[0], "127.0.0.1");
    const std::vector<std::string> lines = chat_lines();

    // The writer's own checks as a said line meets them.
    vorta::repetition recent;
    std::vector<std::string> links;
    const auto repetition_and_links = [&](std::string& text) {
        if (recent.text_repeated(text)) return;
        links.clear();
        vorta::collect_links(text, links);
        text = vorta::anchor_links(text, "");
        for (const std::string& link : links)
            if (recent.link_repeated(link)) return;
    };
    const auto replace = [](std::string& text) { Replace.replace(text); };
    const auto censor = [&writer](std::string& text) {
        if (Security.censor_exit(text, &writer)) std::abort();  // no line holds a censored word
    };
    const auto chain = [&](std::string& text) {
        repetition_and_links(text);
        replace(text);
        censor(text);
    };

    std::printf("one line of chat through the filters (%zu different lines, 18 to 84 characters)\n", lines.size());
    const struct {
        const char* name;
        std::function<void(std::string&)> step;
    } steps[] = {
        {"repetition checks and link anchoring", repetition_and_links},
        {"replacement table, 100 pairs", replace},
        {"censorship, 50 words", censor},
        {"the whole chain", chain},
    };
    for (const auto& s : steps) {
        const double ns = nanoseconds_per_line(lines, s.step);
        std::printf("  %-38s %8.2f us/line  %10.0f lines/s\n", s.name, ns / 1000.0, 1e9 / ns);
    }
    std::printf("target: the whole chain at most 20 us/line\n");
    std::filesystem::remove_all(dir);
    close(pair[1]);
    return 0;
}
