#include "http/http_request.hpp"

#include <algorithm>
#include <cctype>

#include "util/c_util.hpp"

namespace vorta {

namespace {

bool same_text(std::string_view a, std::string_view b) { return nocase_equal(std::string(a), std::string(b)); }

std::string trimmed(std::string_view text) { return trim(std::string(text)); }

// Letters, digits and the marks that RFC 9110 allows in a token.
bool is_token(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    });
}

}  // namespace

bool http_request::set_request_line(std::string_view line) {
    const auto first = line.find(' ');
    const auto second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos) return false;
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    if (!is_token(method) || target.empty() || (version != "HTTP/1.1" && version != "HTTP/1.0")) return false;
    // No control character: the target may be echoed in a Location header.
    if (std::any_of(target.begin(), target.end(), [](char c) {
            return static_cast<unsigned char>(c) <= ' ' || c == '\x7f';
        }))
        return false;
    method_ = method;
    target_ = target;
    version_ = version;
    return true;
}

bool http_request::add_header(std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || !is_token(line.substr(0, colon))) return false;
    if (line.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos) return false;
    headers_.emplace_back(line.substr(0, colon), trimmed(line.substr(colon + 1)));
    return true;
}

std::string http_request::path() const { return target_.substr(0, target_.find_first_of("?#")); }

std::string http_request::header(std::string_view name) const {
    for (const auto& [key, value] : headers_)
        if (same_text(key, name)) return value;
    return std::string();
}

bool http_request::has_header(std::string_view name) const {
    return std::any_of(headers_.begin(), headers_.end(), [name](const auto& h) { return same_text(h.first, name); });
}

bool http_request::lists(std::string_view name, std::string_view token) const {
    for (const auto& [key, value] : headers_) {
        if (!same_text(key, name)) continue;
        std::string_view rest = value;
        while (!rest.empty()) {
            const auto comma = rest.find(',');
            if (same_text(trimmed(rest.substr(0, comma)), token)) return true;
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
    }
    return false;
}

}  // namespace vorta
