// diskburn: what the machine has mounted and swapping, read from proc.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace diskburn {

struct Mount {
  dev_t dev = 0;       // from the maj:min field; 0:N for filesystems without a device
  std::string point;   // where it is mounted
  std::string source;  // the mount source, e.g. /dev/sda1
};

// /proc/self/mountinfo; an unreadable or odd file gives what could be read.
std::vector<Mount> read_mounts();
// The paths of /proc/swaps (devices and files).
std::vector<std::string> read_swaps();
// The mount whose mount point is the longest prefix of path, or null.
const Mount* mount_of(const std::string& path, const std::vector<Mount>& mounts);

}  // namespace diskburn
