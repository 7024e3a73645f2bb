// netburn: reads of sysfs attributes that never stop the test.  An
// attribute may be missing, unreadable (a USB device gone half away answers
// with ENXIO), empty, binary or absurdly long; each read is bounded, never
// blocks and never throws, and anything odd reads as "nothing known".
// (diskburn's reads live in tools/common; these stay here until that
// routine offers the same guarantees.)
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace netburn::sysfs {

// Where the sysfs tree is: "/sys", or a fake tree in the test build.
const std::string& root();
void set_root(const std::string& path);

// Text of the attribute at root()/rel without trailing blanks and newlines;
// nothing when it is missing, unreadable, longer than a page, or holds NUL
// or control bytes.  An empty attribute reads as "".
std::optional<std::string> text(const std::string& rel);

// The attribute as one unsigned number, decimal or 0x-hexadecimal, with
// nothing else in it.
std::optional<uint64_t> number(const std::string& rel);

// True if anything (a dangling link too) exists at root()/rel.
bool exists(const std::string& rel);

// The last path element of the symlink at root()/rel, or "".
std::string link_name(const std::string& rel);

}  // namespace netburn::sysfs
