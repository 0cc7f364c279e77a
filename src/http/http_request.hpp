#pragma once
// The head of one HTTP/1.x request, built line by line as it arrives: the
// request line, then the header lines. It only parses; what a request may
// ask for is decided by whoever reads it.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorta {

class http_request {
public:
    // Takes "METHOD SP target SP HTTP/1.x" (a line end already cut off);
    // false when the line has another form.
    bool set_request_line(std::string_view line);
    // Takes "name: value"; false for a line without a name, with white space
    // before its colon, or continuing the previous header (obsolete folding).
    bool add_header(std::string_view line);

    const std::string& method() const { return method_; }
    // The target as sent, query included.
    const std::string& target() const { return target_; }
    // "HTTP/1.1" or "HTTP/1.0".
    const std::string& version() const { return version_; }
    // The target up to its query ("?") or fragment ("#").
    std::string path() const;
    // The value of the first header of that name (ignoring case), without the
    // white space around it; empty when absent.
    std::string header(std::string_view name) const;
    bool has_header(std::string_view name) const;
    // True when a comma-separated header of that name lists `token`, ignoring
    // case ("Connection: keep-alive, Upgrade" lists "upgrade").
    bool lists(std::string_view name, std::string_view token) const;

private:
    std::string method_;
    std::string target_;
    std::string version_;
    std::vector<std::pair<std::string, std::string>> headers_;
};

}  // namespace vorta
