#include "util/growing_text.hpp"

#include <algorithm>

namespace vorta {

void growing_text::append(std::string_view bytes) {
    const std::size_t size = buffer_ == nullptr ? 0 : buffer_->size();
    if (buffer_ == nullptr || size + bytes.size() > buffer_->capacity()) {
        auto larger = std::make_shared<std::vector<char>>();
        larger->reserve(std::max<std::size_t>(256, 2 * (size + bytes.size())));
        if (buffer_ != nullptr) larger->assign(buffer_->begin(), buffer_->end());
        buffer_ = std::move(larger);
    }
    buffer_->insert(buffer_->end(), bytes.begin(), bytes.end());
}

std::string_view growing_text::view() const {
    if (buffer_ == nullptr) return {};
    return std::string_view(buffer_->data(), buffer_->size());
}

}  // namespace vorta
