#pragma once
// Process control for the daemon: detaching from the terminal and installing
// signal handlers.

namespace vorta {

// Forks twice around setsid so that the daemon has no controlling terminal,
// closes every inherited descriptor, puts /dev/null on the standard ones and
// sets the file mode mask to 022.
// Throws std::runtime_error when setsid fails.
void daemon();

// Raises the soft limit on open descriptors to the hard limit: every visitor
// holds two connections, and the usual soft limit of 1024 is far too low.
// A failure leaves the limit as it was.
void raise_descriptor_limit();

// Hands memory that bursts of output left free inside the heap back to the
// system, at most once a second; the event loop calls it after every pass.
void release_free_memory();

// Installs `handler` for `number` through sigaction, restarting interrupted
// system calls except for SIGALRM. Returns the previous handler or SIG_ERR.
using signal_handler = void (*)(int);
signal_handler signal(int number, signal_handler handler);

}  // namespace vorta
