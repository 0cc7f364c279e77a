#include "net/address_count.hpp"

#include <utility>

namespace vorta {

address_count::slot::slot(address_count* owner, std::string address)
    : owner_(owner), address_(std::move(address)) {
    ++owner_->counts_[address_];
}

address_count::slot::slot(slot&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), address_(std::move(other.address_)) {}

address_count::slot& address_count::slot::operator=(slot&& other) noexcept {
    if (this != &other) {
        release();
        owner_ = std::exchange(other.owner_, nullptr);
        address_ = std::move(other.address_);
    }
    return *this;
}

address_count::slot::~slot() { release(); }

// The entry goes with its last slot, so the table holds only open addresses.
void address_count::slot::release() {
    if (owner_ == nullptr) return;
    const auto it = owner_->counts_.find(address_);
    if (it != owner_->counts_.end() && --it->second <= 0) owner_->counts_.erase(it);
    owner_ = nullptr;
}

int address_count::count(const std::string& address) const {
    const auto it = counts_.find(address);
    return it == counts_.end() ? 0 : it->second;
}

address_count::slot address_count::take(const std::string& address) { return slot(this, address); }

}  // namespace vorta
