// Gives the operator's terminal back however the program ends: a termination
// signal becomes an orderly quit through the event loops, and a crash or a
// failed contract check restores the terminal before the process goes.
#pragma once

#include <sys/types.h>

class PlScreen;

namespace sigguard {

// Installs the handlers for the terminal of `scr` (which must be built, so
// that its saved settings are known). SIGTERM, SIGHUP, SIGINT and every other
// signal whose default would end the program (SIGQUIT, SIGUSR1, SIGALRM, ...)
// send the group of a command run through the shell SIGTERM and post QUIT
// into the signal pipe, which ends every wait and so every loop of the
// program, so that the helpers are ended and the terminal restored; a second one
// while the program tears down restores the terminal at once and exits.
// SIGABRT (a failed assertion) and, where no one else handles them, the
// fault signals restore the terminal and then take their default course.
// SIGWINCH posts RESIZE, which the event loop turns into a repaint of the
// whole screen. SIGCHLD is put back to its default
// so that exit codes of children stay readable whatever the program inherited.
void install(PlScreen &scr);

// The process group of a command the program waits for outside its event
// loops; a termination request sends it SIGTERM. 0: none.
void set_child_group(pid_t pgid);

// Async-signal-safe: puts back the terminal settings found at start and
// writes the bytes that leave the terminal in its normal character set,
// attribute, cursor visibility and (if a repaint switched it off) autowrap.
void emergency_restore();

} // namespace sigguard
