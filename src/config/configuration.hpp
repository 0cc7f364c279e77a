#pragma once
// The server's settings: one file of `key = value` lines over a fixed set of
// 76 keys, normalised and defaulted after reading, answered by key afterwards.
// The program-wide instance is `Config`; it is reloaded on SIGHUP.
#include <map>
#include <string>

namespace vorta {

class configuration {
public:
    // Values 0 to 75, in the order of the key table; the text of each key is
    // the enumerator with its underscores written as dots ("nick.max").
    enum keys {
        all_host, all_www, all_webpath, all_path, all_links, all_onlyregs, all_search,
        file_welcome, file_permissions, file_rooms, file_security, file_replace, file_log,
        file_js, file_help, file_kill,
        nick_min, nick_max, nick_valid, nick_color,
        pwd_max, ua_max, comment_max, ref_max,
        room_clear, room_max, room_valid,
        photo_default, photo_width, photo_height, photo_html,
        info_out, info_over, info_clicked, info_width, info_height, info_html,
        mark_out, mark_over, mark_clicked, mark_width, mark_height, mark_html,
        unmark_out, unmark_over, unmark_clicked, unmark_width, unmark_height, unmark_html,
        go_out, go_over, go_clicked, go_width, go_height, go_html,
        ban_out, ban_over, ban_clicked, ban_width, ban_height, ban_html,
        banner_default, banner_width, banner_height, banner_html,
        css_basic, css_startskin, css_startskinpath,
        db_connection, db_cache, db_clean,
        file_www,
        limit_pending, limit_sessions,
        all_proxies,
        reg_open,
        key_count
    };

    configuration();
    virtual ~configuration() = default;

    // Reads and validates the file; throws c_error on the first error, with
    // whatever was read before it left in the value table.
    void load(const std::string& path);
    // Like load, but a failure puts the previous values back before rethrowing.
    void reload(const std::string& path);

    // Empty when absent. The reference holds until the next load or reload.
    const std::string& get(const keys& key) const;
    long get_int(const keys& key) const;     // 0 when absent or empty
    // A relative web address completed with "all.www" and "all.webpath", as
    // the address keys are.
    std::string web_address(std::string value) const;

private:
    void validate();

    std::map<std::string, keys> names_;
    std::map<keys, std::string> values_;
};

}  // namespace vorta
