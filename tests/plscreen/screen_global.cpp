// The binary's one screen sits on a pseudo-terminal, never on the terminal of
// whoever runs the tests.
#include "plscreen.h"
#include "testterm.h"

PlScreen screen(testpty_slave_fd(), testpty_slave_fd());
