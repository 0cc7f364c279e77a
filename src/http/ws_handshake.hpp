#pragma once
// The server's side of the WebSocket opening handshake (RFC 6455): checks an
// upgrade request and gives the answer to send. Only pages of the chat's own
// site may open a session, so that a page elsewhere cannot make its visitors'
// browsers log in to the chat; the Origin header tells which page asks.
#include <string>
#include <string_view>

namespace vorta {

class http_request;

class ws_handshake {
public:
    struct answer {
        int status = 0;  // 101 when the connection is to switch to WebSocket
        std::string response;  // the whole answer head (and body for a refusal)
    };

    // `site` is the chat's host, with its port where needed ("all.www"); the
    // origins "http://" and "https://" with that host are accepted.
    static answer answer_to(const http_request& request, const std::string& site);
    // The Sec-WebSocket-Accept value for a client's key.
    static std::string accept_key(std::string_view key);
    // True when `key` is the base64 text of 16 bytes.
    static bool valid_key(std::string_view key);
};

}  // namespace vorta
