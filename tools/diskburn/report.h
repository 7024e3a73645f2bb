// diskburn: when its progress is told, and the disk line of a target (the
// wording of both is toolframe/protocol.h's).  Message lines show on the
// burn-in's DISK row, which has room for about 35 characters, so each puts
// its key fact first; detail lines only go to the log.  rundiags logs every
// line, so progress is reported at each tenth of a pass rather than by the
// clock, and never twice within kProgressGap: a long burn-in's log must
// still fit on a floppy, even when the disks are so small that a pass takes
// seconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "target.h"

namespace diskburn {

// The serial a disk is known by: its own, else its WWID; "" for a file.
std::string shown_serial(const Target& t);
// "Disk sda: ST4000NM0035, serial ZC1234AB, 4.0 TB."
std::string disk_line(const Target& t, uint64_t bytes);

// What the disks are doing, for a progress line.
struct Activity {
  unsigned writing = 0, flushing = 0, verifying = 0;
};

constexpr std::chrono::seconds kProgressGap{10};

class Progress {
 public:
  Progress(uint64_t total, Clock::time_point start, Clock::duration gap = kProgressGap)
      : total_(total), gap_(gap), last_at_(start) {}
  // "Pass 40% done at 850 MB/s: 2 disks writing." once the pass has
  // crossed another tenth since the last line, and the gap has passed;
  // nothing otherwise.
  std::optional<std::string> update(uint64_t done, const Activity& a, Clock::time_point now);
  // done as a whole percentage of the pass (writing and reading back).
  unsigned percent(uint64_t done) const;

 private:
  uint64_t total_;
  Clock::duration gap_;
  unsigned tenth_ = 0;
  uint64_t last_done_ = 0;
  Clock::time_point last_at_;
};

}  // namespace diskburn
