#include "util/c_util.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace vorta {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// ASCII only: the locale must not widen what counts as a letter.
bool is_ascii_alnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Index of the first `close` at or after `from` whose run of backslashes in
// front (not looking back past `start`) has even length; npos when none.
std::string::size_type find_unescaped(const std::string& line, char close,
                                      std::string::size_type start,
                                      std::string::size_type from) {
    for (auto pos = line.find(close, from); pos != std::string::npos;
         pos = line.find(close, pos + 1)) {
        std::string::size_type run = 0;
        while (pos - run > start && line[pos - run - 1] == '\\') ++run;
        if (run % 2 == 0) return pos;
    }
    return std::string::npos;
}

}  // namespace

bool nocase_equal(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    // Equal bytes first: the nickname check at log-in compares against every
    // session, and nicknames of a crowd share long stretches.
    for (std::string::size_type i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string lower_case(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

long string_to_long(const std::string& text, int base) {
    return std::strtol(text.c_str(), nullptr, base);
}

std::string long_to_string(long value) { return std::to_string(value); }

std::string ltrim(std::string s) {
    std::string::size_type i = 0;
    while (i < s.size() && is_blank(s[i])) ++i;
    s.erase(0, i);
    return s;
}

std::string rtrim(std::string s) {
    auto n = s.size();
    while (n > 0 && is_blank(s[n - 1])) --n;
    s.erase(n);
    return s;
}

std::string trim(std::string s) { return ltrim(rtrim(std::move(s))); }

std::string get_param(std::string line, int index, std::string open, char close) {
    std::string result;
    std::string::size_type pos = 0;
    for (int counter = 0; counter <= index; ++counter) {
        auto found = line.find(open, pos);
        if (found == std::string::npos) return result;
        auto start = found + open.size();
        auto end = find_unescaped(line, close, start, start);
        // An unterminated parameter spoils every query that reaches it.
        if (end == std::string::npos) return std::string();
        if (counter == index) result = c_unescape(line.substr(start, end - start));
        pos = end + 1;
    }
    return result;
}

std::vector<std::pair<std::string, std::string>> get_params(const std::string& line,
                                                            const int& count) {
    std::vector<std::pair<std::string, std::string>> result;
    const std::string text = trim(line);
    std::string::size_type pos = 0;
    for (int word = 1; word <= count; ++word) {
        auto blank = text.find(' ', pos);
        if (blank == std::string::npos) {
            result.emplace_back(text.substr(pos), std::string());
            break;
        }
        result.emplace_back(text.substr(pos, blank - pos), ltrim(text.substr(blank)));
        pos = text.find_first_not_of(' ', blank);
        if (pos == std::string::npos) pos = text.size();
    }
    while (static_cast<int>(result.size()) < count) result.emplace_back();
    return result;
}

// The escaping functions build a new string in one pass: editing in place
// would cost time in proportion to the square of a hostile text's length.

namespace {

bool c_special(char c) { return c == '\\' || c == '"' || c == '\''; }

}  // namespace

std::string c_escape(std::string s) {
    if (std::none_of(s.begin(), s.end(), c_special)) return s;
    std::string out;
    append_c_escaped(out, s);
    return out;
}

// Runs without a special character are appended whole: a room overview of a
// crowded room is long.
void append_c_escaped(std::string& out, std::string_view s) {
    out.reserve(out.size() + s.size() + static_cast<std::size_t>(std::count_if(s.begin(), s.end(), c_special)));
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!c_special(s[i])) continue;
        out.append(s.data() + run, i - run);
        out += '\\';
        run = i;
    }
    out.append(s.data() + run, s.size() - run);
}

std::string c_unescape(std::string s) {
    // A backslash is dropped and the character after it kept as it is.
    std::string out;
    out.reserve(s.size());
    for (std::string::size_type i = 0; i < s.size(); ++i) {
        if (s[i] == '\\') {
            if (++i == s.size()) break;
        }
        out += s[i];
    }
    return out;
}

std::string hex_escape(std::string s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (is_ascii_alnum(c)) {
            out += c;
        } else if (c == ' ') {
            out += '+';
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += digits[byte >> 4];
            out += digits[byte & 0x0f];
        }
    }
    return out;
}

std::string hex_unescape(std::string s) {
    std::string out;
    out.reserve(s.size());
    for (std::string::size_type i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out += ' ';
        } else if (s[i] == '%') {
            out += static_cast<char>(string_to_long(s.substr(i + 1, 2), 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string html_escape(std::string s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c; break;
        }
    }
    return out;
}

std::string html_unescape(std::string s) {
    static const struct {
        const char* entity;
        std::string::size_type length;
        char plain;
    } entities[] = {{"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}};
    std::string out;
    out.reserve(s.size());
    for (std::string::size_type i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '&') {
            for (const auto& e : entities) {
                if (s.compare(i, e.length, e.entity) == 0) {
                    c = e.plain;
                    i += e.length - 1;
                    break;
                }
            }
        }
        out += c;
    }
    return out;
}

std::string time_text() { return time_text(std::time(nullptr)); }

std::string time_text(std::time_t when) {
    char stamp[64] = "";
    if (ctime_r(&when, stamp) == nullptr) return std::string();
    return std::string(stamp, std::strcspn(stamp, "\r\n"));
}

// A count below 1 would divide by zero; it yields `first`.
int random(int first, int count) { return count > 0 ? first + std::rand() % count : first; }
void set_random_seed() { std::srand(static_cast<unsigned>(std::time(nullptr))); }

}  // namespace vorta
