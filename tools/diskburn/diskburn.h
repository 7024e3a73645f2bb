// diskburn: destructive write-and-verify burn-in of every whole disk.
//
// One run is one pass, as a list of steps: settings, targets, open,
// workers, monitor, report.  A stop signal (SIGTERM, SIGINT, SIGHUP) ends
// it between any two steps or within one, writing nothing new, with a line
// that says how far the burn-in got.
//
// Files: target.h (what a target is), targets.* (the choice), classify.*,
// inuse.*, topology.*, mounts.*, labels.*, describe.*, nodes.*, sysroot.*
// (what the machine has and what must be left alone), access.* (opening),
// pass.* and stamp.* (the pass and its pattern), smart*.* and jsonscan.*
// (the SMART counters around it), report.* (the lines).
#pragma once

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "nodes.h"
#include "report.h"
#include "smart.h"
#include "target.h"
#include "targets.h"

namespace diskburn {

class Burn {
 public:
  int run(int argc, char** argv);

 private:
  std::optional<int> settings(int argc, char** argv);
  std::optional<int> targets();
  std::optional<int> open();
  std::optional<int> smart_start();
  std::optional<int> workers();
  bool monitor();  // false when stopped
  int report();
  int stopped();

  bool say(const std::string& line);
  void note_phases();
  void check_vanished();
  uint64_t done() const;
  Activity activity() const;
  void join();

  bool destroy_ = false;
  uint64_t pass_ = 1;
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
