// diskburn: how block devices stack.  Which whole disks hold the data of a
// block device or a file: a partition's disk, the disks beneath
// device-mapper and md, and for a loop device both itself and whatever
// backs it (a disk, or the disk under the filesystem that holds its file),
// so that a filesystem in use through a loop device protects what lies
// beneath it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mounts.h"

namespace diskburn {

// Whole disk -> the outermost loop device through which it was reached
// ("" when directly).
using DiskSet = std::map<std::string, std::string>;

class Topology {
 public:
  explicit Topology(std::vector<Mount> mounts) : mounts_(std::move(mounts)) {}

  const std::vector<Mount>& mounts() const { return mounts_; }

  // The whole disks beneath a path (device node, file, or a /dev name
  // without a node here), a mount, a sysfs directory.
  void of_path(const std::string& abs, DiskSet& out) const { of_path(abs, out, "", 0); }
  void of_mount(const Mount& m, DiskSet& out) const { of_mount(m, out, "", 0); }
  void of_sysdir(const std::string& dir, DiskSet& out) const { under(dir, out, "", 0); }

  // The sysfs directory (under the root) of a device number or a name.
  std::optional<std::string> sysdir_of(dev_t dev) const;
  std::optional<std::string> sysdir_of_name(const std::string& name) const;
  // The name of a whole disk with this number; nothing for a partition.
  std::optional<std::string> whole_disk(dev_t dev) const;
  // A disk's partitions: name and device number, 0 for one whose number
  // sysfs does not give.
  std::vector<std::pair<std::string, dev_t>> partitions(const std::string& disk) const;
  // The loop devices whose backing file is this file.
  std::vector<std::string> loops_backed_by(const struct stat& file) const;
  // The /dev name a path leads to through its symlinks, e.g. sdb1 for
  // /dev/disk/by-label/X; nothing if it leads elsewhere.
  std::optional<std::string> dev_name_of(std::string abs) const;

 private:
  void of_path(const std::string& abs, DiskSet& out, const std::string& via, int depth) const;
  void of_mount(const Mount& m, DiskSet& out, const std::string& via, int depth) const;
  void under(const std::string& dir, DiskSet& out, const std::string& via, int depth) const;

  std::vector<Mount> mounts_;
};

// The path a loop device's backing_file attribute names ("" if none).
std::string loop_backing_path(const std::string& sysdir);

}  // namespace diskburn
