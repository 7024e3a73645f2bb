#include "plscreen.h"
#include "testterm.h"

PlScreen screen(testpty_slave_fd(80, 25), testpty_slave_fd(80, 25));
