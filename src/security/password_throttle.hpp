#pragma once
// Counts wrong passwords per address and nickname, so that a guesser pays
// with time instead of the server paying with hashes: after three wrong
// passwords from one address for one nickname, further tries from there
// wait a minute. The table is bounded; a right password forgets the count.
#include <cstddef>
#include <ctime>
#include <string>
#include <unordered_map>

namespace vorta {

class password_throttle {
public:
    static constexpr int allowed = 3;
    static constexpr std::time_t pause = 60;
    // Beyond this many entries, those not waiting are forgotten.
    static constexpr std::size_t max_entries = 65536;

    // True while tries from `address` for `nickname` must wait.
    bool waiting(const std::string& address, const std::string& nickname, std::time_t now);
    // Counts a wrong password; true only for the one that starts the wait.
    bool failed(const std::string& address, const std::string& nickname, std::time_t now);
    void succeeded(const std::string& address, const std::string& nickname);

private:
    struct entry {
        int wrong = 0;
        std::time_t until = 0;  // end of the wait; 0 while not waiting
    };
    static std::string key(const std::string& address, const std::string& nickname);
    void prune(std::time_t now);

    std::unordered_map<std::string, entry> entries_;
};

}  // namespace vorta
