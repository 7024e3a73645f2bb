// diskburn: the choice of targets.  Without DISKBURN_TARGETS every entry of
// /sys/block is looked at and the disks that may be written are kept; with
// it (set at all, even empty) exactly the files and whole block devices it
// names are, and one that must not be written fails the run.  Either way
// the boot medium and the results stick are left out, and so is a second
// path to a disk already chosen or to a disk left out.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "inuse.h"
#include "nodes.h"
#include "target.h"
#include "topology.h"

namespace diskburn {

// Writes one message line; false once a stop has come.
using Say = std::function<bool(const std::string&)>;

using Targets = std::vector<std::unique_ptr<Target>>;

class Chooser {
 public:
  Chooser(DevNodes& nodes, Say say) : nodes_(nodes), say_(std::move(say)) {}
  // Fills out; the exit status if a named target cannot be used.
  std::optional<int> choose(Targets& out);
  // The burn keys (identity.h) of every disk found, kept or left out.
  const std::set<std::string>& seen() const { return seen_; }

 private:
  Interest interest(const char* list) const;
  void learn_boot();
  std::optional<std::string> keep_reason(const std::string& name, dev_t dev);
  std::optional<Use> scan_reason(const std::string& name, dev_t& dev);
  std::optional<Use> busy_reason(const std::string& name, dev_t dev);
  void scan(Targets& out);
  void leave_out_other_paths(Targets& out);
  std::optional<int> listed(const std::string& list, Targets& out);
  std::optional<int> listed_device(const std::string& p, dev_t dev, Targets& out);
  std::optional<int> listed_file(const std::string& p, const struct stat& st, Targets& out);
  void drop_duplicates(Targets& out);

  DevNodes& nodes_;
  Say say_;
  std::unique_ptr<Topology> topo_;
  InUse in_use_;
  DiskSet boot_;
  std::string boot_path_;
  struct LeftOut {
    std::unique_ptr<Target> disk;
    Use why;
  };
  std::vector<LeftOut> left_;  // disks left out, whose reasons pass on to their other paths
  std::set<std::string> seen_;
};

}  // namespace diskburn
