// toolio: how netburn and diskburn write their lines to the reader.  Only
// one thread of each program writes, so lines never interleave; the
// functions differ only in when they give up on a full pipe.
#pragma once

#include <chrono>
#include <string>

namespace toolio {

// Writes text plus a newline to standard output with as few write() calls
// as it takes, so that lines never interleave or tear.  A reader that went
// away is ignored: there is nothing useful left to do with the text.
void emit(const std::string& text);

// Like emit, but gives way to a stop: while standard output is full it
// waits in short slices, and once a stop signal has come it drops the line
// and returns false.  A full pipe can thus never delay a stop.
bool emit_or_stop(const std::string& text);

// Like emit, but waits for room in standard output only until the deadline;
// false if the line was dropped.  For the last lines after a stop, which
// must not keep the program alive when nobody reads them.
bool emit_before(const std::string& text, std::chrono::steady_clock::time_point deadline);

}  // namespace toolio
