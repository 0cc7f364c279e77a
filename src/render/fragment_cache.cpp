#include "render/fragment_cache.hpp"

#include "render/message.hpp"
#include "render/mode_standard.hpp"

namespace vorta {

fragment_cache::entry& fragment_cache::get(const mode_standard& look, const message& m) {
    const unsigned variant = look.variant(m);
    // A handful of entries at most: three looks and a few kinds of recipient.
    for (entry& e : entries_)
        if (e.look == &look && e.variant == variant) return e;
    entries_.push_back(entry{&look, variant, std::make_shared<const std::string>(look.get(m)), nullptr});
    return entries_.back();
}

}  // namespace vorta
