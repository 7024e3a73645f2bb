// A pseudo-terminal for the console tests: the test binary's screen runs on
// its slave side, the tests type keys into its master side, and everything
// the screen sends is collected so the pty never fills up and blocks.
#pragma once

#include <string>
#include <string_view>

// Opens the pty (once per process) with the given size and returns a new
// close-on-exec descriptor of its slave side.
int ptyterm_slave(int cols, int rows);
// Types bytes into the terminal.
void ptyterm_send(std::string_view bytes);
// Everything the screen has sent so far.
std::string ptyterm_output();
// Closes the master side, as when the terminal goes away.
void ptyterm_hangup();

// One line per test binary: its global screen over a fresh pty.
#define PTYTERM_SCREEN(cols, rows) PlScreen screen(ptyterm_slave(cols, rows), ptyterm_slave(cols, rows))
