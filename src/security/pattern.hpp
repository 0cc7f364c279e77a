#pragma once
// A regular expression compiled once, when the file or filter that holds it is
// set up, and matched against hostile text many times. Matching never throws:
// a match the library gives up on (too complex for the text) finds nothing,
// so no text can end the server.
#include <boost/regex.hpp>

#include <string>

namespace vorta {

class pattern {
public:
    // Throws boost::regex_error when `text` is no valid expression.
    explicit pattern(const std::string& text, boost::regex::flag_type flags = boost::regex::normal);

    const std::string& text() const { return text_; }
    // Whether the expression matches anywhere in `subject`.
    bool found_in(const std::string& subject) const;
    // `subject` with every non-overlapping match replaced by `format`;
    // `subject` unchanged when the library gives up.
    std::string replace(const std::string& subject, const std::string& format,
                        boost::match_flag_type flags = boost::format_default) const;
    // Calls `each` with every non-overlapping match in `subject`, in order,
    // until the library gives up.
    template <typename Function>
    void for_each_match(const std::string& subject, Function each) const;

private:
    std::string text_;
    boost::regex regex_;
};

template <typename Function>
void pattern::for_each_match(const std::string& subject, Function each) const {
    try {
        for (boost::sregex_iterator it(subject.begin(), subject.end(), regex_), end; it != end; ++it) each(*it);
    } catch (const std::runtime_error&) {
        // Too complex: the matches found so far are all there is.
    }
}

}  // namespace vorta
