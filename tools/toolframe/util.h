// toolframe: the frame netburn and diskburn are built on, and its small
// text and number utilities.  The rest of the frame: protocol.h (every
// line they write) and emit.h (how a line goes out), readfile.h (their
// reads), root.h (the test root), settings.h (their environment), run.h
// (the shape of a run) and stopsignal.h (their stop signals).  Like the
// programs, it depends on nothing but the C and C++ standard libraries and
// POSIX.
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

// The parts with the separator between each two.
std::string join(const std::vector<std::string>& parts, const char* separator);

// A decimal number made of digits only (no sign, no blank) that fits in 64
// bits, or nothing.  Decimal always: "010" is ten, never an octal eight.
std::optional<uint64_t> parse_decimal(const char* s);

// 64 random bits for a run's identity; never waits for the kernel's
// entropy (early in a boot there may be none yet), falling back to the
// clock and the process id.
uint64_t random64();

}  // namespace toolframe
