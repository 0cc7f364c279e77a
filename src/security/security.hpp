#pragma once
// The operator's security rules: which rooms, users and referring sites are
// logged, which nicknames and sites are refused, which sites may not run the
// page's script and which censored words throw a writer out. Until rules are
// loaded the rule set is empty: nothing is logged or refused.
#include <string>

namespace vorta {

class room;
class user;

class security {
public:
    security() = default;
    security(const security&) = delete;
    security& operator=(const security&) = delete;
    virtual ~security() = default;

    // With an empty text: whether the room (user, site) is logged. With a text:
    // writes it to the matching log.
    bool room_log(room* r, const std::string& text) const;
    bool user_log(user* u, const std::string& text) const;
    bool site_log(user* u, const std::string& text) const;
    bool user_access(user* u) const;
    bool site_access(user* u) const;
    bool site_script(user* u) const;
    bool censor_exit(const std::string& text, user* u) const;
};

}  // namespace vorta
