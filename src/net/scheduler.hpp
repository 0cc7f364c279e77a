#pragma once
// The server's single-threaded event loop. Every open descriptor is registered
// here with the communicator that handles it; the loop waits for readiness and
// for a coarse periodic tick, and calls the communicators' read, write and
// timer operations. Ready records are served in registration order, read
// before write, and a record withdrawn during a pass gets no further call in it.
// A pass costs in proportion to the ready records, not to all registered ones;
// only the tick pass walks the whole table.
//
// Ticks follow the monotonic clock: one comes every interval whatever the
// traffic, in the first pass that ends after it is due, so a busy loop
// delivers it late by at most one pass and never skips it.
//
// Every pass ends with the hooks added by `add_pass_end`, then one `write` for
// each communicator that asked for it with `flush_later`: output produced
// during the pass is gathered and sent with one system call per descriptor.
//
// Signal handlers may call the static `shutdown` and `call_thread`; they touch
// nothing but the class-wide flags and a wake-up counter. Other threads hand
// work back to the loop with `post`, the only member they may call.
#include <sys/time.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <vector>

struct epoll_event;

namespace vorta {

class communicator;

class scheduler {
public:
    // One registration.
    struct regi {
        regi(int fd, communicator* handler, bool wants_ticks);
        explicit regi(bool is_active);  // pattern of an inactive record
        regi(const regi&) = default;
        virtual ~regi() = default;
        // Records compare by their active flag only.
        bool operator==(const regi& other) const { return active == other.active; }

        int descriptor = -1;
        communicator* comm = nullptr;  // not owned
        bool timer = false;
        bool active = false;
        // Place in the table; dispatch within a pass follows it.
        std::uint64_t order = 0;
        bool reading = true;      // read interest (paused only by set_read)
        bool writing = false;     // one-shot write interest
        bool in_poller = false;   // currently known to the kernel's wait set
        bool flush = false;       // a write is due at the end of the pass
        bool soon = false;        // a write is due within soon_ms
    };

    explicit scheduler(const int& interval);
    virtual ~scheduler();
    scheduler(const scheduler&) = delete;
    scheduler& operator=(const scheduler&) = delete;

    // Registers `fd`, watched for reading from now on. Fails for a negative
    // descriptor, one that is registered already, or when the kernel refuses it.
    bool reg(const int& fd, communicator* handler, bool timer);
    // Withdraws the registration; its record gets no further call and is purged
    // at the end of the pass. Unknown descriptors are ignored.
    void unreg(const int& fd);
    // One-shot: the loop drops the interest just before it calls `write`.
    void set_write(const int& fd);
    void set_timer(const int& fd, bool on);
    // Stops or resumes watching `fd` for reading.
    void set_read(const int& fd, bool on);
    // Stops watching `fd` for reading until a descriptor is freed (some
    // registration is withdrawn) or a second has passed, whichever comes
    // first: a listener that ran out of descriptors waits for one this way.
    void pause_read(const int& fd);

    // Calls `hook` at the end of every pass, in the order added, before the
    // deferred writes.
    void add_pass_end(std::function<void()> hook);
    // The communicator of `fd` gets one `write` at the end of the current pass,
    // however often this is called in it, unless its record is withdrawn
    // first. Called outside a pass, the write comes before the loop next waits.
    void flush_later(const int& fd);
    // The communicator of `fd` gets one `write` at the end of the first pass
    // that ends `soon_ms` or more from now, unless a request of this kind is
    // waiting for it already.
    void flush_soon(const int& fd);
    // How long a write asked for with `flush_soon` waits: a tenth of a second
    // unless set otherwise. At 0 nobody needs to ask.
    std::int64_t soon_ms() const { return soon_ms_; }
    void set_soon_ms(std::int64_t ms) { soon_ms_ = ms; }
    // True while `run` dispatches, ticks or ends a pass.
    bool in_pass() const { return in_pass_; }
    // The monotonic clock in milliseconds. A pass reads it once, at the first
    // call: its thousands of writes need no finer time than that.
    std::int64_t clock_ms();

