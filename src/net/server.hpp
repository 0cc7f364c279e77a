#pragma once
// A listening descriptor; the derived class opens it and owns it.
#include "net/communicator.hpp"

namespace vorta {

class server : public communicator {
public:
    server(scheduler* owner, observer* watcher) : communicator(owner, watcher, -1) {}
    ~server() override = default;
};

}  // namespace vorta
