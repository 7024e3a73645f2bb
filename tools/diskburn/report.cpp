// diskburn: see report.h.

#include "report.h"

#include <algorithm>
#include <cinttypes>

namespace diskburn {

std::string human(uint64_t bytes) {
  const char* unit[] = {"bytes", "kB", "MB", "GB", "TB", "PB", "EB"};
  double v = static_cast<double>(bytes);
  int u = 0;
  while (v >= 1000 && u < 6) {
    v /= 1000;
    ++u;
  }
  return u == 0 ? fmt("%" PRIu64 " bytes", bytes) : fmt("%.1f %s", v, unit[u]);
}

std::string rate_line(const std::string& name, const char* verb, double seconds, uint64_t bytes) {
  return fmt(" %s: %s in %.1f s, %.1f MB/s.", name.c_str(), verb, seconds,
             static_cast<double>(bytes) / std::max(seconds, 1e-9) / 1e6);
}

std::string disk_line(const Target& t, uint64_t bytes) {
  if (!t.is_block) return fmt("Disk %s: %s, %s.", t.name.c_str(), t.model.c_str(), human(bytes).c_str());
  const std::string& serial = t.serial != "unknown" || t.wwid.empty() ? t.serial : t.wwid;
  return fmt("Disk %s: %s, serial %s, %s.", t.name.c_str(), t.model.c_str(), serial.c_str(),
             human(bytes).c_str());
}

std::string stop_line(int pass, unsigned percent, std::optional<uint64_t> amount) {
  int completed = pass - 1;
  std::string passes = completed == 0   ? std::string("no pass completed")
                       : completed == 1 ? std::string("1 pass completed")
                                        : fmt("%d passes completed", completed);
  std::string what;
  if (amount) what = *amount ? ", " + human(*amount) + " written and verified without error" : ", nothing verified yet";
  return fmt("Stopped in pass %d at %u%%: %s%s.", pass, percent, passes.c_str(), what.c_str());
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
  std::string what;
  auto add = [&](unsigned n, const char* doing) {
    if (!n) return;
    what += what.empty() ? fmt(": %u disk%s %s", n, n == 1 ? "" : "s", doing) : fmt(", %u %s", n, doing);
  };
  add(a.writing, "writing");
  add(a.flushing, "flushing");
  add(a.verifying, "verifying");
  return fmt("Pass %u%% done at %.0f MB/s%s.", pct, rate, what.c_str());
}

}  // namespace diskburn
