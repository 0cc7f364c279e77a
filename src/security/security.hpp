#pragma once
// The operator's security rules, read from the security file: which rooms,
// users, referring sites and censored words are logged to which files, which
// nicknames and sites are refused, which sites may not run the page's script
// and which censored words throw a writer out. Until rules are loaded the
// rule set is empty: nothing is logged or refused.
//
// Rule words are patterns, compiled as the file is loaded, and searched in
// the lower-cased subject (room name, nickname, referer, text). The exempt
// words serve twice: compared exactly with the subject they keep it out of
// the logs, matched as patterns they keep it from being refused.
#include <string>
#include <vector>

#include "security/pattern.hpp"

namespace vorta {

class line_reader;
class room;
class user;

class security {
public:
    security() = default;
    security(const security&) = delete;
    security& operator=(const security&) = delete;
    virtual ~security() = default;

    // Appends the rules of the file. Throws c_error when it or a list file
    // it names cannot be read, or at a faulty line (the rules before that
    // line stay).
    void load(const std::string& path);
    // Replaces all rules by those of the file, or keeps the old rules and
    // throws when the file is faulty.
    void reload(const std::string& path);

    // With an empty text: whether the room (user, referring site) is logged.
    // With a text: writes it to the room's log; true unless the room is
    // exempt, even when no rule logs it.
    bool room_log(room* r, const std::string& text) const;
    bool user_log(user* u, const std::string& text) const;
    bool site_log(user* u, const std::string& text) const;
    // Logs the use of a censored word; `text` is HTML already.
    void censor_log(const std::string& text, user* u) const;
    // Whether the user may log in with his nickname, from his referring
    // site, and whether his page may run the chat script. Refusals go to the
    // site's log.
    bool user_access(user* u) const;
    bool site_access(user* u) const;
    bool site_script(user* u) const;
    // Whether `text` holds a word that throws its writer out; logs it when so.
    bool censor_exit(const std::string& text, user* u) const;
    // Appends a time-stamped line to the log file `file` beside the rules.
    void write(const std::string& file, const std::string& text) const;

private:
    struct log_rule {
        pattern match;
        std::string file;
    };
    struct rule_set {
        std::vector<std::string> room_exempt;  // never used as patterns
        std::vector<log_rule> room_logs;
        std::vector<pattern> user_exempt;
        std::vector<log_rule> user_logs;
        std::vector<pattern> user_noaccess;
        std::vector<pattern> site_exempt;
        std::vector<log_rule> site_logs;
        std::vector<pattern> site_noaccess;
        std::vector<pattern> site_noscript;
        std::vector<pattern> censor_exempt;
        std::vector<log_rule> censor_logs;
        std::vector<pattern> censor_exit_words;
    };

    // Adds the rule of one parsed line.
    void add_rule(const line_reader& file, char kind, const std::string& names, const std::string& target,
                  const std::string& action);
    // The list that an action word puts names into for `kind`; null when the
    // word is no action of that kind.
    std::vector<pattern>* action_list(char kind, const std::string& word);
    // Logs `text` by the first rule matching `subject`, unless an exempt
    // word equals the subject.
    template <typename Exempt>
    bool log(const std::vector<Exempt>& exempt, const std::vector<log_rule>& logs, const std::string& subject,
             const std::string& text) const;

    std::string directory;
    rule_set rules;
};

}  // namespace vorta
