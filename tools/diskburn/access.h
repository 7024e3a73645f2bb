// diskburn: opening a target for the pass, and noticing when it is lost.
#pragma once

#include <optional>
#include <string>

#include "nodes.h"
#include "target.h"

namespace diskburn {

enum class Opened { kYes, kBusy, kNo };

// Opens a target for direct I/O (a block device exclusively, through a
// node checked to carry its number) and learns its size.  kBusy: another
// user holds the device; kNo: the failure says why.
Opened open_target(Target& t, DevNodes& nodes, Failure& f);

// Lost from under us: a deleted file or a shrunken / removed device.
std::optional<std::string> vanished(Target& t);

}  // namespace diskburn
