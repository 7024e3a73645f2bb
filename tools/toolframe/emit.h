// toolframe: how netburn and diskburn write their lines to the reader.  Only
// one thread of each program writes, so lines never interleave.  While the
// reader leaves the pipe full (an operator question is open) a line waits
// in slices of at most 50 ms; the three functions differ only in when they
// give up.  Into a pipe, a line of up to PIPE_BUF bytes goes out whole or
// not at all.
#pragma once

#include <chrono>
#include <string>

namespace toolframe {

// Writes text plus a newline to standard output, waiting for room as long
// as it takes, stop or no stop: for lines the reader needs whole and in
// full.  A reader that went away is ignored: there is nothing useful left
// to do with the text.
void emit(const std::string& text);

// Like emit, but gives way to a stop: once a stop signal has come it drops
// the line and returns false.  A full pipe can thus never delay a stop.  (Of
// a longer line already partly out, the rest is dropped, and the next line
// begins on a line of its own.)
bool emit_or_stop(const std::string& text);

// Like emit, but waits for room in standard output only until the deadline;
// false if the line was dropped.  For the last lines after a stop, which
// must not keep the program alive when nobody reads them.
bool emit_before(const std::string& text, std::chrono::steady_clock::time_point deadline);

}  // namespace toolframe
