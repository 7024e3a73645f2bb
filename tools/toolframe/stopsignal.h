// toolframe: the stop signals.  SIGTERM, SIGINT and SIGHUP end a helper's run
// cleanly; every thread looks at g_signalled, and only the main thread
// takes the signals themselves.
#pragma once

#include <signal.h>

#include <atomic>
#include <chrono>

namespace toolframe {

// Set once SIGTERM, SIGINT or SIGHUP has arrived.
extern std::atomic<bool> g_signalled;

// Installs the handler that sets g_signalled for SIGTERM, SIGINT and SIGHUP
// (without SA_RESTART, so a blocked write gives way) and ignores SIGPIPE.
void install_stop_signals();

// Sleeps for d or until a signal arrives; false if a stop signal has come.
bool sleep_interruptibly(std::chrono::nanoseconds d);

// While one lives, the calling thread takes no signal at all, and threads
// started meanwhile inherit that: the stop signals then reach the main
// thread only, and never cut a worker's system call short.
class SignalsBlocked {
 public:
  SignalsBlocked();
  ~SignalsBlocked();
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t old_;
};

}  // namespace toolframe
