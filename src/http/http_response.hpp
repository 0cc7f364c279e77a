#pragma once
// The heads and short answers that the web port sends. An answer ends the
// connection after it ("Connection: close") unless it is a file for a peer
// that keeps its connection alive.
#include <string>
#include <string_view>

namespace vorta {

class http_response {
public:
    // "HTTP/1.1 <status> <reason>", the given header lines (each ending in
    // CR LF), "Connection: close" unless `keep_open`, and the empty line.
    static std::string head(int status, std::string_view headers, bool keep_open = false);
    // A complete answer whose plain-text body names the status; the body is
    // left out for a HEAD request.
    static std::string error(int status, std::string_view headers = {}, bool with_body = true);
    static std::string_view reason(int status);
};

}  // namespace vorta
