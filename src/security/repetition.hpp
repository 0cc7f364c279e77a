#pragma once
// A writer's recent texts and the links in them, against which each new text
// is counted: a text or link that came too often among the last twelve is
// spam. The thresholds are drawn anew at every check, so that a spammer
// cannot count on the exact number that still passes.
#include <array>
#include <string>

namespace vorta {

class repetition {
public:
    // True when `text` is among the last texts more than 3 or 4 times;
    // otherwise it becomes the newest.
    bool text_repeated(const std::string& text);
    // True when `link` is among the last links more than 2, 3 or 4 times;
    // otherwise it becomes the newest.
    bool link_repeated(const std::string& link);

private:
    std::array<std::string, 12> last_texts;
    std::array<std::string, 12> last_links;
};

}  // namespace vorta
