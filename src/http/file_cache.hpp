#pragma once
// The contents of small served files, read once and kept in memory while the
// file stays the same version (device, inode, size, modification time), so
// that a file asked for again and again costs no read and no copy: every
// answer refers to the same immutable text.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "http/file_store.hpp"

namespace vorta {

class file_cache {
public:
    using text = std::shared_ptr<const std::string>;

    // Largest file kept, and most bytes kept in all.
    static constexpr std::uint64_t max_file = 512 * 1024;
    static constexpr std::size_t max_total = 8 * 1024 * 1024;

    // The whole contents of the open regular file `file` describes; null when
    // it is too large to keep or cannot be read whole (the caller then sends
    // it in pieces).
    text contents(const file_store::found& file);

private:
    struct entry {
        std::uint64_t size = 0;
        std::int64_t modified_ns = 0;
        text contents;
    };

    std::map<std::pair<std::uint64_t, std::uint64_t>, entry> entries_;  // by device and inode
    std::size_t total_ = 0;
};

}  // namespace vorta
