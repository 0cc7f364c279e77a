#include "net/scheduler.hpp"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net/c_error.hpp"
#include "net/communicator.hpp"

namespace vorta {

std::atomic<bool> scheduler::Active{true};
std::atomic<timeval*> scheduler::Timer{nullptr};
std::atomic<void (*)()> scheduler::Thread{nullptr};
timeval scheduler::shutdown_timeout_{0, 0};
timeval scheduler::thread_timeout_{0, 0};
std::atomic<int> scheduler::Waker{-1};

namespace {

// Marks the wake-up counter among the kernel's events.
constexpr std::uint64_t wake_tag = 0;

}  // namespace

// Marks the span of a pass, also when an exception leaves it. Writes still due
// then stay due: their records are purged only after a complete pass, and the
// next run makes them before it waits.
class scheduler::pass_guard {
public:
    explicit pass_guard(scheduler& owner) : owner_(owner) {
        owner_.in_pass_ = true;
        owner_.pass_clock_ = -1;
    }
    ~pass_guard() { owner_.in_pass_ = false; }
    pass_guard(const pass_guard&) = delete;
    pass_guard& operator=(const pass_guard&) = delete;

private:
    scheduler& owner_;
};

scheduler::regi::regi(int fd, communicator* handler, bool wants_ticks)
    : descriptor(fd), comm(handler), timer(wants_ticks), active(true) {}

scheduler::regi::regi(bool is_active) : active(is_active) {}

scheduler::scheduler(const int& interval) : interval_(interval) {}

void scheduler::get_time(timeval& now) {
    timespec clock{};
    if (clock_gettime(CLOCK_MONOTONIC, &clock) != 0) throw system_error();
    now.tv_sec = clock.tv_sec;
    now.tv_usec = clock.tv_nsec / 1000;
}

std::int64_t scheduler::now_ms() {
    timeval now{};
    get_time(now);
    return std::int64_t{now.tv_sec} * 1000 + now.tv_usec / 1000;
}

std::int64_t scheduler::clock_ms() {
    if (!in_pass_) return now_ms();
    if (pass_clock_ < 0) pass_clock_ = now_ms();
    return pass_clock_;
}

scheduler::~scheduler() {
    if (waker_ >= 0) {
        int expected = waker_;
        Waker.compare_exchange_strong(expected, -1);
        ::close(waker_);
    }
    if (poller_ >= 0) ::close(poller_);
}

void scheduler::open_poller() {
    if (poller_ >= 0) return;
    int poller = epoll_create1(EPOLL_CLOEXEC);
    if (poller < 0) throw system_error();
    int waker = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (waker < 0) {
        ::close(poller);
        throw system_error();
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = wake_tag;
    if (epoll_ctl(poller, EPOLL_CTL_ADD, waker, &ev) != 0) {
        ::close(waker);
        ::close(poller);
        throw system_error();
    }
    poller_ = poller;
    waker_ = waker;
}

scheduler::regi* scheduler::find(int fd) const {
    if (fd < 0 || static_cast<std::size_t>(fd) >= by_descriptor_.size()) return nullptr;
    return by_descriptor_[fd];
}

// Brings the kernel's wait set in line with the record's interests.
void scheduler::update(regi& record) {
    std::uint32_t mask = (record.reading ? std::uint32_t{EPOLLIN} : 0u) | (record.writing ? std::uint32_t{EPOLLOUT} : 0u);
    epoll_event ev{};
    ev.events = mask;
    ev.data.ptr = &record;
    int rc = 0;
    if (mask == 0) {
        if (record.in_poller) rc = epoll_ctl(poller_, EPOLL_CTL_DEL, record.descriptor, nullptr);
        record.in_poller = false;
    } else if (record.in_poller) {
        rc = epoll_ctl(poller_, EPOLL_CTL_MOD, record.descriptor, &ev);
    } else {
        rc = epoll_ctl(poller_, EPOLL_CTL_ADD, record.descriptor, &ev);
        record.in_poller = rc == 0;
    }
    if (rc != 0) throw system_error();
}

bool scheduler::reg(const int& fd, communicator* handler, bool timer) {
    if (fd < 0 || find(fd) != nullptr) return false;
    try {
        open_poller();
    } catch (const c_error&) {
        return false;
    }
    regi& record = table_.emplace_back(fd, handler, timer);
    record.order = next_order_++;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = &record;
    if (epoll_ctl(poller_, EPOLL_CTL_ADD, fd, &ev) != 0) {
        table_.pop_back();
        return false;
    }
    record.in_poller = true;
    if (by_descriptor_.size() <= static_cast<std::size_t>(fd)) by_descriptor_.resize(fd + 1, nullptr);
    by_descriptor_[fd] = &record;
    if (timer) ++tick_receivers_;
    return true;
}

void scheduler::unreg(const int& fd) {
    regi* record = find(fd);
    if (record == nullptr) return;
    // The descriptor may already be closed; the kernel then forgot it anyway.
    if (record->in_poller) epoll_ctl(poller_, EPOLL_CTL_DEL, fd, nullptr);
    record->in_poller = false;
    if (record->timer) --tick_receivers_;
    record->active = false;
    by_descriptor_[fd] = nullptr;
    ++withdrawn_;
}

void scheduler::set_write(const int& fd) {
    regi* record = find(fd);
    if (record == nullptr || record->writing) return;
    record->writing = true;
    update(*record);
}

void scheduler::set_read(const int& fd, bool on) {
    regi* record = find(fd);
    if (record == nullptr || record->reading == on) return;
    record->reading = on;
    update(*record);
}

void scheduler::pause_read(const int& fd) {
    regi* record = find(fd);
    if (record == nullptr) return;
    set_read(fd, false);
    if (paused_.empty()) resume_at_ = now_ms() + pause_limit_ms;
    paused_.emplace_back(fd, record->order);
}

void scheduler::set_timer(const int& fd, bool on) {
    regi* record = find(fd);
    if (record == nullptr || record->timer == on) return;
    record->timer = on;
    tick_receivers_ += on ? 1 : -1;
}

void scheduler::add_pass_end(std::function<void()> hook) { pass_end_.push_back(std::move(hook)); }

void scheduler::flush_later(const int& fd) {
    regi* record = find(fd);
    if (record == nullptr || record->flush) return;
    record->flush = true;
    flushes_.push_back(record);
}

void scheduler::flush_soon(const int& fd) {
    regi* record = find(fd);
    if (record == nullptr || record->soon) return;
    record->soon = true;
    soon_.push_back(soon_write{clock_ms() + soon_ms_, fd, record->order});
}

void scheduler::release_soon() {
    if (soon_.empty()) return;
    const std::int64_t now = clock_ms();
    while (!soon_.empty() && soon_.front().due <= now) {
        regi* record = find(soon_.front().descriptor);
        if (record != nullptr && record->order == soon_.front().order) {
            record->soon = false;
            flush_later(record->descriptor);
        }
        soon_.pop_front();
    }
}

void scheduler::wake() {
    int fd = Waker.load();
    if (fd >= 0) {
        std::uint64_t one = 1;
        ssize_t ignored = ::write(fd, &one, sizeof one);
        (void)ignored;
    }
}

void scheduler::shutdown() {
    Timer = &shutdown_timeout_;
    Active = false;
    wake();
}

void scheduler::call_thread(void (*function)()) {
    if (function == nullptr) return;
    Timer = &thread_timeout_;
    Thread = function;
    wake();
}

void scheduler::post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(posted_mutex_);
        posted_.push_back(std::move(work));
    }
    wake();
}

