// toolframe: see stopsignal.h.

#include "toolframe/stopsignal.h"

#include <pthread.h>
#include <time.h>

namespace toolframe {

std::atomic<bool> g_signalled{false};

namespace {
extern "C" void on_signal(int) { g_signalled.store(true); }
}  // namespace

void install_stop_signals() {
  struct sigaction sa{};
  sa.sa_handler = on_signal;  // no SA_RESTART: a blocked write must give way
  ::sigemptyset(&sa.sa_mask);
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGHUP, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

bool sleep_interruptibly(std::chrono::nanoseconds d) {
  auto ns = d.count();
  timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  ::nanosleep(&ts, nullptr);  // a signal cuts it short, which is the point
  return !g_signalled.load();
}

SignalsBlocked::SignalsBlocked() {
  sigset_t all;
  ::sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &old_);
}

SignalsBlocked::~SignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

}  // namespace toolframe
