// diskburn: see report.h.

#include "report.h"

#include <algorithm>

#include "toolframe/protocol.h"

namespace diskburn {

std::string shown_serial(const Target& t) {
  if (!t.is_block) return "";
  return t.serial != "unknown" || t.wwid.empty() ? t.serial : t.wwid;
}

std::string disk_line(const Target& t, uint64_t bytes) {
  return toolframe::disk_line(t.name, t.model, t.is_block ? std::optional<std::string>(shown_serial(t)) : std::nullopt,
                              bytes);
}

unsigned Progress::percent(uint64_t done) const {
  if (total_ == 0) return 0;
  return static_cast<unsigned>(std::min<uint64_t>(100, done / 2 * 100 / total_));
}

std::optional<std::string> Progress::update(uint64_t done, const Activity& a, Clock::time_point now) {
  unsigned pct = percent(done);
  if (pct / 10 <= tenth_ || pct >= 100 || now - last_at_ < gap_) return std::nullopt;
  tenth_ = pct / 10;
  double secs = std::chrono::duration<double>(now - last_at_).count();
  double rate = static_cast<double>(done - last_done_) / std::max(secs, 1e-3) / 1e6;
  last_done_ = done;
  last_at_ = now;
  return toolframe::disk_progress(pct, rate, a.writing, a.flushing, a.verifying);
}

}  // namespace diskburn
