#include "plscreen.h"
#include "testterm.h"

// The smallest terminal the program has to run on.
PlScreen screen(testpty_slave_fd(20, 8), testpty_slave_fd(20, 8));
