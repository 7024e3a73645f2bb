// diskburn: which entries of /sys/block are disks this program may write.
#pragma once

#include <optional>
#include <string>

#include "inuse.h"

namespace diskburn {

// Why an entry is not a disk to burn in at all (a RAM disk, a network or
// virtual device, a hidden multipath leg, an optical drive...), or nothing.
// A loop device is allowed when the operator named it.
std::optional<std::string> kind_reason(const std::string& name, bool listed_by_operator);

// Why a disk must be left alone as it stands now (in use, read-only, no
// medium, zoned), or nothing.
std::optional<Use> state_reason(const std::string& name, const InUse& in_use);

}  // namespace diskburn
