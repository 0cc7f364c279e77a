#pragma once
// Text helpers used throughout the server: case-insensitive comparison, number
// conversion, trimming, the applet protocol's quoted parameters, chat command
// splitting, backslash, percent and HTML escaping, and the random generator.
// Text is a byte string; nothing here knows a character set beyond ASCII.
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorta {

bool nocase_equal(const std::string& a, const std::string& b);
// Letter by letter with the C library's tolower.
std::string lower_case(std::string s);
long string_to_long(const std::string& text, int base);
std::string long_to_string(long value);

// Blanks (32) and tabs (9) only; carriage returns and line feeds stay.
std::string ltrim(std::string s);
std::string rtrim(std::string s);
std::string trim(std::string s);

// The index-th parameter of a line, counted by occurrences of `open` and ended
// by the next `close` that is not escaped by a backslash; unescaped.
std::string get_param(std::string line, int index, std::string open, char close);
// The first `count` words of a command line, each paired with the rest of the
// line after it; always exactly `count` pairs.
std::vector<std::pair<std::string, std::string>> get_params(const std::string& line, const int& count);

std::string c_escape(std::string s);
// Appends `s` to `out` as c_escape writes it, without a copy of its own.
void append_c_escaped(std::string& out, std::string_view s);
std::string c_unescape(std::string s);
std::string hex_escape(std::string s);
std::string hex_unescape(std::string s);
std::string html_escape(std::string s);
std::string html_unescape(std::string s);

// The current local time (or `when`) as ctime writes it, without its line feed.
std::string time_text();
std::string time_text(std::time_t when);

// first + rand() % count; count must be positive.
int random(int first, int count);
void set_random_seed();

}  // namespace vorta