void scheduler::run_posted() {
    std::vector<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(posted_mutex_);
        work.swap(posted_);
    }
    if (work.empty()) return;
    pass_guard guard(*this);
    for (auto& item : work) item();
}

int scheduler::run() {
    open_poller();
    Waker = waker_;
    while (Active) {
        if (auto function = Thread.exchange(nullptr)) function();
        run_posted();
        if (!flushes_.empty()) {
            pass_guard guard(*this);
            flush();
        }
        // After the posted work, which may have asked for writes soon.
        const std::int64_t wait = next_wait(now_ms());
        if (wait < 0) {
            Timer = nullptr;
        } else {
            timeout_.tv_sec = static_cast<time_t>(wait / 1000);
            timeout_.tv_usec = static_cast<suseconds_t>(wait % 1000 * 1000);
            Timer = &timeout_;
        }
        if (!Active) break;

        // A signal handler may have replaced the wait by a zero one meanwhile.
        const timeval* limit = Timer;
        int wait_ms = limit == nullptr ? -1
                                       : static_cast<int>(limit->tv_sec * 1000 + limit->tv_usec / 1000);
        std::size_t capacity = std::max<std::size_t>(64, table_.size() + 1);
        if (events_.size() < capacity) events_.resize(capacity);
        int count = epoll_wait(poller_, events_.data(), static_cast<int>(events_.size()), wait_ms);
        if (count < 0) {
            if (errno != EINTR) throw system_error();
            continue;
        }

        {
            pass_guard guard(*this);
            if (count > 0) dispatch(count);
            const std::int64_t now = now_ms();
            tick_if_due(now);
            end_pass();
            resume_paused(now);
        }
        if (withdrawn_ > 0) {
            // The walk's place must survive the purge of withdrawn records.
            while (walking_ && tick_cursor_ != table_.end() && !tick_cursor_->active) ++tick_cursor_;
            table_.remove(regi(false));
            withdrawn_ = 0;
        }
    }
    return static_cast<int>(table_.size());
}

