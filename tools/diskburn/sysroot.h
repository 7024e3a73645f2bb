// diskburn: where the machine's description is read: below the test root
// (toolframe/root.h) when one is set.  The paths named in DISKBURN_TARGETS
// are always used as they are.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

#include "toolframe/root.h"

namespace diskburn {

using toolframe::fake_root;
using toolframe::rooted;

// False for a device number that a fake root must not lead to: anything
// but one of the machine's own loop devices.  Such an entry is never
// opened, neither to read nor to write.
bool may_open(dev_t dev);

// A trimmed sysfs or proc attribute at a path already under the root.
std::optional<std::string> attr(const std::string& full_path);

// Text fit for a message line: bytes outside printable ASCII (the program's
// colour markers among them) become '?', and more than max bytes are cut
// with "...".
std::string printable(const std::string& s, size_t max = 48);

// "8:16" -> the device number; nothing unless it is two decimal numbers.
std::optional<dev_t> parse_devnum(const std::string& s);

}  // namespace diskburn
