#include "command_line.hpp"

#include <cstdlib>
#include <istream>
#include <iterator>
#include <ostream>

#include "chat/database.hpp"
#include "chat/permission.hpp"
#include "config/configuration.hpp"
#include "config_check.hpp"
#include "net/c_error.hpp"
#include "program.hpp"
#include "store/password_hasher.hpp"
#include "store/sqlite_store.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

// How long a subcommand waits for the daemon's write to end, in milliseconds.
constexpr int command_busy_timeout = 5000;

// Shortest password accepted for a registered nickname.
constexpr std::size_t min_password = 8;

}  // namespace

// Subcommands by name, with their argument counts.
const command_line::entry command_line::table[] = {
    {"check", 0, 1, "[FILE]", false, &command_line::on_check},
    {"register", 1, 2, "NICK [RANK]", true, &command_line::on_register},
    {"password", 1, 1, "NICK", true, &command_line::on_password},
    {"rank", 2, 2, "NICK RANK", true, &command_line::on_rank},
    {"clan", 1, 2, "NICK [CLAN]", true, &command_line::on_clan},
    {"unregister", 1, 1, "NICK", true, &command_line::on_unregister},
    {"bans", 0, 0, "", true, &command_line::on_bans},
    {"unban", 1, 1, "ADDRESS", true, &command_line::on_unban},
    {"unlock", 1, 1, "NICK", true, &command_line::on_unlock},
    {nullptr, 0, 0, nullptr, false, nullptr},
};

const command_line::entry* command_line::find(const std::string& name) {
    for (const entry* e = table; e->name != nullptr; ++e)
        if (name == e->name) return e;
    return nullptr;
}

command_line::command_line(int argc, char** argv)
    : command_line(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0))) {}

command_line::command_line(std::vector<std::string> args) {
    std::size_t next = 0;
    if (!args.empty() && args[0] == "-c") {
        if (args.size() > 1) config_ = args[1];
        next = 2;
        if (args.size() > next) subcommand_ = args[next++];
    } else if (!args.empty() && find(args[0]) != nullptr) {
        subcommand_ = args[next++];
    } else if (!args.empty()) {
        // The daemon's own form: the configuration file alone.
        config_ = args[0];
        return;
    }
    if (config_.empty() && next < 2) {
        if (const char* path = std::getenv("VCCONFIG")) config_ = path;
    }
    if (next < args.size()) args_.assign(args.begin() + static_cast<long>(next), args.end());
}

command_line::~command_line() = default;

int command_line::run(std::istream& in, std::ostream& out, std::ostream& err) {
    in_ = &in;
    out_ = &out;
    err_ = &err;
    try {
        const entry* command = find(subcommand_);
        if (command == nullptr) throw c_error("unknown command '" + subcommand_ + "'");
        const int count = static_cast<int>(args_.size());
        if (count < command->min_args || count > command->max_args)
            throw c_error(std::string("usage: vcd [-c FILE] ") + command->name +
                          (*command->usage ? " " : "") + command->usage);
        if (command->loads_config) {
            if (config_.empty()) throw c_error("no configuration file found");
            Config.reload(config_);
        }
        (this->*command->run)();
        out.flush();
        return status_;
    } catch (const std::exception& error) {
        err << "error: " << error.what() << std::endl;
        return 1;
    }
}

sqlite_store& command_line::store() {
    if (!store_) {
        const std::string path = database::store_path(Config.get(configuration::db_connection));
        if (path.empty()) throw c_error("no store: \"db.connection\" is empty");
        store_ = std::make_unique<sqlite_store>(path);
        store_->set_busy_timeout(command_busy_timeout);
    }
    return *store_;
}

std::string command_line::read_password() {
    std::string typed;
    if (!std::getline(*in_, typed) || typed.empty()) throw c_error("no password on standard input");
    if (!typed.empty() && typed.back() == '\r') typed.pop_back();
    const long longest = Config.get_int(configuration::pwd_max);
    if (typed.size() < min_password)
        throw c_error("the password must have at least " + long_to_string(static_cast<long>(min_password)) +
                      " characters");
    // The log-in line cuts a password to "pwd.max": a longer one could never be given.
    if (typed.size() > static_cast<std::size_t>(longest))
        throw c_error("the password may have at most " + long_to_string(longest) + " characters (\"pwd.max\")");
    return typed;
}

void command_line::check_rank(const std::string& name) const {
    std::vector<permission> ranks;
    permission::load(Config.get(configuration::file_permissions), std::back_inserter(ranks));
    for (const permission& rank : ranks)
        if (nocase_equal(rank.name, name)) return;
    throw c_error("no rank named '" + name + "' in the permission file");
}

void command_line::check_nickname(const std::string& nickname) const {
    const auto invalid = nickname.find_first_not_of(Config.get(configuration::nick_valid));
    if (invalid != std::string::npos)
        throw c_error("nickname '" + nickname + "' has a character that \"nick.valid\" refuses");
    const long length = static_cast<long>(nickname.size());
    if (length < Config.get_int(configuration::nick_min) || length > Config.get_int(configuration::nick_max))
        throw c_error("nickname '" + nickname + "' is shorter than \"nick.min\" or longer than \"nick.max\"");
}

// "check FILE" names the file as an argument, the other forms as usual.
void command_line::on_check() {
    const std::string& file = args_.empty() ? config_ : args_[0];
    if (file.empty()) throw c_error("no configuration file found");
    status_ = config_check(file).run(*out_, *err_);
}

void command_line::on_register() {
    const std::string& nickname = args_[0];
    check_nickname(nickname);
    std::string rank = args_.size() > 1 ? args_[1] : std::string();
    if (!rank.empty()) check_rank(rank);
    if (store().nickname_exist(nickname)) throw c_error("nickname '" + nickname + "' is registered already");
    const std::string hash = password_hasher::hash_now(read_password());
    if (!store().add_account(nickname, hash, rank))
        throw c_error("nickname '" + nickname + "' is registered already");
}

void command_line::on_password() {
    const std::string& nickname = args_[0];
    if (!store().nickname_exist(nickname)) throw c_error("nickname '" + nickname + "' is not registered");
    const std::string hash = password_hasher::hash_now(read_password());
    if (!store().set_password_hash(nickname, hash)) throw c_error("nickname '" + nickname + "' is not registered");
}

void command_line::on_rank() {
    check_rank(args_[1]);
    if (!store().set_rank(args_[0], args_[1])) throw c_error("nickname '" + args_[0] + "' is not registered");
}

void command_line::on_clan() {
    const std::string clan = args_.size() > 1 ? args_[1] : std::string();
    if (!store().set_clan(args_[0], clan)) throw c_error("nickname '" + args_[0] + "' is not registered");
}

void command_line::on_unregister() {
    if (!store().remove_account(args_[0])) throw c_error("nickname '" + args_[0] + "' is not registered");
}

void command_line::on_bans() {
    for (const auto& active : store().restrictions())
        *out_ << active.kind << ' ' << active.what << " until " << time_text(active.until) << '\n';
}

void command_line::on_unban() {
    if (!store().unban(args_[0])) throw c_error("address '" + args_[0] + "' is not banned");
}

void command_line::on_unlock() {
    if (!store().unlock(args_[0])) throw c_error("nickname '" + args_[0] + "' is not locked");
}

}  // namespace vorta
