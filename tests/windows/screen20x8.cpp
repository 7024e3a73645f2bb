// The screen of test_windows_small: the smallest terminal the program must
// run on. The size is chosen before the screen is built (same unit, earlier
// definition, so it is initialised first).
#include <cstdlib>

#include "plscreen.h"
#include "testterm.h"

static const bool small_size = [] { return setenv("TESTPTY_SIZE", "20x8", 1) == 0; }();

PlScreen screen(testpty_slave_fd(), testpty_slave_fd());
