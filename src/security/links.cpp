#include "security/links.hpp"

#include "security/pattern.hpp"

namespace vorta {

namespace {

// Every web address begins with one of these.
const std::vector<std::string> web_prefixes{"url:", "http://", "www."};

// Group 6 is the address without its prefixes.
const pattern& web_address() {
    static const pattern expression(R"((^|\s)(url:(http://)?(www\.)?|http://(www\.)?|www\.)([^\s]+))",
                                    web_prefixes);
    return expression;
}

// What each kind of address holds: web, FTP, news, mail (twice).
std::vector<std::string> link_clues() {
    std::vector<std::string> clues = web_prefixes;
    clues.insert(clues.end(), {"ftp:", "news:", "mail", "@"});
    return clues;
}

// The alternatives of the link expression and, in the same order, the
// conditional format pieces that rewrite them: "?N" tests group N, ":"
// separates the two branches, "$N" inserts group N, "\" quotes.
const char* const link_alternatives =
    R"(((^|\s)(url:(http://)?|http://|(www\.))([^\s]+))|((^|\s)ftp:(//|ftp://)?([^\s]+))|)"
    R"(((^|\s)news:([\w\d\.]+))|((^|\s)mail(to|:mailto)?:([\w\d\.@_-]+))|)"
    R"(((^|\s)([\w\d\._-]+@[\w\d_-]+\.[\w\d\._-]+)))";
const char* const link_formats =
    R"(?1$2<a href="http\://$5$6" target="_blank">$5$6</a>:?7$8<a href="ftp\://$10">$10 \(FTP\)</a>:)"
    R"(?11$12<a href="news\:$13">$13 \(Newsgroup\)</a>:?14$15<a href="mailto\:$17">$17 \(Mail\)</a>:)";

const pattern& links_without_search() {
    static const pattern expression(link_alternatives, link_clues());
    return expression;
}

const pattern& links_with_search() {
    static const pattern expression(std::string(link_alternatives) + R"(|((^|\s)srch:([\w\d\.]+)))", [] {
        std::vector<std::string> clues = link_clues();
        clues.push_back("srch:");
        return clues;
    }());
    return expression;
}

// "?" and ":" in the search address would be taken for format syntax.
std::string format_quoted(const std::string& search) {
    std::string quoted;
    for (char c : search) {
        if (c == '?' || c == ':') quoted += '\\';
        quoted += c;
    }
    return quoted;
}

// The format for a search address; built again only when the address changes.
const std::string& search_format(const std::string& search) {
    static std::string address;
    static std::string format;
    if (format.empty() || address != search) {
        address = search;
        format = std::string(link_formats) + R"(?18$19<a href="mailto\:$20">$20 \(Mail\)</a>:$22<a href="http\://)" +
                 format_quoted(search) + R"($23" target="_blank">$23 \(Suche\)</a>)";
    }
    return format;
}

}  // namespace

void collect_links(const std::string& text, std::vector<std::string>& links) {
    web_address().for_each_match(text, [&links](const boost::smatch& match) { links.push_back(match[6].str()); });
}

std::string anchor_links(const std::string& text, const std::string& search) {
    static const std::string plain_format =
        std::string(link_formats) + R"($19<a href="mailto\:$20">$20 \(Mail\)</a>)";
    const boost::match_flag_type flags = boost::match_default | boost::format_all;
    if (search.empty()) return links_without_search().replace(text, plain_format, flags);
    return links_with_search().replace(text, search_format(search), flags);
}

}  // namespace vorta
