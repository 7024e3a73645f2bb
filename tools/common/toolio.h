// toolio: the small text and environment utilities that netburn and
// diskburn share, next to emit.h (their lines), readfile.h (their reads)
// and stopsignal.h (their stop signals).  Like the programs, it depends on
// nothing but the C and C++ standard libraries and POSIX.
#pragma once

#include <string>
#include <vector>

namespace toolio {

// printf into a std::string (at most 1023 characters).
std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));

// The pieces of text between the separators, empty ones included.
std::vector<std::string> split(const std::string& text, char sep);

// This start's number within the burn-in run, from RUNDIAGS_PASS: unset,
// empty or anything but a positive decimal number means 1.
int pass_number();

// The current time in UTC as "YYYY-MM-DD HH:MM:SS".
std::string utc_now();

}  // namespace toolio
