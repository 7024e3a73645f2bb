// toolframe: see run.h.  Only the helpers' main() uses this file, so only
// they get its constructor.

#include "toolframe/run.h"

#include <cstdio>

#include "toolframe/stopsignal.h"

namespace toolframe {

int helper_main(int argc, char** argv, int (*run)(int, char**)) {
  ::setvbuf(stdout, nullptr, _IONBF, 0);
  return run(argc, argv);
}

}  // namespace toolframe

// rundiags restarts a helper after every pass and may stop the test at any
// moment.  A SIGTERM that comes while the helper is still starting up must
// end it cleanly, not kill it (a killed helper reads as a failed test), so
// the stop handlers go in before anything else of the program runs.
[[gnu::constructor(101)]] static void catch_stops_from_the_start() { toolframe::install_stop_signals(); }
