// Random bytes through the loaders of the operator's files and the text filters: each input is a
// security file, a replacement file and a text that its table rewrites, and, split at its first line
// feed, an expression and a subject, where the compiled pattern must find exactly what the library
// finds. Nothing may throw but the loaders' errors, nothing may crash.
#include <unistd.h>

#include <boost/regex.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "net/c_error.hpp"
#include "security/pattern.hpp"
#include "security/replacement.hpp"
#include "security/security.hpp"

namespace {

std::string directory;

// Writes `content` as the file `name` and loads it into `into`; a refused file is no failure.
template <class loader>
void load(loader& into, const std::string& name, const std::string& content) {
    std::ofstream(directory + name, std::ios::binary | std::ios::trunc) << content;
    try {
        into.load(directory + name);
    } catch (const vorta::c_error&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (directory.empty()) {
        char name[] = "/tmp/vorta-fuzz-XXXXXX";
        if (mkdtemp(name) == nullptr) std::abort();
        directory = name;
        std::atexit([] { std::filesystem::remove_all(directory); });
        std::ofstream(directory + "/list") << "# words\nanna\n  (b|c)+ more\n\nzensiert\n";  // for the rules
        std::filesystem::create_directory(directory + "/logs");
    }
    vorta::security rules;
    vorta::replacement table;
    load(rules, "/input", input);
    load(table, "/input", input);
    std::string text = input;
    table.replace(text);
    const auto line_end = input.find('\n');
    if (line_end == std::string::npos) return 0;
    const std::string expression = input.substr(0, line_end), subject = input.substr(line_end + 1);
    try {
        const boost::regex plain(expression);
        const vorta::pattern compiled(expression);
        bool expected;
        try {
            expected = boost::regex_search(subject, plain);
        } catch (const std::runtime_error&) {
            return 0;  // too complex: the pattern finds nothing, as it should
        }
        if (compiled.found_in(subject) != expected) std::abort();
    } catch (const boost::regex_error&) {
    }
    return 0;
}
