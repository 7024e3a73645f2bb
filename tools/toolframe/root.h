// toolframe: where a helper reads the machine's description.  Tests point a
// helper at a fake machine by setting RUNDIAGS_ROOT: every /sys, /proc, /dev
// and /run/rundiags path the helper reads is then taken below that
// directory.  DISKBURN_ROOT is another name for it, for the scripts that
// set it; RUNDIAGS_ROOT wins when both are set.
#pragma once

#include <string>

namespace toolframe {

// The root prefix: "" for the real machine.  Read once, as root_setting().
const std::string& root();
// What the settings name as the root now: RUNDIAGS_ROOT, or else
// DISKBURN_ROOT (unset or empty: the real machine), without trailing slashes.
std::string root_setting();

// Tests set the prefix directly.
void set_root(const std::string& prefix);

// True when a fake root is in use.
bool fake_root();

// abs (a path such as "/sys/block") as it is reached under the root.
std::string rooted(const std::string& abs);

}  // namespace toolframe
