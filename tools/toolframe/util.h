// toolframe: the small text and environment utilities that netburn and
// diskburn share, next to emit.h (their lines), readfile.h (their reads)
// and stopsignal.h (their stop signals).  Like the programs, it depends on
// nothing but the C and C++ standard libraries and POSIX.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace toolframe {

// printf into a std::string (at most 1023 characters).
std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));

// The pieces of text between the separators, empty ones included.
std::vector<std::string> split(const std::string& text, char sep);

// A decimal number made of digits only (no sign, no blank) that fits in 64
// bits, or nothing.  Decimal always: "010" is ten, never an octal eight.
std::optional<uint64_t> parse_decimal(const char* s);

// Like parse_decimal, but nothing for zero as well: a count of something.
std::optional<uint64_t> parse_count(const char* s);

// This start's number within the burn-in run, from RUNDIAGS_PASS: unset,
// empty or anything parse_count does not take means 1.
uint64_t pass_number();

// "Pass <n> started <YYYY-MM-DD HH:MM:SS> UTC.", the time in UTC: how
// every run of either helper begins.
std::string started_line(uint64_t pass);

// 64 random bits for a run's identity; never waits for the kernel's
// entropy (early in a boot there may be none yet), falling back to the
// clock and the process id.
uint64_t random64();

}  // namespace toolframe
