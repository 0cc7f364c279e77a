#pragma once
// Something the scheduler dispatches to: a descriptor with read, write and
// tick operations that turn readiness into events for its observer. The
// observer can be replaced at any time, which hands a connection to a new owner.
// A communicator does not own its scheduler or its observer.

namespace vorta {

class scheduler;
class observer;

class communicator {
public:
    communicator(scheduler* owner, observer* watcher, const int& descriptor);
    virtual ~communicator() = default;
    communicator(const communicator&) = delete;
    communicator& operator=(const communicator&) = delete;

    virtual void timer() {}
    virtual void read() {}
    virtual void write() {}
    // Two communicators are equal when they hold the same descriptor.
    virtual bool operator==(const communicator& other) const;
    virtual void set_observer(observer* watcher);

    int get_descriptor() const { return descriptor_; }

protected:
    scheduler* scheduler_;
    observer* observer_;
    int descriptor_;
};

}  // namespace vorta
