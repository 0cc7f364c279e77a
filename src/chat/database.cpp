#include "chat/database.hpp"

#include "config/configuration.hpp"
#include "net/c_error.hpp"
#include "net/scheduler.hpp"
#include "program.hpp"
#include "store/sqlite_store.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

const std::string scheme = "sqlite:";

// Seconds between two logged store failures.
constexpr std::time_t report_interval = 60;

}  // namespace

database::database(password_hasher::hand_back deliver)
    : hasher_(deliver ? std::move(deliver)
                      : password_hasher::hand_back([](std::function<void()> work) { Scheduler.post(std::move(work)); })) {}

database::~database() = default;

void database::init() {}

database::cache database::cache_from_text(const std::string& text) {
    if (nocase_equal(text, "yes")) return yes;
    if (nocase_equal(text, "pass")) return pass;
    return no;
}

std::string database::store_path(const std::string& connection) {
    if (connection.empty()) return std::string();
    if (connection.compare(0, scheme.size(), scheme) != 0 || connection.size() == scheme.size())
        throw c_error("unknown database connection '" + connection + "'");
    std::string path = connection.substr(scheme.size());
    if (path.front() != '/') path.insert(0, Config.get(configuration::all_path));
    return path;
}

void database::start(const std::string& connection, cache mode, bool clean) {
    const std::string path = store_path(connection);
    std::unique_ptr<sqlite_store> opened;
    if (!path.empty()) {
        opened = std::make_unique<sqlite_store>(path);
        if (clean) opened->clean();
        opened->forget_rooms();
    }
    store_ = std::move(opened);
    connection_ = connection;
    mode_ = mode;
    profiles_.clear();
    seen_version_ = -1;
}

void database::stop() {
    store_.reset();
    connection_.clear();
    profiles_.clear();
}

void database::restart() {
    const std::string connection = Config.get(configuration::db_connection);
    const cache mode = cache_from_text(Config.get(configuration::db_cache));
    if (connection != connection_) {
        start(connection, mode, Config.get_int(configuration::db_clean) != 0);
        return;
    }
    mode_ = mode;
    profiles_.clear();
}

template <class Result, class Operation>
Result database::guarded(Result fallback, Operation operation) const {
    if (!store_) return fallback;
    try {
        return operation(*store_);
    } catch (const std::exception& error) {
        report(error);
        return fallback;
    }
}

void database::report(const std::exception& error) const {
    const std::time_t now = std::time(nullptr);
    if (last_report_ != 0 && now - last_report_ < report_interval) return;
    last_report_ = now;
    write_log(std::string("error: ") + error.what());
}

bool database::banned_ip(const ip& address) const {
    return guarded(false, [&](sqlite_store& s) { return s.banned(address.external); });
}

bool database::ban_ip(const ip& address, const int& duration) {
    return guarded(false, [&](sqlite_store& s) { return s.ban(address.external, duration); });
}

bool database::locked_nickname(const std::string& nickname) const {
    return guarded(false, [&](sqlite_store& s) { return s.locked(nickname); });
}

bool database::lock_nickname(const std::string& nickname, const int& duration) {
    return guarded(false, [&](sqlite_store& s) { return s.lock(nickname, duration); });
}

bool database::clan_exist(const std::string& clan) const {
    return guarded(false, [&](sqlite_store& s) { return s.clan_exist(clan); });
}

bool database::nickname_exist(const std::string& nickname) const {
    if (cached(nickname) != nullptr) return true;
    return guarded(false, [&](sqlite_store& s) { return s.nickname_exist(nickname); });
}

const profile* database::cached(const std::string& nickname) const {
    if (mode_ == no || !store_) return nullptr;
    if (mode_ == pass) {
        const long version = guarded(-1L, [](sqlite_store& s) { return s.data_version(); });
        if (version != seen_version_) {
            profiles_.clear();
            seen_version_ = version;
        }
    }
    const auto found = profiles_.find(lower_case(nickname));
    return found == profiles_.end() ? nullptr : &found->second;
}

void database::remember(const profile& record) const {
    if (mode_ != no) profiles_.insert_or_assign(lower_case(record.get_nickname()), record);
}

bool database::load_profile(profile& record) const {
    if (const profile* known = cached(record.get_nickname())) {
        record = *known;
        record.reset();
        return true;
    }
    profile loaded(record.get_nickname());
    if (!guarded(false, [&](sqlite_store& s) { return s.load_profile(loaded); })) return false;
    remember(loaded);
    record = std::move(loaded);
    // The session starts now, not when the last one did.
    record.reset();
    return true;
}

void database::save_profile(const profile& record) {
    if (record.get_id() <= 0) return;
    if (guarded(false, [&](sqlite_store& s) {
            s.save_profile(record);
            return true;
        }))
        remember(record);
    else
        profiles_.erase(lower_case(record.get_nickname()));
}

void database::verify_password(const std::string& nickname, std::string password, std::function<void(bool)> done) {
    const std::string hash = guarded(std::string(), [&](sqlite_store& s) { return s.password_hash(nickname); });
    hasher_.verify(hash, std::move(password), std::move(done));
}

void database::register_nickname(const std::string& nickname, std::string password, const std::string& rank,
                                 std::function<void(registration)> done) {
    hasher_.hash(std::move(password), [this, nickname, rank, done = std::move(done)](std::string hash) {
        if (hash.empty() || !store_) {
            done(failed);
            return;
        }
        try {
            done(store_->add_account(nickname, hash, rank) ? registered : taken);
        } catch (const std::exception& error) {
            report(error);
            done(failed);
        }
    });
}

std::map<std::string, std::string> database::get_skins() const {
    auto found = guarded(skins, [](sqlite_store& s) { return s.skins(); });
    for (auto& skin : found) skin.second = Config.web_address(skin.second);
    return found;
}

void database::block_user(const long& user_id, const long& blocked_id) {
    guarded(false, [&](sqlite_store& s) {
        s.block(user_id, blocked_id);
        return true;
    });
}

void database::unblock_user(const long& user_id, const long& blocked_id) {
    guarded(false, [&](sqlite_store& s) {
        s.unblock(user_id, blocked_id);
        return true;
    });
}

long database::new_room(const std::string& name) {
    return guarded(0L, [&](sqlite_store& s) { return s.new_room(name); });
}

void database::close_room(const long& room_id) {
    if (room_id == 0) return;
    guarded(false, [&](sqlite_store& s) {
        s.close_room(room_id);
        return true;
    });
}

void database::join_room(const long& room_id, const long& user_id) {
    if (room_id == 0 || user_id <= 0) return;
    guarded(false, [&](sqlite_store& s) {
        s.join_room(room_id, user_id);
        return true;
    });
}

void database::leave_room(const long& room_id, const long& user_id) {
    if (room_id == 0 || user_id <= 0) return;
    guarded(false, [&](sqlite_store& s) {
        s.leave_room(room_id, user_id);
        return true;
    });
}

void database::hide_room(const long& room_id) {
    if (room_id == 0) return;
    guarded(false, [&](sqlite_store& s) {
        s.set_room_hidden(room_id, true);
        return true;
    });
}

void database::show_room(const long& room_id) {
    if (room_id == 0) return;
    guarded(false, [&](sqlite_store& s) {
        s.set_room_hidden(room_id, false);
        return true;
    });
}

}  // namespace vorta
