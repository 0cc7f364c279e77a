#pragma once
// Text that only grows and whose bytes so far can be sent by reference: a
// view handed out earlier stays valid while the text grows on, because growth
// beyond the reserved room moves on to a new buffer and leaves the old one to
// the views that still hold it. A crowded room keeps its member list this way,
// so that each newcomer costs a reference instead of a copy of the list.
#include <memory>
#include <string_view>
#include <vector>

namespace vorta {

class growing_text {
public:
    void append(std::string_view bytes);
    void clear() { buffer_.reset(); }
    bool empty() const { return buffer_ == nullptr || buffer_->empty(); }
    // The bytes so far; valid as long as `owner()` is held.
    std::string_view view() const;
    std::shared_ptr<const void> owner() const { return buffer_; }

private:
    // A vector, not a string: appending within its capacity keeps the bytes
    // already written where they are.
    std::shared_ptr<std::vector<char>> buffer_;
};

}  // namespace vorta