// The first tick comes an interval after some registration starts to want
// ticks; while none does, the loop may wait without limit.
std::int64_t scheduler::next_wait(std::int64_t now) {
    std::int64_t wait = -1;
    const auto until = [&](std::int64_t due) {
        const std::int64_t left = std::max<std::int64_t>(0, due - now);
        wait = wait < 0 ? left : std::min(wait, left);
    };
    if (tick_receivers_ == 0) {
        ticking_ = false;
    } else {
        if (!ticking_) next_tick_ = now + std::int64_t{interval_} * 1000;
        ticking_ = true;
        until(next_tick_);
    }
    if (walking_) until(next_batch_);
    if (!soon_.empty()) until(soon_.front().due);
    if (!paused_.empty()) until(resume_at_);
    return wait;
}

// A tick that is overdue by more than an interval is followed by the next one
// in the following pass, so that none is lost. A tick walks the table in
// batches a few milliseconds apart, so that ten thousand heartbeats do not
// stall the chat for one long pass; each record still gets one tick per
// interval, at its own place within it.
void scheduler::tick_if_due(std::int64_t now) {
    if (!walking_) {
        if (!ticking_ || tick_receivers_ == 0 || now < next_tick_) return;
        next_tick_ += std::int64_t{interval_} * 1000;
        walking_ = true;
        tick_cursor_ = table_.begin();
        // The walk ends within half an interval, however large the table.
        const std::int64_t batches = std::max<std::int64_t>(1, std::int64_t{interval_} * 500 / tick_gap_ms);
        tick_batch_ = std::max<std::int64_t>(tick_batch, (tick_receivers_ + batches - 1) / batches);
    } else if (now < next_batch_) {
        return;
    }
    tick();
    next_batch_ = now + tick_gap_ms;
}

// Runs after the pass-end hooks, which destroy what the pass removed.
void scheduler::resume_paused(std::int64_t now) {
    if (paused_.empty() || (withdrawn_ == 0 && now < resume_at_)) return;
    std::vector<std::pair<int, std::uint64_t>> resuming;
    resuming.swap(paused_);
    for (const auto& [fd, order] : resuming) {
        regi* record = find(fd);
        if (record != nullptr && record->order == order) set_read(fd, true);
    }
}

// Serves the ready records in table order. A wake-up from a signal handler is
// no tick: it only makes the next pass look at the flags.
void scheduler::dispatch(int count) {
    ready_.clear();
    for (int i = 0; i < count; ++i) {
        if (events_[i].data.u64 == wake_tag) {
            std::uint64_t drained;
            ssize_t ignored = ::read(waker_, &drained, sizeof drained);
            (void)ignored;
            continue;
        }
        const std::uint32_t mask = events_[i].events;
        ready_.emplace_back(static_cast<regi*>(events_[i].data.ptr), mask);
    }
    std::sort(ready_.begin(), ready_.end(),
              [](const auto& a, const auto& b) { return a.first->order < b.first->order; });
    for (auto& [record, events] : ready_) {
        // Errors and hang-ups count as readiness, so that the communicator
        // learns of them through its own read or write.
        const std::uint32_t failed = EPOLLERR | EPOLLHUP;
        if (record->active && record->reading && (events & (EPOLLIN | failed))) record->comm->read();
        if (record->active && record->writing && (events & (EPOLLOUT | failed))) {
            record->writing = false;
            update(*record);
            record->comm->write();
        }
    }
}

// Ticks the next batch of the walk; records added during the walk are
// included when the walk reaches them.
void scheduler::tick() {
    std::int64_t ticked = 0;
    for (; tick_cursor_ != table_.end() && ticked < tick_batch_; ++tick_cursor_) {
        if (!tick_cursor_->active || !tick_cursor_->timer) continue;
        tick_cursor_->comm->timer();
        ++ticked;
    }
    if (tick_cursor_ == table_.end()) walking_ = false;
}

// Hooks and writes that these cause join the same end of pass.
void scheduler::end_pass() {
    for (std::size_t i = 0; i < pass_end_.size(); ++i) pass_end_[i]();
    release_soon();
    flush();
}

void scheduler::flush() {
    for (std::size_t i = 0; i < flushes_.size(); ++i) {
        regi* record = flushes_[i];
        if (!record->flush) continue;
        record->flush = false;
        if (record->active) record->comm->write();
    }
    flushes_.clear();
}

}  // namespace vorta
