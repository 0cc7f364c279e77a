#pragma once
// The events a communicator reports. The chat logic implements this interface;
// every default does nothing, so an observer overrides only what it needs.
// An observer may destroy the communicator from inside any event it receives.
#include <string>

namespace vorta {

class communicator;

class observer {
public:
    virtual ~observer() = default;
    // A listening server accepted a connection; the observer now owns `fd`.
    virtual void on_accept(communicator*, int /*fd*/, std::string /*address*/) {}
    // A tick passed and the connection's tick counter is still below its limit.
    virtual void on_timer(communicator*) {}
    // A tick passed and the tick limit is reached or exceeded.
    virtual void on_time_out(communicator*) {}
    // Data was appended to the input buffer; `pending` is its whole size.
    virtual void on_read(communicator*, int /*pending*/) {}
    virtual void on_read_close(communicator*) {}
    // Writing failed; the pending output was discarded.
    virtual void on_write_close(communicator*) {}
    // The output buffer has been written completely.
    virtual void on_flush(communicator*) {}
    // A listening server ran out of descriptors or memory. Sent once per
    // shortage; the server pauses and retries by itself.
    virtual void on_accept_failed(communicator*, std::string /*error*/) {}
};

}  // namespace vorta
