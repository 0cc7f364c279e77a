#pragma once
// The addresses in chat texts: the web addresses a text names, which the
// writer's repetition check counts, and the rewriting of web, FTP, news and
// mail addresses (and, with a search address, "srch:" terms) into HTML
// links. The texts are HTML-escaped already, so an address cannot leave its
// attribute.
#include <string>
#include <vector>

namespace vorta {

// Appends the address of every web address in `text` to `links`, without its
// "url:", "http://" and "www." prefixes, so that these spell one link.
void collect_links(const std::string& text, std::vector<std::string>& links);

// `text` with its addresses turned into links. A non-empty `search` (the
// address of a search page, to which the term is appended) makes "srch:"
// terms links too.
std::string anchor_links(const std::string& text, const std::string& search);

}  // namespace vorta
