// netburn: lines to the reader.  Only the main thread writes.  While the
// reader leaves the pipe full the main thread blocks here, and a stop
// signal must still get through: a status line gives way to it, a message
// line does not (the reader needs every message whole).
#pragma once

#include <string>

namespace netburn::out {

// Writes the line and its newline whole; waits for the reader as long as it
// takes.  A reader that went away is ignored.
void message(const std::string& line);

// Writes a status line; false if a stop signal came before any of it went
// out (the line is then dropped, so the stop can proceed).
bool status(const std::string& line);

}  // namespace netburn::out
