// diskburn: where the machine's description is read.  Tests point diskburn
// at a fake machine by setting DISKBURN_ROOT: every /sys, /proc and /dev
// path it reads is then taken below that directory.  The paths named in
// DISKBURN_TARGETS are always used as they are.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

namespace diskburn {

// The root prefix ("" for the real machine); read once from DISKBURN_ROOT.
const std::string& sys_root();
// Tests set the prefix directly.
void set_sys_root(const std::string& root);
// True when a fake root is in use.
bool fake_root();

// False for a device number that a fake root must not lead to: anything
// but one of the machine's own loop devices.  Such an entry is never
// opened, neither to read nor to write.
bool may_open(dev_t dev);

// abs (a path such as "/sys/block") as it is reached under the root.
std::string sys(const std::string& abs);

// A trimmed sysfs or proc attribute at a path already under the root.
std::optional<std::string> attr(const std::string& full_path);

// Text fit for a message line: bytes outside printable ASCII (the program's
// colour markers among them) become '?', and more than max bytes are cut
// with "...".
std::string printable(const std::string& s, size_t max = 48);

// "8:16" -> the device number; nothing unless it is two decimal numbers.
std::optional<dev_t> parse_devnum(const std::string& s);

}  // namespace diskburn
