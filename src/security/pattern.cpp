#include "security/pattern.hpp"

#include <stdexcept>

namespace vorta {

pattern::pattern(const std::string& text, boost::regex::flag_type flags) : text_(text), regex_(text, flags) {}

// The library reports a match it gives up on as std::runtime_error (its
// regex_error derives from it).
bool pattern::found_in(const std::string& subject) const {
    try {
        return boost::regex_search(subject, regex_);
    } catch (const std::runtime_error&) {
        return false;
    }
}

std::string pattern::replace(const std::string& subject, const std::string& format,
                             boost::match_flag_type flags) const {
    try {
        return boost::regex_replace(subject, regex_, format, flags);
    } catch (const std::runtime_error&) {
        return subject;
    }
}

}  // namespace vorta
