// Random bytes through the loaders of the operator's files and the text filters: each input is a
// security file, a replacement file and a text that its table rewrites, and, split at its first line
// feed, an expression and a subject, where the compiled pattern must find exactly what the library
// finds. Nothing may throw but the loaders' errors, nothing may crash.
#include <boost/regex.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "net/c_error.hpp"
#include "security/pattern.hpp"
#include "security/replacement.hpp"
#include "security/security.hpp"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    // The word list and the log folder that the rules of the corpus name, made once.
    static char directory[] = "/tmp/vorta-fuzz-XXXXXX";
    [[maybe_unused]] static const bool made = [] {
        if (mkdtemp(directory) == nullptr) std::abort();
        std::atexit([] { std::filesystem::remove_all(directory); });
        std::ofstream(std::string(directory) + "/list") << "# words\nanna\n  (b|c)+ more\n\nzensiert\n";
        return std::filesystem::create_directory(std::string(directory) + "/logs");
    }();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string file = std::string(directory) + "/input";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << input;
    vorta::security rules;
    vorta::replacement table;
    const auto load = [&file](auto& into) {
        try {
            into.load(file);
        } catch (const vorta::c_error&) {  // a refused file is no failure
        }
    };
    load(rules);
    load(table);
    std::string text = input;
    table.replace(text);
    const auto line_end = input.find('\n');
    if (line_end == std::string::npos) return 0;
    const std::string expression = input.substr(0, line_end), subject = input.substr(line_end + 1);
    try {
        const vorta::pattern compiled(expression);
        if (compiled.found_in(subject) != boost::regex_search(subject, boost::regex(expression)))
            std::abort();
    } catch (const std::runtime_error&) {  // no expression, or one too complex for the library
    }
    return 0;
}
