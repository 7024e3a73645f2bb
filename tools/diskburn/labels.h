// diskburn: media rundiags itself needs, recognised by what is written on
// them: the results stick (a FAT filesystem labelled RUNDIAGS, where the
// record is saved when there is no floppy drive) and the boot medium (an
// ISO 9660 volume labelled RUNDIAGS_BOOT, also when written raw to a stick).
#pragma once

#include <optional>
#include <string>

#include "nodes.h"
#include "topology.h"

namespace diskburn {

enum class Medium { kNone, kResults, kBoot };

// What the first sectors of an open device or image file show.
Medium medium_of(int fd);

// Why a disk must be kept -- it, or one of its partitions, is one of those
// media, or cannot be read to tell -- or nothing.  Reads only.
std::optional<std::string> medium_reason(const std::string& disk, dev_t dev, const Topology& topo,
                                         DevNodes& nodes);

}  // namespace diskburn
