#pragma once
// Counts what each remote address holds open (unfinished requests, say), so
// that one address cannot take more than its share of the server. A counted
// object holds a `slot`, which gives its place back when it is destroyed.
#include <string>
#include <unordered_map>

namespace vorta {

class address_count {
public:
    class slot {
    public:
        slot() = default;
        slot(slot&& other) noexcept;
        slot& operator=(slot&& other) noexcept;
        slot(const slot&) = delete;
        slot& operator=(const slot&) = delete;
        ~slot();

    private:
        friend class address_count;
        slot(address_count* owner, std::string address);
        void release();

        address_count* owner_ = nullptr;
        std::string address_;
    };

    address_count() = default;
    address_count(const address_count&) = delete;
    address_count& operator=(const address_count&) = delete;

    // How many slots `address` holds.
    int count(const std::string& address) const;
    // A slot for `address`, counted until it is destroyed. The counter must
    // outlive its slots.
    slot take(const std::string& address);

private:
    std::unordered_map<std::string, int> counts_;
};

}  // namespace vorta
