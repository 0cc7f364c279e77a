#include "http/ws_handshake.hpp"

#include <nettle/base64.h>
#include <nettle/sha1.h>

#include <cstdint>

#include "http/http_request.hpp"
#include "http/http_response.hpp"
#include "util/c_util.hpp"

namespace vorta {

namespace {

// Fixed by RFC 6455 for computing the accept value.
constexpr std::string_view key_suffix = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
constexpr std::size_t key_bytes = 16;

}  // namespace

std::string ws_handshake::accept_key(std::string_view key) {
    sha1_ctx context;
    sha1_init(&context);
    sha1_update(&context, key.size(), reinterpret_cast<const std::uint8_t*>(key.data()));
    sha1_update(&context, key_suffix.size(), reinterpret_cast<const std::uint8_t*>(key_suffix.data()));
    std::uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&context, sizeof digest, digest);
    std::string text(BASE64_ENCODE_RAW_LENGTH(sizeof digest), '\0');
    base64_encode_raw(text.data(), sizeof digest, digest);
    return text;
}

bool ws_handshake::valid_key(std::string_view key) {
    // 16 bytes are 24 characters with two padding signs.
    if (key.size() != BASE64_ENCODE_RAW_LENGTH(key_bytes)) return false;
    base64_decode_ctx context;
    base64_decode_init(&context);
    std::uint8_t decoded[BASE64_DECODE_LENGTH(BASE64_ENCODE_RAW_LENGTH(key_bytes))];
    std::size_t length = sizeof decoded;
    return base64_decode_update(&context, &length, decoded, key.size(), key.data()) == 1 &&
           base64_decode_final(&context) == 1 && length == key_bytes;
}

ws_handshake::answer ws_handshake::answer_to(const http_request& request, const std::string& site) {
    if (request.method() != "GET") return {405, http_response::error(405, "Allow: GET\r\n", request.method() != "HEAD")};
    if (!request.lists("Upgrade", "websocket"))
        return {426, http_response::error(426, "Upgrade: websocket\r\n")};
    if (request.version() != "HTTP/1.1" || !request.lists("Connection", "upgrade") || !request.has_header("Host") ||
        !valid_key(request.header("Sec-WebSocket-Key")))
        return {400, http_response::error(400)};
    if (request.header("Sec-WebSocket-Version") != "13")
        return {426, http_response::error(426, "Sec-WebSocket-Version: 13\r\n")};
    const std::string origin = request.header("Origin");
    if (!nocase_equal(origin, "http://" + site) && !nocase_equal(origin, "https://" + site))
        return {403, http_response::error(403)};
    return {101, http_response::head(101,
                                     "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Accept: " +
                                         accept_key(request.header("Sec-WebSocket-Key")) + "\r\n",
                                     true)};
}

}  // namespace vorta
