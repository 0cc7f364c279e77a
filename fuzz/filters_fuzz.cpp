// Random bytes through the text filters and the loaders of the operator's
// files. Each input is taken as a chat text (link anchoring, the replacement
// table), as a security file, as a replacement file, and, split at its first
// line feed, as an expression and a subject, where the compiled pattern must
// find exactly what the library finds. Nothing may throw but the loaders'
// errors, and nothing may crash.
#include <unistd.h>

#include <boost/regex.hpp>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "net/c_error.hpp"
#include "security/links.hpp"
#include "security/pattern.hpp"
#include "security/replacement.hpp"
#include "security/security.hpp"

namespace {

std::string directory;

std::string write(const std::string& name, const std::string& content) {
    std::ofstream(directory + name, std::ios::binary | std::ios::trunc) << content;
    return directory + name;
}

// Loads `file` into `into`; a refused file is no failure.
template <class loader>
void load(loader& into, const std::string& file) {
    try {
        into.load(file);
    } catch (const vorta::c_error&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char name[] = "/tmp/vorta-fuzz-XXXXXX";
    if (mkdtemp(name) == nullptr) std::abort();
    directory = name;
    std::atexit([] { std::filesystem::remove_all(directory); });
    // A list file that the rules may name.
    write("/list", "# words\nanna\n  (b|c)+ more\n\nzensiert\n");
    std::filesystem::create_directory(directory + "/logs");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // A table the texts meet in every run.
    static vorta::replacement fixed;
    if (fixed.size() == 0)
        load(fixed, write("/fixed",
                          "gn8 = gute Nacht\n(\\w+)@(\\w+) = $2 bei $1\n!{3,} = !!!\n\\.{4,} =\n"));

    std::vector<std::string> links;
    vorta::collect_links(input, links);
    vorta::anchor_links(input, "");
    vorta::anchor_links(input, "www.suche.example:80/?q=");
    std::string text = input;
    fixed.replace(text);

    vorta::security rules;
    vorta::replacement table;
    load(rules, write("/input", input));
    load(table, directory + "/input");
    text = input;
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
