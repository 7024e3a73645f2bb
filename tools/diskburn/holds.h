// diskburn: what a disk holds before it is destroyed -- its partition
// table and each filesystem's type and label -- so that the operator reads
// what is about to be lost while there is still time to stop.  blkid
// (util-linux) reads the signatures, run on the disk's and each
// partition's node; a run that takes too long or is cut short by a stop
// counts as nothing found.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "nodes.h"
#include "target.h"

namespace diskburn {

// blkid's tags for a node or file (TYPE, LABEL, PTTYPE...), empty when it
// recognises nothing; nothing when blkid could not be run at all.
std::optional<std::map<std::string, std::string>> probe(const std::string& path);

// "Disk sda holds: gpt partition table, sda1 ext4 "data", sda2 swap."
// node is the disk's own node (or the file).
std::string holds_line(const Target& t, const std::string& node, DevNodes& nodes);

}  // namespace diskburn
