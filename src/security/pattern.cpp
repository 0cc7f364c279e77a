#include "security/pattern.hpp"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>

namespace vorta {

namespace {

constexpr auto none = std::string::npos;

// Appends to a string up to a length; one character more throws.
class bounded_appender {
public:
    using iterator_category = std::output_iterator_tag;
    using value_type = void;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = void;

    bounded_appender(std::string& out, std::size_t limit) : out_(&out), limit_(limit) {}
    bounded_appender& operator*() { return *this; }
    bounded_appender& operator++() { return *this; }
    bounded_appender operator++(int) { return *this; }
    bounded_appender& operator=(char c) {
        if (out_->size() >= limit_) throw std::length_error("replacement result too long");
        out_->push_back(c);
        return *this;
    }

private:
    std::string* out_;
    std::size_t limit_;
};

// The index of the "]" that closes the class opening at `at`; none for a
// class this reading does not know (nested brackets such as "[:alpha:]").
std::string::size_type class_end(const std::string& e, std::string::size_type at) {
    auto i = at + 1;
    if (i < e.size() && e[i] == '^') ++i;
    if (i < e.size() && e[i] == ']') ++i;  // a leading "]" is a member
    for (; i < e.size(); ++i) {
        if (e[i] == '\\') {
            ++i;
        } else if (e[i] == '[') {
            return none;
        } else if (e[i] == ']') {
            return i;
        }
    }
    return none;
}

// The index of the "}" that closes the bounds "{n}", "{n,}" or "{n,m}"
// opening at `at`; none for anything else, which the library may read as
// literal characters.
std::string::size_type bounds_end(const std::string& e, std::string::size_type at) {
    const auto digits = [&e](std::string::size_type i) {
        while (i < e.size() && e[i] >= '0' && e[i] <= '9') ++i;
        return i;
    };
    auto i = digits(at + 1);
    if (i == at + 1) return none;
    if (i < e.size() && e[i] == ',') i = digits(i + 1);
    return i < e.size() && e[i] == '}' ? i : none;
}

// The index of the ")" that closes the group opening at `at`; none when it
// cannot be told.
std::string::size_type group_end(const std::string& e, std::string::size_type at) {
    int depth = 0;
    for (auto i = at; i < e.size(); ++i) {
        if (e[i] == '\\') {
            ++i;
        } else if (e[i] == '[') {
            if ((i = class_end(e, i)) == none) return none;
        } else if (e[i] == '(') {
            ++depth;
        } else if (e[i] == ')' && --depth == 0) {
            return i;
        }
    }
    return none;
}

}  // namespace

// Reads the expression as a sequence of items at the top level. A literal
// character is required unless a quantifier follows it; groups, classes,
// anchors and class escapes are items of their own that end a run. Whatever
// could change the meaning of later characters (alternatives at the top
// level, "(?" options, "(*" verbs, quoting, escapes with arguments) gives no
// clue.
std::string required_literal(const std::string& e) {
    if (e.find("(?") != none || e.find("(*") != none || e.find("\\Q") != none) return std::string();
    std::string best;
    std::string run;
    const auto end_run = [&] {
        if (run.size() > best.size()) best = run;
        run.clear();
    };
    // A quantifier makes the literal before it optional or repeated.
    const auto quantified = [&] {
        if (!run.empty()) run.pop_back();
        end_run();
    };
    for (std::string::size_type i = 0; i < e.size(); ++i) {
        const char c = e[i];
        switch (c) {
            case '|':
            case ')':
            case ']':
            case '}':
                return std::string();
            case '*':
            case '+':
            case '?':
                quantified();
                break;
            case '{':
                quantified();
                if ((i = bounds_end(e, i)) == none) return std::string();
                break;
            case '(':
                if ((i = group_end(e, i)) == none) return std::string();
                end_run();
                break;
            case '[':
                if ((i = class_end(e, i)) == none) return std::string();
                end_run();
                break;
            case '.':
            case '^':
            case '$':
                end_run();
                break;
            case '\\': {
                if (i + 1 >= e.size()) return std::string();
                const char next = e[++i];
                if (next == '\0') return std::string();
                if (std::strchr(".*+?()[]{}|^$\\/-@#%&=!:;,\"~_ ", next) != nullptr) {
                    run += next;  // a character that would be special
                } else if (std::strchr("bBwWsSdD<>`'", next) != nullptr) {
                    end_run();  // a class or a position
                } else {
                    return std::string();
                }
                break;
            }
            default:
                run += c;
                break;
        }
    }
    end_run();
    return best;
}

pattern::pattern(const std::string& text) : text_(text), regex_(text) {
    std::string clue = required_literal(text);
    if (!clue.empty()) clues_.push_back(std::move(clue));
}

pattern::pattern(const std::string& text, std::vector<std::string> clues)
    : text_(text), regex_(text), clues_(std::move(clues)) {}

bool pattern::may_match(const std::string& subject) const {
    return clues_.empty() || std::any_of(clues_.begin(), clues_.end(), [&subject](const std::string& clue) {
               return subject.find(clue) != none;
           });
}

// The library reports a match it gives up on as std::runtime_error (its
// regex_error derives from it).
bool pattern::found_in(const std::string& subject) const {
    if (!may_match(subject)) return false;
    try {
        return boost::regex_search(subject, regex_);
    } catch (const std::runtime_error&) {
        return false;
    }
}

std::string pattern::replace(const std::string& subject, const std::string& format,
                             boost::match_flag_type flags) const {
    if (!may_match(subject)) return subject;
    std::string result;
    result.reserve(subject.size() + 64);
    try {
        boost::regex_replace(bounded_appender(result, max_result), subject.begin(), subject.end(), regex_, format,
                             flags);
    } catch (const std::runtime_error&) {
        return subject;
    } catch (const std::length_error&) {
        return subject;
    }
    return result;
}

}  // namespace vorta
