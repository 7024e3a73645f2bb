// The screen of test_windows_small: the smallest terminal the program must
// run on.
#include "plscreen.h"
#include "testterm.h"

PlScreen screen(testpty_slave_fd(20, 8), testpty_slave_fd(20, 8));
