#pragma once
// A framing that a tcp_socket puts between the bytes on the wire and the
// lines that its observer reads and writes, for peers that do not speak plain
// lines (a browser's WebSocket). The socket owns it once it is set.
#include <string>
#include <string_view>

namespace vorta {

class transport {
public:
    virtual ~transport() = default;

    // Turns bytes from the peer into complete lines, each with its line feed,
    // appended to `lines`; replies the framing itself owes the peer go to
    // `wire`. False once the connection is to end, after `wire` went out.
    virtual bool decode(std::string_view bytes, std::string& lines, std::string& wire) = 0;
    // Turns text that the observer writes into bytes for the peer, appended
    // to `wire`; an unfinished line waits for its line feed.
    virtual void encode(std::string_view text, std::string& wire) = 0;
    // The bytes that end the connection politely, appended to `wire`; nothing
    // when it has been ended already.
    virtual void close(std::string& wire) = 0;
};

}  // namespace vorta
