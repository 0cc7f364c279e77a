#include "config/configuration.hpp"

#include <boost/regex.hpp>

#include <fstream>
#include <initializer_list>
#include <iterator>

#include "net/c_error.hpp"
#include "util/c_util.hpp"
#include "util/line_reader.hpp"

namespace vorta {

namespace {

// Key texts in enumerator order; the index is the key number.
const char* const key_texts[] = {
    "all.host", "all.www", "all.webpath", "all.path", "all.links", "all.onlyregs", "all.search",
    "file.welcome", "file.permissions", "file.rooms", "file.security", "file.replace", "file.log",
    "file.js", "file.help", "file.kill",
    "nick.min", "nick.max", "nick.valid", "nick.color",
    "pwd.max", "ua.max", "comment.max", "ref.max",
    "room.clear", "room.max", "room.valid",
    "photo.default", "photo.width", "photo.height", "photo.html",
    "info.out", "info.over", "info.clicked", "info.width", "info.height", "info.html",
    "mark.out", "mark.over", "mark.clicked", "mark.width", "mark.height", "mark.html",
    "unmark.out", "unmark.over", "unmark.clicked", "unmark.width", "unmark.height", "unmark.html",
    "go.out", "go.over", "go.clicked", "go.width", "go.height", "go.html",
    "ban.out", "ban.over", "ban.clicked", "ban.width", "ban.height", "ban.html",
    "banner.default", "banner.width", "banner.height", "banner.html",
    "css.basic", "css.startskin", "css.startskinpath",
    "db.connection", "db.cache", "db.clean",
    "file.www",
    "limit.pending", "limit.sessions",
    "all.proxies",
    "reg.open",
};
static_assert(std::size(key_texts) == configuration::key_count);

const char* const nick_chars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const char* const room_chars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789,;.-_";

// An empty value is no number: an absent key takes its fallback.
bool is_number(const std::string& v) {
    return !v.empty() && v.find_first_not_of("0123456789") == std::string::npos;
}

bool is_flag(const std::string& v) { return v == "0" || v == "1"; }

void make_directory(std::string& v) {
    if (v.empty()) {
        v = "/";
        return;
    }
    if (v.front() != '/') v.insert(0, 1, '/');
    if (v.back() != '/') v += '/';
}

void make_local(std::string& v, const std::string& dir) {
    if (!v.empty() && v.front() != '/') v.insert(0, dir);
}

void make_web_address(std::string& v, const std::string& www, const std::string& webpath) {
    if (v.empty()) return;
    const auto slash = v.find('/');
    // A dot before the first slash means the value already names a host.
    if (slash != std::string::npos && v.find('.') < slash) return;
    if (v.front() == '/')
        v.insert(0, www);
    else
        v.insert(0, www + webpath);
}

std::string read_without_line_breaks(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string();
    std::string text;
    for (std::istreambuf_iterator<char> it(in), end; it != end; ++it)
        if (*it != '\r' && *it != '\n') text += *it;
    return text;
}

}  // namespace

configuration::configuration() {
    for (int i = 0; i < key_count; ++i) names_.emplace(key_texts[i], static_cast<keys>(i));
}

void configuration::load(const std::string& path) {
    line_reader file(path, "configuration");
    static const boost::regex syntax("^([[:lower:]\\.]+)\\s*=(\\s*)(.*)");
    std::string line;
    while (file.next(line)) {
        boost::smatch match;
        if (!boost::regex_search(line, match, syntax)) throw file.error("unrecognized syntax");
        const auto name = names_.find(match[1].str());
        if (name == names_.end()) throw file.error("unknown key");
        values_.emplace(name->second, match[3].str());
    }
    validate();
}

void configuration::reload(const std::string& path) {
    auto previous = values_;
    values_.clear();
    try {
        load(path);
    } catch (const std::exception&) {
        values_ = std::move(previous);
        throw;
    }
}

const std::string& configuration::get(const keys& key) const {
    static const std::string absent;
    const auto it = values_.find(key);
    return it == values_.end() ? absent : it->second;
}

long configuration::get_int(const keys& key) const {
    const auto it = values_.find(key);
    return it == values_.end() ? 0 : string_to_long(it->second, 10);
}

// Each rule sees the values the earlier rules normalised; a key missing from
// the file is taken as present and empty, so it gets its fallback.
void configuration::validate() {
    auto& v = values_;
    const auto fallback_unless = [&v](keys key, bool (*ok)(const std::string&),
                                      const char* fallback) {
        if (!ok(v[key])) v[key] = fallback;
    };

    const auto slash = v[all_www].find('/');
    if (slash != std::string::npos) v[all_www].erase(slash);

    make_directory(v[all_webpath]);
    make_directory(v[all_path]);

    fallback_unless(all_links, is_flag, "1");
    fallback_unless(all_onlyregs, is_flag, "0");

    if (!v[file_welcome].empty()) {
        make_local(v[file_welcome], v[all_path]);
        v[file_welcome] = read_without_line_breaks(v[file_welcome]);
    }

    for (keys key : {file_permissions, file_rooms, file_security, file_replace, file_log, file_www})
        make_local(v[key], v[all_path]);

    fallback_unless(nick_min, is_number, "1");
    fallback_unless(nick_max, is_number, "15");
    if (v[nick_valid].empty()) v[nick_valid] = nick_chars;
    if (v[nick_color].find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        v[nick_color] = "0000FF";

    fallback_unless(pwd_max, is_number, "15");
    fallback_unless(ua_max, is_number, "100");
    fallback_unless(comment_max, is_number, "100");
    fallback_unless(ref_max, is_number, "100");

    fallback_unless(room_clear, is_flag, "0");
    fallback_unless(room_max, is_number, "20");
    if (v[room_valid].empty()) v[room_valid] = room_chars;

    for (keys key : {file_js, file_help, file_kill, photo_default,
                     info_out, info_over, info_clicked, mark_out, mark_over, mark_clicked,
                     unmark_out, unmark_over, unmark_clicked, go_out, go_over, go_clicked,
                     ban_out, ban_over, ban_clicked, css_basic, css_startskinpath})
        make_web_address(v[key], v[all_www], v[all_webpath]);

    fallback_unless(photo_width, is_number, "50");
    fallback_unless(photo_height, is_number, "50");

    for (keys key : {info_width, info_height, mark_width, mark_height, unmark_width,
                     unmark_height, go_width, go_height, ban_width, ban_height})
        fallback_unless(key, is_number, "12");

    make_web_address(v[banner_default], v[all_www], v[all_webpath]);
    fallback_unless(banner_width, is_number, "468");
    fallback_unless(banner_height, is_number, "60");

    fallback_unless(db_clean, is_flag, "1");

    fallback_unless(limit_pending, is_number, "16");
    fallback_unless(limit_sessions, is_number, "0");
    fallback_unless(reg_open, is_flag, "0");
}

std::string configuration::web_address(std::string value) const {
    make_web_address(value, get(all_www), get(all_webpath));
    return value;
}

}  // namespace vorta
