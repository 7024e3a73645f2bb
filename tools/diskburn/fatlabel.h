// diskburn: the volume label of a FAT filesystem, read the way makefloppy
// reads it when it looks for the results stick (through mtools): the
// root directory's volume-label entry as `mdir` shows it; when the root
// directory has none, no label; only when the root directory cannot be
// read at all (mtools then fails too), the boot sector's label.  So
// diskburn leaves out exactly the stick makefloppy would write to, also
// one relabelled only in its root directory.
#pragma once

#include <optional>
#include <string>

namespace diskburn {

// The label of the FAT filesystem on the open device or image file, or
// nothing when it is no FAT filesystem or has no label.  Reads only.
std::optional<std::string> fat_label(int fd);

}  // namespace diskburn
