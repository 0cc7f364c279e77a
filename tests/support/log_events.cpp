#include "support/log_events.hpp"

#include <algorithm>
#include <regex>

#include "support/temp_dir.hpp"

namespace test_support {

std::vector<std::string> log_events(const std::string& path) {
    static const std::regex stamped(
        R"(<span class="time">(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) )"
        R"([ 123]\d \d\d:\d\d:\d\d \d{4}</span> (.*))");
    std::vector<std::string> events;
    const std::string content = read_file(path);
    for (std::size_t start = 0, end; start < content.size(); start = end + 1) {
        end = std::min(content.find('\n', start), content.size());  // an unended line is reported whole
        const std::string line = content.substr(start, end - start);
        std::smatch match;
        const bool stamped_line = std::regex_match(line, match, stamped) && end < content.size();
        events.push_back(stamped_line ? match[3].str() : "bad stamp: " + line);
    }
    return events;
}

}  // namespace test_support
