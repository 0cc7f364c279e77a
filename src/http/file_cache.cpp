#include "http/file_cache.hpp"

#include <unistd.h>

namespace vorta {

file_cache::text file_cache::contents(const file_store::found& file) {
    if (file.fd < 0 || file.size > max_file) return nullptr;
    const auto key = std::make_pair(file.device, file.inode);
    auto at = entries_.find(key);
    if (at != entries_.end()) {
        if (at->second.size == file.size && at->second.modified_ns == file.modified_ns) return at->second.contents;
        total_ -= at->second.contents->size();
        entries_.erase(at);
    }
    auto bytes = std::make_shared<std::string>(static_cast<std::size_t>(file.size), '\0');
    std::size_t done = 0;
    while (done < bytes->size()) {
        const ssize_t count = pread(file.fd, bytes->data() + done, bytes->size() - done, static_cast<off_t>(done));
        if (count <= 0) return nullptr;
        done += static_cast<std::size_t>(count);
    }
    // Files come and go rarely: when the bound is reached, all start over.
    if (total_ + bytes->size() > max_total) {
        entries_.clear();
        total_ = 0;
    }
    total_ += bytes->size();
    entries_[key] = entry{file.size, file.modified_ns, bytes};
    return bytes;
}

}  // namespace vorta
