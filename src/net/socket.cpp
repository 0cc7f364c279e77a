#include "net/socket.hpp"

#include <unistd.h>

#include "net/c_error.hpp"
#include "net/scheduler.hpp"

namespace vorta {

socket::socket(scheduler* owner, observer* watcher, int descriptor, bool timer)
    : communicator(owner, watcher, descriptor) {
    if (!scheduler_->reg(descriptor_, this, timer)) {
        ::close(descriptor_);
        throw c_error("socket could not register sock");
    }
}

socket::~socket() {
    scheduler_->unreg(descriptor_);
    ::close(descriptor_);
}

}  // namespace vorta
