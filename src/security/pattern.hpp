#pragma once
// A regular expression compiled once, when the file or filter that holds it is
// set up, and matched against hostile text many times. Matching never throws:
// a match the library gives up on (too complex for the text) finds nothing,
// so no text can end the server.
//
// Most texts match none of the operator's patterns, so each pattern keeps
// clues, literal texts of which every match holds one: a subject without any
// of them is passed over without running the matcher.
#include <boost/regex.hpp>

#include <string>
#include <vector>

namespace vorta {

class pattern {
public:
    // Throws boost::regex_error when `text` is no valid expression. The clue
    // is found in the expression itself.
    explicit pattern(const std::string& text);
    // With the clues given: every match holds one of them (none: no clue).
    pattern(const std::string& text, std::vector<std::string> clues);

    const std::string& text() const { return text_; }
    // Whether the expression matches anywhere in `subject`.
    bool found_in(const std::string& subject) const;
    // `subject` with every non-overlapping match replaced by `format`;
    // `subject` unchanged when the library gives up, or when the result would
    // be longer than `max_result`: a pattern that matches the empty string
    // or a chain of replacements that each multiply a text could otherwise
    // make a line of chat grow without bound.
    static constexpr std::size_t max_result = 1 << 16;
    std::string replace(const std::string& subject, const std::string& format,
                        boost::match_flag_type flags = boost::format_default) const;
    // Calls `each` with every non-overlapping match in `subject`, in order,
    // until the library gives up.
    template <typename Function>
    void for_each_match(const std::string& subject, Function each) const;

private:
    // False when no match is possible, as no clue is in `subject`.
    bool may_match(const std::string& subject) const;

    std::string text_;
    boost::regex regex_;
    std::vector<std::string> clues_;
};

// The longest run of literal characters that every match of the expression
// (default syntax) holds; empty when there is none, or the expression uses
// more than the plain constructs this reading knows.
std::string required_literal(const std::string& expression);

template <typename Function>
void pattern::for_each_match(const std::string& subject, Function each) const {
    if (!may_match(subject)) return;
    try {
        for (boost::sregex_iterator it(subject.begin(), subject.end(), regex_), end; it != end; ++it) each(*it);
    } catch (const std::runtime_error&) {
        // Too complex: the matches found so far are all there is.
    }
}

}  // namespace vorta
