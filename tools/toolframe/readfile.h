// toolframe: reads of sysfs, proc and the directories around them that never
// stop a helper: whatever sits at a path, a read is bounded, never blocks
// and never throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace toolframe {

// How read_text trims what it read.
enum class Trim {
  kTrailing,  // strip trailing '\n' and ' '
  kBoth,      // strip leading and trailing ' ', '\t' and '\n'
};

// The most read_text takes.  A sysfs attribute is one page, /proc/cmdline a
// few; anything longer is no value the helpers understand.
constexpr size_t kTextLimit = 1 << 20;

// The first max_bytes of a regular (sysfs, proc) file, or nothing if it is
// missing, not a regular file, or a read fails (EIO from a device gone half
// away, for one).  Nothing else is even opened: opening a device node can
// have effects of its own, and a FIFO or a terminal must never be waited
// on.  Never throws for what it finds on disk, and never blocks.
std::optional<std::string> read_file(const std::string& path, size_t max_bytes);

// The contents of a (sysfs or proc) text file, trimmed: read_file, and
// nothing as well when the file holds more than kTextLimit bytes (a cut
// value would read as another one).  The bytes are as the file has them,
// binary ones too: each caller checks or cleans what it uses.
std::optional<std::string> read_text(const std::string& path, Trim trim);

// What could be read of the n bytes at offset off of an open file or
// device: fewer at its end, none on an error.
std::vector<unsigned char> read_at(int fd, uint64_t off, size_t n);

// True if something exists at the path (a dangling symlink counts).
bool path_exists(const std::string& p);

// The sorted names in a directory, leaving out those that begin with '.';
// empty if the directory cannot be opened.
std::vector<std::string> list_dir(const std::string& path);

}  // namespace toolframe
