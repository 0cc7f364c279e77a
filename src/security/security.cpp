#include "security/security.hpp"

#include <algorithm>
#include <cstdio>

#include "chat/room.hpp"
#include "chat/user.hpp"
#include "net/c_error.hpp"
#include "util/c_util.hpp"
#include "util/line_reader.hpp"

namespace vorta {

namespace {

const std::string& word_of(const std::string& word) { return word; }
const std::string& word_of(const pattern& word) { return word.text(); }

bool any_found(const std::vector<pattern>& patterns, const std::string& subject) {
    return std::any_of(patterns.begin(), patterns.end(),
                       [&subject](const pattern& p) { return p.found_in(subject); });
}

// A word in a list file is the first run of non-blank characters of its line.
std::string first_word(const std::string& line) { return line.substr(0, line.find_first_of(" \t")); }

// The words of a rule with what compiling them as patterns gave. Every word
// of a rule that matches is compiled, so that a faulty one is reported with
// its file and line and not by the first chat line that meets it.
struct rule_word {
    std::string word;
    std::vector<pattern> compiled;  // empty or one
};

void add_word(std::vector<rule_word>& words, const std::string& word, bool compile, const line_reader& where) {
    rule_word entry{word, {}};
    if (compile) {
        try {
            entry.compiled.emplace_back(word);
        } catch (const boost::regex_error&) {
            throw where.error("unrecognized syntax");
        }
    }
    words.push_back(std::move(entry));
}

}  // namespace

void security::load(const std::string& path) {
    line_reader file(path, "security");
    directory = path.substr(0, path.rfind('/') + 1);
    static const boost::regex syntax(R"(^([ruwc])\s+([^\s]+)(\s+([^\s]+)(\s+([\w]+))?)?)");
    std::string line;
    while (file.next(line)) {
        boost::smatch match;
        if (!boost::regex_search(line, match, syntax)) throw file.error("unrecognized syntax");
        add_rule(file, match[1].str()[0], match[2].str(), match[4].str(), match[6].str());
    }
}

void security::reload(const std::string& path) {
    rule_set previous = std::move(rules);
    rules = rule_set();
    try {
        load(path);
    } catch (...) {
        rules = std::move(previous);
        throw;
    }
}

std::vector<pattern>* security::action_list(char kind, const std::string& word) {
    if (kind == 'u' && word == "noaccess") return &rules.user_noaccess;
    if (kind == 'w' && word == "noaccess") return &rules.site_noaccess;
    if (kind == 'w' && word == "noscript") return &rules.site_noscript;
    if (kind == 'c' && word == "exit") return &rules.censor_exit_words;
    return nullptr;
}

void security::add_rule(const line_reader& file, char kind, const std::string& names, const std::string& target,
                        const std::string& action) {
    const bool logs = !target.empty() && target[0] == '>';
    // Where the words go besides a log: an action as target, or after one.
    std::vector<pattern>* acting = nullptr;
    if (logs) {
        if (!action.empty() && kind != 'r' && (acting = action_list(kind, action)) == nullptr)
            throw file.error("unrecognized syntax");
    } else if (!target.empty()) {
        if (!action.empty() || (acting = action_list(kind, target)) == nullptr) throw file.error("unrecognized syntax");
    }

    // Exempt room names are only ever compared, never searched.
    const bool compile = kind != 'r' || logs;
    std::vector<rule_word> words;
    if (names[0] == '@') {
        line_reader list(directory + names.substr(1), "security");
        std::string entry;
        while (list.next(entry)) add_word(words, first_word(entry), compile, list);
    } else {
        add_word(words, names, compile, file);
    }

    struct kind_lists {
        std::vector<log_rule>& logs;
        const char* suffix;
    };
    kind_lists lists = kind == 'r'   ? kind_lists{rules.room_logs, ".r"}
                       : kind == 'u' ? kind_lists{rules.user_logs, ".u"}
                       : kind == 'w' ? kind_lists{rules.site_logs, ".w"}
                                     : kind_lists{rules.censor_logs, ".c"};
    const std::string log_name = logs ? target.substr(1) : std::string();
    for (rule_word& w : words) {
        if (target.empty()) {
            if (kind == 'r') rules.room_exempt.push_back(w.word);
            else if (kind == 'u') rules.user_exempt.push_back(w.compiled.front());
            else if (kind == 'w') rules.site_exempt.push_back(w.compiled.front());
            else rules.censor_exempt.push_back(w.compiled.front());
            continue;
        }
        if (logs) {
            // ">" alone: a file named after the word; ">dir/": one file per
            // word in that directory; ">file": one file for all.
            std::string name = log_name.empty()            ? w.word + lists.suffix
                               : log_name.back() == '/' ? log_name + w.word
                                                        : log_name;
            lists.logs.push_back(log_rule{w.compiled.front(), c_escape(name)});
        }
        if (acting != nullptr) acting->push_back(w.compiled.front());
    }
}

template <typename Exempt>
bool security::log(const std::vector<Exempt>& exempt, const std::vector<log_rule>& logs, const std::string& subject,
                   const std::string& text) const {
    const std::string key = lower_case(subject);
    for (const Exempt& word : exempt)
        if (word_of(word) == key) return false;
    const auto rule = std::find_if(logs.begin(), logs.end(), [&key](const log_rule& r) { return r.match.found_in(key); });
    if (text.empty()) return rule != logs.end();
    if (rule != logs.end()) write(rule->file, text);
    return true;
}

bool security::room_log(room* r, const std::string& text) const {
    return log(rules.room_exempt, rules.room_logs, r->get_name(), text);
}

bool security::user_log(user* u, const std::string& text) const {
    return log(rules.user_exempt, rules.user_logs, u->get_nickname(), text);
}

bool security::site_log(user* u, const std::string& text) const {
    return log(rules.site_exempt, rules.site_logs, u->get_referer(), text);
}

void security::censor_log(const std::string& text, user* u) const {
    // The message is never empty, so this only writes.
    log(rules.censor_exempt, rules.censor_logs, text, "censored: \"" + text + "\" by " + u->get_nickname());
}

bool security::user_access(user* u) const {
    const std::string subject = lower_case(u->get_nickname());
    if (any_found(rules.user_exempt, subject)) return true;
    if (!any_found(rules.user_noaccess, subject)) return true;
    site_log(u, "noaccess: " + u->get_nickname());
    return false;
}

// A site whose page may not run the script may still log in.
bool security::site_access(user* u) const {
    const std::string subject = lower_case(u->get_referer());
    if (any_found(rules.site_exempt, subject) || any_found(rules.site_noscript, subject)) return true;
    if (!any_found(rules.site_noaccess, subject)) return true;
    site_log(u, "noaccess: " + html_escape(u->get_referer()));
    return false;
}

bool security::site_script(user* u) const {
    const std::string subject = lower_case(u->get_referer());
    if (any_found(rules.site_exempt, subject)) return true;
    if (!any_found(rules.site_noscript, subject)) return true;
    site_log(u, "noscript: " + html_escape(u->get_referer()));
    return false;
}

bool security::censor_exit(const std::string& text, user* u) const {
    const std::string subject = lower_case(text);
    if (any_found(rules.censor_exempt, subject)) return false;
    if (!any_found(rules.censor_exit_words, subject)) return false;
    censor_log(text, u);
    return true;
}

void security::write(const std::string& file, const std::string& text) const {
    std::FILE* out = std::fopen((directory + file).c_str(), "ae");
    if (out == nullptr) return;
    std::string line;
    line.append("<span class=\"time\">").append(time_text()).append("</span> ").append(text).append("\n");
    std::fwrite(line.data(), 1, line.size(), out);
    std::fclose(out);
}

}  // namespace vorta
