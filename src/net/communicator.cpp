#include "net/communicator.hpp"

namespace vorta {

communicator::communicator(scheduler* owner, observer* watcher, const int& descriptor)
    : scheduler_(owner), observer_(watcher), descriptor_(descriptor) {}

bool communicator::operator==(const communicator& other) const {
    return descriptor_ == other.descriptor_;
}

void communicator::set_observer(observer* watcher) { observer_ = watcher; }

}  // namespace vorta
