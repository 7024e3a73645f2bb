// diskburn: the volume labels of a FAT filesystem.  The root directory's
// label entry is read as mtools (and so makefloppy) reads it, as `mdir`
// shows it; the boot sector's label as mkfs writes it.  A relabelling may
// change either alone, so the results stick is known by both.
#pragma once

#include <string>
#include <vector>

namespace diskburn {

// Every label the FAT filesystem on the open device or image file carries,
// in its root directory's label entry and in its boot sector; empty when it
// is no FAT filesystem or has none.  Reads only.  makefloppy writes only to
// the label mtools shows (the root entry); diskburn respects both.
std::vector<std::string> fat_labels_seen(int fd);

}  // namespace diskburn
