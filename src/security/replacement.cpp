#include "security/replacement.hpp"

#include "util/line_reader.hpp"

namespace vorta {

void replacement::load(const std::string& file) {
    line_reader lines(file, "replacement");
    static const boost::regex syntax(R"(\s*([^\s=]+)\s*=(\s*)(.*))");
    std::string line;
    while (lines.next(line)) {
        boost::smatch match;
        if (!boost::regex_match(line, match, syntax)) throw lines.error("unrecognized syntax");
        // A pattern that cannot compile would fail on the first text said.
        try {
            replacements.emplace_back(pattern(match[1].str()), match[3].str());
        } catch (const boost::regex_error&) {
            throw lines.error("unrecognized syntax");
        }
    }
}

void replacement::reload(const std::string& file) {
    auto previous = std::move(replacements);
    replacements.clear();
    try {
        load(file);
    } catch (...) {
        replacements = std::move(previous);
        throw;
    }
}

void replacement::replace(std::string& text) const {
    for (const auto& [match, format] : replacements) text = match.replace(text, format);
}

}  // namespace vorta