    // The length of a tick in seconds, from the next wait on.
    // The next tick comes one new interval from now.
    void set_interval(int seconds) {
        interval_ = seconds;
        ticking_ = false;
    }

    // Runs until `shutdown`; returns the number of records left in the table.
    int run();

    static void shutdown();
    static void call_thread(void (*function)());

    // Safe from any thread: `work` runs on the loop at the start of its next
    // pass, in the order posted, and the loop wakes up for it.
    void post(std::function<void()> work);

    static std::atomic<bool> Active;
    static std::atomic<timeval*> Timer;
    static std::atomic<void (*)()> Thread;

    // How long a paused reader waits at most, in milliseconds.
    static constexpr std::int64_t pause_limit_ms = 1000;
    // A tick serves at least this many receivers per pass, with this many
    // milliseconds between the passes.
    static constexpr std::int64_t tick_batch = 256;
    static constexpr std::int64_t tick_gap_ms = 20;

protected:
    // The monotonic clock that times ticks and pauses; tests replace it to
    // script elapsed time.
    virtual void get_time(timeval& now);

private:
    class pass_guard;

    regi* find(int fd) const;
    void update(regi& record);
    void open_poller();
    void dispatch(int ready);
    std::int64_t now_ms();
    // The wait before the next tick, batch, soon write or resumption is due;
    // -1 for none.
    std::int64_t next_wait(std::int64_t now);
    void tick_if_due(std::int64_t now);
    void resume_paused(std::int64_t now);
    // Turns the requests of `flush_soon` that fell due into writes at the end
    // of this pass.
    void release_soon();
    void tick();
    void end_pass();
    void flush();
    // Runs the work that other threads posted; new posts wait for the next pass.
    void run_posted();
    static void wake();

    std::list<regi> table_;
    std::vector<regi*> by_descriptor_;  // active record of each descriptor
    int interval_;
    int tick_receivers_ = 0;
    bool ticking_ = false;         // a tick is scheduled at next_tick_
    std::int64_t next_tick_ = 0;   // monotonic milliseconds
    // A tick under way: where its walk of the table goes on, when, and how
    // many tick receivers each batch serves.
    bool walking_ = false;
    std::list<regi>::iterator tick_cursor_;
    std::int64_t next_batch_ = 0;
    std::int64_t tick_batch_ = 0;
    // Paused readers as descriptor and table order, so that a record purged
    // meanwhile is recognised; all resume together.
    std::vector<std::pair<int, std::uint64_t>> paused_;
    std::int64_t resume_at_ = 0;
    int withdrawn_ = 0;
    std::uint64_t next_order_ = 0;
    timeval timeout_{};
    std::deque<std::function<void()>> pass_end_;  // a hook may add hooks
    std::vector<regi*> flushes_;  // in the order first asked for
    // Writes asked for with flush_soon, by descriptor and table order like the
    // paused readers, in the order they fall due.
    struct soon_write {
        std::int64_t due;
        int descriptor;
        std::uint64_t order;
    };
    std::deque<soon_write> soon_;
    std::int64_t soon_ms_ = 100;
    bool in_pass_ = false;
    std::int64_t pass_clock_ = -1;  // not read yet in this pass

    std::mutex posted_mutex_;
    std::vector<std::function<void()>> posted_;  // guarded by posted_mutex_

    // Opened on first use, not in the constructor: the program-wide scheduler
    // is built before the process daemonises and closes its descriptors.
    int poller_ = -1;
    int waker_ = -1;
    std::vector<::epoll_event> events_;
    std::vector<std::pair<regi*, std::uint32_t>> ready_;

    static timeval shutdown_timeout_;
    static timeval thread_timeout_;
    static std::atomic<int> Waker;  // eventfd of the scheduler that runs
};

}  // namespace vorta
