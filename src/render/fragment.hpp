#pragma once
// Building blocks of the renderers: a fragment is made of literal pieces and
// values, measured first so that it is reserved once and then appended. Only
// the renderers of the looks include this header.
#include <charconv>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

#include "chat/room.hpp"
#include "chat/user.hpp"

namespace vorta::fragment {

using piece = std::string_view;

inline const std::string& no_text() {
    static const std::string empty;
    return empty;
}

// Replaces `result` by the pieces joined.
inline void compose(std::string& result, std::initializer_list<piece> pieces) {
    std::size_t size = 0;
    for (piece p : pieces) size += p.size();
    result.clear();
    result.reserve(size);
    for (piece p : pieces) result.append(p);
}

// A number as decimal text, without a heap allocation.
class decimal {
public:
    explicit decimal(long value)
        : length(static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr -
                                          digits)) {}
    operator piece() const { return piece(digits, length); }

private:
    char digits[24];
    std::size_t length;
};

// Sinks for `build`: one adds up the sizes of the pieces, the other appends them.
struct measure {
    void operator()(piece p) { size += p.size(); }
    std::size_t size = 0;
};

struct append {
    void operator()(piece p) { out.append(p); }
    std::string& out;
};

// Hands each part to the sink in turn: a piece (a literal, a string, a
// decimal) as it is; anything else is a writer of several pieces, such as a
// button, and is called with the sink.
template <typename Sink, typename... Parts>
void put(Sink& write, const Parts&... parts) {
    auto one = [&write](const auto& part) {
        if constexpr (std::is_convertible_v<decltype(part), piece>)
            write(piece(part));
        else
            part(write);
    };
    (one(parts), ...);
}

// Replaces `result` by the pieces that `write_pieces(sink)` hands to its sink:
// called once to measure and once to append, so it must write the same both
// times.
template <typename Writer>
void build(std::string& result, const Writer& write_pieces) {
    measure size;
    write_pieces(size);
    result.clear();
    result.reserve(size.size);
    append out{result};
    write_pieces(out);
}

// A user's nickname and colour, the name of the room a user is in now, a
// room's name; empty for a missing user or room.
inline const std::string& nickname(const user* u) {
    return u != nullptr ? u->get_nickname() : no_text();
}

inline const std::string& colour(const user* u) {
    return u != nullptr ? u->get_colour() : no_text();
}

inline const std::string& room_of(const user* u) {
    return u != nullptr && u->get_room() != nullptr ? u->get_room()->get_name() : no_text();
}

inline const std::string& name_of(const room* r) {
    return r != nullptr ? r->get_name() : no_text();
}

// The end of a speaker's name span: red while the room is about to vote the
// speaker out.
inline piece style(const user* u) {
    return u != nullptr && u->danger() ? piece(R"( style="color:#CC0000;">)") : piece(">");
}

}  // namespace vorta::fragment
