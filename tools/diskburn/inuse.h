// diskburn: which whole disks hold something in use and so must never be
// written: mounted filesystems, swap, the root and boot media named on the
// kernel command line, another kernel user (holders), and whatever backs a
// loop device that is itself in use -- through partitions, device-mapper,
// md and loop devices down to the disks beneath.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

#include "nodes.h"
#include "topology.h"

namespace diskburn {

struct Use {
  std::string text;    // why, for "Leaving out sda: <text>."
  std::string phrase;  // the same after "which", for what lies beneath it
};

// disk name -> why it must be left alone (the first reason found)
using InUse = std::map<std::string, Use>;

// Names of disks and loop devices that matter for this run; nothing means all.
using Interest = std::optional<std::set<std::string>>;

class UseFinder {
 public:
  // Loop devices are probed for an exclusive user only where the answer
  // matters (interest), so that the probe never gets in the way of
  // another program's loop devices while only named targets are tested.
  UseFinder(const Topology& topo, DevNodes& nodes, Interest interest = std::nullopt)
      : topo_(topo), nodes_(nodes), interest_(std::move(interest)) {}
  InUse find();

 private:
  void mark(const DiskSet& disks, const Use& use);
  void mounts();
  void swaps();
  void command_line();
  void holders();
  void busy_loops();

  const Topology& topo_;
  DevNodes& nodes_;
  Interest interest_;
  InUse why_;
};

// Another kernel user (md, device mapper, bcache...) of a disk or one of
// its partitions.
std::optional<std::string> holder_of(const std::string& disk);

}  // namespace diskburn
