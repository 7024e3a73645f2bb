// toolio: the small I/O and process utilities that netburn and diskburn
// share.  It exists so that the two helper programs write their output,
// read sysfs and handle stop signals in exactly one way.  Like the programs,
// it depends on nothing but the C and C++ standard libraries and POSIX.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace toolio {

// Writes text plus a newline to standard output with as few write() calls
// as it takes, so that lines never interleave or tear.  A reader that went
// away is ignored: there is nothing useful left to do with the text.
void emit(const std::string& text);

// printf into a std::string (at most 1023 characters).
std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));

// How read_text trims what it read.
enum class Trim {
  kTrailing,  // strip trailing '\n' and ' '
  kBoth,      // strip leading and trailing ' ', '\t' and '\n'
};

// The contents of a (sysfs or proc) text file, or nothing if unreadable.
std::optional<std::string> read_text(const std::string& path, Trim trim);

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

}  // namespace toolio
