#include "security/repetition.hpp"

#include <algorithm>

#include "util/c_util.hpp"

namespace vorta {

namespace {

// Unless `value` is in `ring` more than `limit` times, drops the oldest
// entry and stores `value` as the newest. True when it was.
bool repeated(std::array<std::string, 12>& ring, const std::string& value, int limit) {
    if (std::count(ring.begin(), ring.end(), value) > limit) return true;
    std::move(ring.begin() + 1, ring.end(), ring.begin());
    ring.back() = value;
    return false;
}

}  // namespace

bool repetition::text_repeated(const std::string& text) { return repeated(last_texts, text, random(3, 2)); }

bool repetition::link_repeated(const std::string& link) { return repeated(last_links, link, random(2, 3)); }

}  // namespace vorta
