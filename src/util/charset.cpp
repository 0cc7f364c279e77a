#include "util/charset.hpp"

#include <cstdint>

namespace vorta {

namespace {

// The eight places where ISO-8859-15 departs from the first 256 code points.
struct difference {
    unsigned char byte;
    char32_t character;
};
constexpr difference differences[] = {
    {0xA4, U'\u20AC'}, {0xA6, U'\u0160'}, {0xA8, U'\u0161'}, {0xB4, U'\u017D'},
    {0xB8, U'\u017E'}, {0xBC, U'\u0152'}, {0xBD, U'\u0153'}, {0xBE, U'\u0178'},
};

char32_t character_of(unsigned char byte) {
    for (const difference& d : differences)
        if (d.byte == byte) return d.character;
    return byte;
}

// The byte of a character, or '?' when ISO-8859-15 has none for it.
char byte_of(char32_t character) {
    for (const difference& d : differences) {
        if (d.character == character) return static_cast<char>(d.byte);
        if (d.byte == character) return '?';  // replaced by another character
    }
    return character < 0x100 ? static_cast<char>(character) : '?';
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes the sequence at text[i]; advances i past it. A malformed sequence
// (overlong, surrogate, beyond U+10FFFF, cut short) yields U+FFFD and skips
// its first byte only.
char32_t next_character(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int length = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, least = 0x10000;
    } else {
        ++i;
        return U'\uFFFD';
    }
    if (text.size() - i < static_cast<std::size_t>(length)) {
        ++i;
        return U'\uFFFD';
    }
    for (int k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[i + k]);
        if ((byte & 0xC0) != 0x80) {
            ++i;
            return U'\uFFFD';
        }
        c = (c << 6) | (byte & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return U'\uFFFD';
    }
    i += length;
    return c;
}

}  // namespace

std::string latin9_to_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char byte : text) append_utf8(out, character_of(static_cast<unsigned char>(byte)));
    return out;
}

std::string utf8_to_latin9(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) out += byte_of(next_character(text, i));
    return out;
}

}  // namespace vorta
