// The writer's own filters: repetition of texts and links, link anchoring
// and censored words.
#include <algorithm>

#include "chat/room.hpp"
#include "chat/user.hpp"
#include "config/configuration.hpp"
#include "program.hpp"
#include "render/message.hpp"
#include "security/links.hpp"
#include "security/security.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

// Drops the oldest entry and stores `value` as the newest.
template <std::size_t N>
void remember(std::array<std::string, N>& ring, const std::string& value) {
    std::move(ring.begin() + 1, ring.end(), ring.begin());
    ring.back() = value;
}

template <std::size_t N>
long occurrences(const std::array<std::string, N>& ring, const std::string& value) {
    return std::count(ring.begin(), ring.end(), value);
}

}  // namespace

// The thresholds are drawn anew each time, so a spammer cannot count on the
// exact number that still passes.
bool user::spammer(std::string& text) {
    bool spam = occurrences(last_texts, text) > random(3, 2);
    if (!spam) {
        remember(last_texts, text);
        anchors(text);
        for (const std::string& link : links) {
            if (occurrences(last_links, link) > random(2, 3)) {
                spam = true;
                break;
            }
            remember(last_links, link);
        }
    }
    if (!spam) return quit;
    room->send_html(message(mode_standard::msg_spammer, this), nullptr);
    send_java("EXT");
    quit = true;
    return true;
}

bool user::censor(const std::string& text) {
    if (Security.censor_exit(text, this)) {
        send_html(message(mode_standard::msg_is_censored));
        room->send_html(message(mode_standard::msg_censored, this), this);
        send_java("EXT");
        quit = true;
    }
    return quit;
}

void user::anchors(std::string& text) {
    links.clear();
    collect_links(text, links);
    if (Config.get_int(configuration::all_links) == 0) return;
    text = anchor_links(text, Config.get(configuration::all_search));
}

}  // namespace vorta
