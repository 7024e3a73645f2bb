// diskburn: the wording of its lines.  Message lines (no leading blank)
// show on the burn-in's DISK row, which has room for about 35 characters,
// so each puts its key fact first; detail lines (one leading blank) only go
// to the log.  rundiags logs every line, so progress is reported at each
// tenth of a pass rather than by the clock, and never twice within
// kProgressGap: a long burn-in's log must still fit on a floppy, even when
// the disks are so small that a pass takes seconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "target.h"

namespace diskburn {

// 4.0 TB, 512.1 MB, 900 bytes.
std::string human(uint64_t bytes);
// " sda: written in 412.0 s, 201.3 MB/s."
std::string rate_line(const std::string& name, const char* verb, double seconds, uint64_t bytes);
// "Disk sda: ST4000NM0035, serial ZC1234AB, 4.0 TB."
std::string disk_line(const Target& t, uint64_t bytes);
// "Stopped in pass 3 at 41%: 2 passes completed, 1.2 TB written and
// verified without error."; amount is nothing when the size is unknown.
std::string stop_line(int pass, unsigned percent, std::optional<uint64_t> amount);

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
