// What the program's routines share: the frame and the menu's actions.
#pragma once

#include "framewin.h"
#include "oxstring.h"

// The application frame, valid while main runs.
extern FrameWin *mainframe;

void do_compat(const OxFastString &title, const OxFastString &option);
void do_burnin();
void do_floppy();
