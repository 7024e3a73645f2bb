// diskburn: which whole disks hold something in use and so must never be
// written: mounted filesystems, swap, the root and boot media named on the
// kernel command line, another kernel user (holders), and whatever backs a
// loop device that is itself in use -- through partitions, device-mapper,
// md and loop devices down to the disks beneath.
#pragma once

#include <map>
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

class UseFinder {
 public:
  UseFinder(const Topology& topo, DevNodes& nodes) : topo_(topo), nodes_(nodes) {}
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
  InUse why_;
};

// Another kernel user (md, device mapper, bcache...) of a disk or one of
// its partitions.
std::optional<std::string> holder_of(const std::string& disk);

}  // namespace diskburn
