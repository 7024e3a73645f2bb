// diskburn: the disks one burn-in destroys.  The operator confirmed the
// disks the first pass named, and no others: a stick plugged in later must
// never be written, and a disk of the set that is gone fails the pass.
// Each pass is a new process, so the first pass keeps the set in a file in
// the state directory ($DISKBURN_STATE_DIR, default /run/rundiags/diskburn),
// each disk by its burn key (identity.h), and later passes read it.
//
// The file "set": a first line "rundiags diskburn set 1", then one line per
// disk: burn key, name, serial number (as its Disk line shows it), separated
// by tabs.  It is written to a temporary file and renamed into place.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "targets.h"

namespace diskburn {

class BurnSet {
 public:
  struct Entry {
    std::string key, name, serial;
  };

  // The state directory.
  static std::string dir();
  // Keeps the set of these targets; the reason when it cannot.
  static std::optional<std::string> save(const Targets& targets);
  // Reads the set kept by the first pass; the reason when it cannot.
  std::optional<std::string> load();

  bool has(const std::string& key) const;
  // The entries none of whose keys is among those seen now.
  std::vector<Entry> gone(const std::set<std::string>& seen) const;

 private:
  std::vector<Entry> entries_;
};

}  // namespace diskburn
