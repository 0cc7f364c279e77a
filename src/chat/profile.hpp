#pragma once
// The stored record of a registered nickname: rank, rendering mode, skin,
// pictures, clan, colour and blocked users. A session loads its state from a
// profile at log-in and writes it back when it leaves.
#include <ctime>
#include <list>
#include <string>

namespace vorta {

class profile {
public:
    profile();
    explicit profile(const std::string& nickname);
    profile(const profile&) = default;
    profile(profile&&) = default;
    profile& operator=(const profile&) = default;
    profile& operator=(profile&&) = default;
    virtual ~profile() = default;

    // Starts the online time now; keeps the old login time if the clock fails.
    void reset();
    // Whole minutes since the login time; -1 when there is no login time or
    // the clock cannot be read.
    int online_time() const;

    long get_id() const { return id_; }
    void set_id(long id) { id_ = id; }
    std::time_t get_login_time() const { return login_time_; }
    void set_login_time(std::time_t login_time) { login_time_ = login_time; }
    const std::string& get_nickname() const { return nickname_; }
    void set_nickname(const std::string& nickname) { nickname_ = nickname; }
    // Name (not label) of a rank in the permission table.
    const std::string& get_rank() const { return rank_; }
    void set_rank(const std::string& rank) { rank_ = rank; }
    const std::string& get_mode() const { return mode_; }
    void set_mode(const std::string& mode) { mode_ = mode; }
    const std::string& get_skin() const { return skin_; }
    void set_skin(const std::string& skin) { skin_ = skin; }
    const std::string& get_skin_path() const { return skin_path_; }
    void set_skin_path(const std::string& skin_path) { skin_path_ = skin_path; }
    bool get_show_images() const { return show_images_; }
    void set_show_images(bool show_images) { show_images_ = show_images; }
    const std::string& get_homepage() const { return homepage_; }
    void set_homepage(const std::string& homepage) { homepage_ = homepage; }
    const std::string& get_photo() const { return photo_; }
    void set_photo(const std::string& photo) { photo_ = photo; }
    const std::string& get_banner() const { return banner_; }
    void set_banner(const std::string& banner) { banner_ = banner; }
    const std::string& get_clan() const { return clan_; }
    void set_clan(const std::string& clan) { clan_ = clan; }
    const std::string& get_colour() const { return colour_; }
    void set_colour(const std::string& colour) { colour_ = colour; }
    // Ids of the users whose messages this user does not want.
    const std::list<long>& get_blocked() const { return blocked_; }
    void set_blocked(const std::list<long>& blocked) { blocked_ = blocked; }

private:
    long id_ = 0;
    std::time_t login_time_ = 0;
    std::string nickname_;
    std::string rank_;
    std::string mode_;
    std::string skin_;
    std::string skin_path_;
    bool show_images_ = false;
    std::string homepage_;
    std::string photo_;
    std::string banner_;
    std::string clan_;
    std::string colour_;
    std::list<long> blocked_;
};

}  // namespace vorta
