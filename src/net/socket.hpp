#pragma once
// A connected stream descriptor that is registered with the scheduler for as
// long as the object lives. It owns the descriptor and closes it on destruction.
#include "net/communicator.hpp"

namespace vorta {

class socket : public communicator {
public:
    // Registers `descriptor`; when that fails the descriptor is closed and
    // c_error("socket could not register sock") is thrown.
    socket(scheduler* owner, observer* watcher, int descriptor, bool timer);
    ~socket() override;
};

}  // namespace vorta
