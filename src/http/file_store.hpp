#pragma once
// The directory whose files the web port serves. It maps a request path to
// an open file and refuses everything that would reach outside the
// directory: parent and hidden segments, malformed percent escapes, zero
// bytes, and symbolic links whose target lies elsewhere. It lists no
// directory; a directory's page is its "index.html".
#include <cstdint>
#include <string>
#include <string_view>

namespace vorta {

class file_store {
public:
    // What a path leads to. Owns `fd` when it is not -1.
    struct found {
        found() = default;
        found(found&& other) noexcept;
        found& operator=(found&& other) noexcept;
        found(const found&) = delete;
        found& operator=(const found&) = delete;
        ~found();

        int status = 404;      // 200: fd is open on a regular file
        int fd = -1;
        std::uint64_t size = 0;
        // What tells this version of the file from another: a file replaced
        // or rewritten changes at least one of them (or its size).
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t modified_ns = 0;
        std::string type;      // the file's content type
        std::string location;  // for 301: the path with its closing slash
    };

    // An empty directory serves nothing.
    explicit file_store(std::string directory);

    // `path` is the part of the request path below the served directory,
    // still percent-encoded, without a leading slash; `request_path` is the
    // whole path, used for a directory's redirect.
    found open(std::string_view path, std::string_view request_path) const;

    // By file name extension; "application/octet-stream" when unknown.
    static std::string content_type(std::string_view name);
    // Decodes %XX escapes; false for a malformed escape or a zero byte.
    static bool decode(std::string_view path, std::string& decoded);

private:
    found open_resolved(const std::string& root, const std::string& candidate) const;

    std::string directory_;
};

}  // namespace vorta
