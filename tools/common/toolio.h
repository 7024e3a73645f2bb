// toolio: the small I/O and process utilities that netburn and diskburn
// share.  It exists so that the two helper programs write their output,
// read sysfs and handle stop signals in exactly one way.  Like the programs,
// it depends on nothing but the C and C++ standard libraries and POSIX.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

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

// printf into a std::string (at most 1023 characters).
std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));

// How read_text trims what it read.
enum class Trim {
  kTrailing,  // strip trailing '\n' and ' '
  kBoth,      // strip leading and trailing ' ', '\t' and '\n'
};

// What read_text reads at most; sysfs attributes are one page.
constexpr size_t kTextLimit = 1 << 20;

// The first max_bytes of a regular (sysfs, proc) file, or nothing if it is
// missing, not a regular file, or cannot be read.  Never throws for what it
// finds on disk, and never blocks on a FIFO.
std::optional<std::string> read_file(const std::string& path, size_t max_bytes);

// The contents of a (sysfs or proc) text file, or nothing if unreadable;
// read_file with the kTextLimit bound, then trimmed.
std::optional<std::string> read_text(const std::string& path, Trim trim);

// The pieces of text between the separators, empty ones included.
std::vector<std::string> split(const std::string& text, char sep);

// True if something exists at the path (a dangling symlink counts).
bool path_exists(const std::string& p);

// The sorted names in a directory, leaving out those that begin with '.';
// empty if the directory cannot be opened.
std::vector<std::string> list_dir(const std::string& path);

// Set once SIGTERM, SIGINT or SIGHUP has arrived.
extern std::atomic<bool> g_signalled;

// Installs the handler that sets g_signalled for SIGTERM, SIGINT and SIGHUP
// (without SA_RESTART, so a blocked write gives way) and ignores SIGPIPE.
void install_stop_signals();

// Sleeps for d or until a signal arrives; false if a stop signal has come.
bool sleep_interruptibly(std::chrono::nanoseconds d);

// This start's number within the burn-in run, from RUNDIAGS_PASS: unset,
// empty or anything but a positive decimal number means 1.
int pass_number();

// The current time in UTC as "YYYY-MM-DD HH:MM:SS".
std::string utc_now();

}  // namespace toolio
