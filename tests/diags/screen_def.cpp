// The screen of the test_diags binary: a pseudo-terminal whose output is
// drained in the background, never the terminal of whoever runs the tests.
#include "plscreen.h"
#include "testterm.h"

PlScreen screen(testpty_slave_fd(), testpty_slave_fd());
