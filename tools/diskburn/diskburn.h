// diskburn: destructive write-and-verify burn-in of every whole disk.
//
// One run is one pass, as a list of steps: settings, targets, open, keep
// the set (first pass), grace period (first pass), workers, monitor,
// report.  A stop signal (SIGTERM, SIGINT, SIGHUP) ends it between any two
// steps or within one, writing nothing new, with a line that says how far
// the burn-in got.  "diskburn --list" goes only as far as the targets and
// names them with what they hold.
//
// Files: target.h (what a target is), targets.* (the choice), classify.*,
// inuse.*, topology.*, mounts.*, labels.*, describe.*, identity.*, nodes.*,
// sysroot.* (what the machine has and what must be left alone), burnset.*
// (the disks of the whole burn-in), holds.* and warnings.* (what the
// operator reads before the first write), access.* (opening), pass.* and
// stamp.* (the pass and its pattern), smart*.* and jsonscan.* (the SMART
// counters around it), childruns.* (smartctl and blkid, bounded),
// report.* (progress and the disk line; every line's wording is
// toolframe/protocol.h's), main.cpp (the program).
#pragma once

#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "nodes.h"
#include "report.h"
#include "smart.h"
#include "target.h"
#include "targets.h"
#include "toolframe/run.h"

namespace diskburn {

using toolframe::kGoOn;
using toolframe::Outcome;

// The program: one run, its exit status.
int run(int argc, char** argv);

class Burn {
 public:
  int run(int argc, char** argv);

 private:
  Outcome settings(int argc, char** argv);
  Outcome stop_check();
  Outcome targets();
  Outcome list();
  Outcome later_pass(const std::set<std::string>& seen);
  Outcome open();
  void describe(Target& t);
  Outcome keep_set();
  Outcome grace();
  Outcome smart_start();
  Outcome workers();
  bool monitor();  // false when stopped
  int report();
  int stopped();

  bool say(const std::string& line);
  void note_phases();
  void check_vanished();
  uint64_t done() const;
  Activity activity() const;
  void join();

  enum class Mode { kDry, kDestroy, kList };
  Mode mode_ = Mode::kDry;
  uint64_t pass_ = 1;
  uint64_t grace_s_ = 10;
  Settings cfg_;
  DevNodes nodes_;
  Targets targets_;
  bool sized_ = false;  // targets_ opened, total_ known
  uint64_t total_ = 0;
  std::vector<unsigned char> tmpl_;
  std::vector<std::thread> threads_;
  std::vector<int> reported_;  // per target: the phase its rate lines cover
  SmartWatch smart_{[this](const std::string& l) { return say(l); }};
};

}  // namespace diskburn
