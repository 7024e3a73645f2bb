// netburn: the sysfs attributes of its ports, read so that they never stop
// the test.  An attribute may be missing, unreadable (a USB device gone half
// away answers with ENXIO or EIO), empty, binary or absurdly long; the reads
// are toolframe's (bounded, never blocking, never throwing), and anything odd
// reads as "nothing known".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace netburn::sysfs {

// The paths below (rel) are taken within /sys, under the test root
// (toolframe/root.h) when one is set.

// Text of the attribute at rel without surrounding blanks and
// newlines; nothing when it is missing, unreadable, longer than
// toolframe::kTextLimit, or holds NUL or control bytes (which must never reach
// a line the operator reads).  An empty attribute reads as "".
std::optional<std::string> text(const std::string& rel);

// The attribute as one unsigned number, decimal or 0x-hexadecimal, with
// nothing else in it.
std::optional<uint64_t> number(const std::string& rel);

// True if anything (a dangling link too) exists at rel.
bool exists(const std::string& rel);

// The last path element of the symlink at rel, or "".
std::string link_name(const std::string& rel);

}  // namespace netburn::sysfs
