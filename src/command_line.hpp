#pragma once
// The command line of the binary: "vcd [CONFIG]" starts the daemon, and
// "vcd [-c FILE] SUBCOMMAND ARGS..." runs one operator's command (a check of
// the configuration's files, or a change to its store without SQL) and exits: 0 on success, 1 with
// "error: ..." on standard error. Without "-c" the configuration is the file
// that VCCONFIG names. The store's lock waits make it safe while the daemon
// runs.
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace vorta {

class sqlite_store;

class command_line {
public:
    // `args` are the words after the program's name.
    explicit command_line(std::vector<std::string> args);
    command_line(int argc, char** argv);
    ~command_line();
    command_line(const command_line&) = delete;
    command_line& operator=(const command_line&) = delete;

    // True when the words ask for the daemon rather than a subcommand.
    bool starts_daemon() const { return subcommand_.empty(); }
    // The configuration file; empty when none is named at all.
    const std::string& config_file() const { return config_; }

    // Runs the subcommand: reads passwords from `in`, writes listings to
    // `out` and errors to `err`. Returns the exit status.
    int run(std::istream& in, std::ostream& out, std::ostream& err);

private:
    using handler = void (command_line::*)();
    struct entry {
        const char* name;
        int min_args;
        int max_args;
        const char* usage;  // the arguments, for the error text
        bool loads_config;  // false: the command reads the configuration itself
        handler run;
    };
    static const entry table[];
    static const entry* find(const std::string& name);

    void on_check();
    void on_register();
    void on_password();
    void on_rank();
    void on_clan();
    void on_unregister();
    void on_bans();
    void on_unban();
    void on_unlock();

    // The configuration's store, opened on first use.
    sqlite_store& store();
    // The first line of standard input, checked like a password at ".register".
    std::string read_password();
    // Throws unless `name` is a rank of the permission file.
    void check_rank(const std::string& name) const;
    // Throws unless "nick.valid", "nick.min" and "nick.max" allow `nickname`.
    void check_nickname(const std::string& nickname) const;

    std::string config_;
    std::string subcommand_;
    std::vector<std::string> args_;
    std::istream* in_ = nullptr;
    std::ostream* out_ = nullptr;
    std::ostream* err_ = nullptr;
    int status_ = 0;
    std::unique_ptr<sqlite_store> store_;
};

}  // namespace vorta
