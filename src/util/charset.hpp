#pragma once
// Conversion between the server's own character set, ISO-8859-15, and UTF-8,
// for clients that speak UTF-8 (the browser's WebSocket). ISO-8859-15 differs
// from ISO-8859-1 in eight places, among them the euro sign at 0xA4.
#include <string>
#include <string_view>

namespace vorta {

// Every byte becomes its character in UTF-8.
std::string latin9_to_utf8(std::string_view text);
// Every character becomes its ISO-8859-15 byte; a character that the set
// lacks, and every byte that is not part of a well-formed UTF-8 sequence,
// becomes a question mark.
std::string utf8_to_latin9(std::string_view text);

}  // namespace vorta
