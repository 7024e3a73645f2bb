// diskburn: the disks' SMART counters around each pass.  A disk can write
// and read back every block while it reallocates sectors to do so; that
// disk must not pass.  So every target's counters are read with smartctl
// before the writing and again after the read-back, and a counter of
// defects that grew, an NVMe critical warning, or an NVMe spare below its
// threshold fails that target's pass (kExitSmart).  A target that gives no
// readings (no smartctl, no answer in time, a file or a loop device) is
// noted once per burn-in, never failed: the names already noted are kept
// in the file "smart-noted" of the state directory.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "smartread.h"
#include "targets.h"

namespace diskburn {

class SmartWatch {
 public:
  using Say = std::function<bool(const std::string&)>;
  explicit SmartWatch(Say say) : say_(std::move(say)) {}

  // Reads every target's counters before the writing.  False on a stop.
  bool start(const Targets& targets);
  // Reads them again after the pass and fails each target whose disk got
  // worse.  False on a stop.
  bool finish(Targets& targets);

 private:
  using Readings = std::vector<std::optional<SmartReading>>;
  bool read(const Targets& targets, const char* when, Readings& out);
  void note(const Target& t, const std::string& why);

  Say say_;
  Readings start_;
};

}  // namespace diskburn
