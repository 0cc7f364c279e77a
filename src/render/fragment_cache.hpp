#pragma once
// The fragments of one broadcast: a message that goes to every member of a
// room is rendered once for each look and each kind of recipient (see
// `mode_standard::variant`) instead of once for every recipient. Lives for
// one broadcast only, while nothing the renderers read can change. Fragments
// are shared and immutable, so that every recipient's connection can queue
// them by reference and keep them beyond the broadcast.
#include <memory>
#include <string>
#include <vector>

namespace vorta {

class message;
class mode_standard;

class fragment_cache {
public:
    struct entry {
        const mode_standard* look;
        unsigned variant;
        std::shared_ptr<const std::string> html;
        // The fragment as its recipient's connection wants it; null until asked.
        std::shared_ptr<const std::string> framed;
    };

    // The fragment of `m` in `look` for m's second user, rendered on first use.
    entry& get(const mode_standard& look, const message& m);

private:
    std::vector<entry> entries_;
};

}  // namespace vorta
