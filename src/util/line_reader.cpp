#include "util/line_reader.hpp"

#include <filesystem>

#include "util/c_util.hpp"

namespace vorta {

namespace {

constexpr std::streamsize line_buffer_size = 4096;

}  // namespace

line_reader::line_reader(const std::string& file, const std::string& kind) : in_(file), file_(file) {
    // A directory opens as a stream that reads nothing; it is no such file.
    if (!in_ || std::filesystem::is_directory(file))
        throw c_error("can't open " + kind + " file '" + file + "'");
}

bool line_reader::next(std::string& line) {
    char buffer[line_buffer_size];
    while (in_.getline(buffer, line_buffer_size)) {
        ++number_;
        std::streamsize length = in_.gcount();
        if (!in_.eof()) --length;  // the line feed was extracted too
        line = trim(std::string(buffer, static_cast<std::size_t>(length)));
        if (!line.empty() && line[0] != '#') return true;
    }
    return false;
}

c_error line_reader::error(const std::string& what) const {
    return c_error("in file '" + file_ + "' at line " + long_to_string(number_) + ": " + what);
}

}  // namespace vorta
