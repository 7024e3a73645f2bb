#include "plscreen.h"
#include "ptyterm.h"

// The smallest terminal the program has to run on.
PTYTERM_SCREEN(20, 8);
