// The screen of test_appunits: an 80 x 25 pseudo-terminal, never the
// terminal of whoever runs the tests.
#include "plscreen.h"
#include "testterm.h"

PlScreen screen(testpty_slave_fd(), testpty_slave_fd());
