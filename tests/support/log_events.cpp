#include "support/log_events.hpp"

#include <regex>

#include "support/temp_dir.hpp"

namespace test_support {

std::vector<std::string> log_events(const std::string& path) {
    static const std::regex stamped(
        R"(<span class="time">(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) )"
        R"([ 123]\d \d\d:\d\d:\d\d \d{4}</span> (.*))");
    std::vector<std::string> events;
    const std::string content = read_file(path);
    std::string::size_type start = 0;
    while (start < content.size()) {
        auto end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();  // an unended line is reported whole
        const std::string line = content.substr(start, end - start);
        std::smatch match;
        events.push_back(std::regex_match(line, match, stamped) && end < content.size() ? match[3].str()
                                                                                       : "bad stamp: " + line);
        start = end + 1;
    }
    return events;
}

}  // namespace test_support
