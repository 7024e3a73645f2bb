#include "plscreen.h"
#include "ptyterm.h"

PTYTERM_SCREEN(80, 25);
