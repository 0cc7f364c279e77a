#include "http/http_response.hpp"

namespace vorta {

std::string_view http_response::reason(int status) {
    switch (status) {
        case 101: return "Switching Protocols";
        case 200: return "OK";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 414: return "URI Too Long";
        case 426: return "Upgrade Required";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        default: return "Error";
    }
}

std::string http_response::head(int status, std::string_view headers, bool keep_open) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " ";
    text.append(reason(status));
    text.append("\r\n");
    text.append(headers);
    if (!keep_open) text.append("Connection: close\r\n");
    text.append("\r\n");
    return text;
}

std::string http_response::error(int status, std::string_view headers, bool with_body) {
    const std::string body = std::to_string(status) + " " + std::string(reason(status)) + "\n";
    std::string all = "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
                      "\r\n";
    all.append(headers);
    return head(status, all) + (with_body ? body : std::string());
}

}  // namespace vorta
