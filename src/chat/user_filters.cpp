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

namespace vorta {

// A text that is spam is not remembered; a link that is spam is not, nor
// are the links after it, but its text is.
bool user::spammer(std::string& text) {
    bool spam = recent.text_repeated(text);
    if (!spam) {
        anchors(text);
        spam = std::any_of(links.begin(), links.end(),
                           [this](const std::string& link) { return recent.link_repeated(link); });
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
