#include "http/file_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

namespace vorta {

namespace {

// Marks a path that leads to a directory, for `open` to decide on.
constexpr int is_directory = 0;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The canonical form of an existing path, or the status that refuses it.
int resolve(const std::string& path, std::string& resolved) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return errno == EACCES ? 403 : 404;
    resolved = real;
    std::free(real);
    return 0;
}

bool inside(const std::string& root, const std::string& path) {
    if (path == root) return true;
    const std::string prefix = root.back() == '/' ? root : root + "/";
    return path.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

file_store::found::found(found&& other) noexcept
    : status(other.status), fd(std::exchange(other.fd, -1)), size(other.size), device(other.device),
      inode(other.inode), modified_ns(other.modified_ns), type(std::move(other.type)),
      location(std::move(other.location)) {}

file_store::found& file_store::found::operator=(found&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) ::close(fd);
        status = other.status;
        fd = std::exchange(other.fd, -1);
        size = other.size;
        device = other.device;
        inode = other.inode;
        modified_ns = other.modified_ns;
        type = std::move(other.type);
        location = std::move(other.location);
    }
    return *this;
}

file_store::found::~found() {
    if (fd >= 0) ::close(fd);
}

file_store::file_store(std::string directory) : directory_(std::move(directory)) {}

bool file_store::decode(std::string_view path, std::string& decoded) {
    decoded.clear();
    for (std::size_t i = 0; i < path.size(); ++i) {
        char c = path[i];
        if (c == '%') {
            if (path.size() - i < 3) return false;
            const int high = hex_value(path[i + 1]);
            const int low = hex_value(path[i + 2]);
            if (high < 0 || low < 0) return false;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (c == '\0') return false;
        decoded += c;
    }
    return true;
}

std::string file_store::content_type(std::string_view name) {
    static const std::pair<std::string_view, std::string_view> types[] = {
        {".html", "text/html; charset=utf-8"},
        {".htm", "text/html; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".json", "application/json"},
        {".txt", "text/plain; charset=utf-8"},
        {".gif", "image/gif"},
        {".png", "image/png"},
        {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},
        {".svg", "image/svg+xml"},
        {".ico", "image/x-icon"},
        {".webp", "image/webp"},
        {".woff2", "font/woff2"},
    };
    const auto dot = name.rfind('.');
    const auto slash = name.rfind('/');
    if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
        std::string extension(name.substr(dot));
        for (char& c : extension)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        for (const auto& [suffix, type] : types)
            if (extension == suffix) return std::string(type);
    }
    return "application/octet-stream";
}

file_store::found file_store::open(std::string_view path, std::string_view request_path) const {
    found result;
    if (directory_.empty()) return result;
    std::string decoded;
    if (!file_store::decode(path, decoded)) {
        result.status = 400;
        return result;
    }
    // Decoded slashes separate segments like plain ones; no segment may climb
    // up, stand for the directory itself or name a hidden file.
    std::string relative;
    for (std::size_t start = 0; start < decoded.size();) {
        std::size_t end = decoded.find('/', start);
        if (end == std::string::npos) end = decoded.size();
        if (end > start) {
            if (decoded[start] == '.') {
                result.status = 403;
                return result;
            }
            relative.append("/").append(decoded, start, end - start);
        }
        start = end + 1;
    }
    std::string root;
    if (resolve(directory_, root) != 0) return result;
    const bool names_directory = decoded.empty() || decoded.back() == '/';
    result = open_resolved(root, root + relative);
    if (result.status == 200 && names_directory) return found();  // a file is no directory
    if (result.status != is_directory) return result;
    if (!names_directory) {
        result.status = 301;
        result.location = std::string(request_path) + "/";
        return result;
    }
    result = open_resolved(root, root + relative + "/index.html");
    if (result.status == is_directory) result.status = 404;
    return result;
}

// The path is resolved once and the file opened by its resolved name without
// following a link: a link pointing out of the directory is refused, one
// pointing within it is served.
file_store::found file_store::open_resolved(const std::string& root, const std::string& candidate) const {
    found result;
    std::string resolved;
    if (int refused = resolve(candidate, resolved)) {
        result.status = refused;
        return result;
    }
    if (!inside(root, resolved)) {
        result.status = 403;
        return result;
    }
    // Non-blocking, so that a FIFO placed in the directory cannot hold the loop.
    result.fd = ::open(resolved.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (result.fd < 0) {
        result.status = errno == ENOENT ? 404 : 403;
        return result;
    }
    struct stat info {};
    if (fstat(result.fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) {
        result.status = 403;
        ::close(std::exchange(result.fd, -1));
        return result;
    }
    if (S_ISDIR(info.st_mode)) {
        result.status = is_directory;
        ::close(std::exchange(result.fd, -1));
        return result;
    }
    result.status = 200;
    result.size = static_cast<std::uint64_t>(info.st_size);
    result.device = static_cast<std::uint64_t>(info.st_dev);
    result.inode = static_cast<std::uint64_t>(info.st_ino);
    result.modified_ns = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    result.type = content_type(resolved);
    return result;
}

}  // namespace vorta
