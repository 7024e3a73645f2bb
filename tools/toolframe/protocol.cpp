// toolframe: see protocol.h.

#include "toolframe/protocol.h"

#include <time.h>

#include <algorithm>
#include <cinttypes>
#include <ctime>

#include "toolframe/util.h"

namespace toolframe {

// ---- Both helpers

std::string pass_started(uint64_t pass) {
  time_t now = ::time(nullptr);
  struct tm tm{};
  ::gmtime_r(&now, &tm);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
  return fmt("Pass %" PRIu64 " started %s UTC.", pass, when);
}

std::string detail(const std::string& text) { return " " + text; }

std::string pass_complete(const std::string& what) { return "Pass complete: " + what + "."; }

std::string pass_failed(const std::string& why) { return "Pass failed: " + why + "."; }

// ---- netburn

int64_t percent_of(uint64_t count, uint64_t sent) {
  if (sent == 0) sent = 1;
  return (static_cast<int64_t>(count) * 1000 + 5) / static_cast<int64_t>(sent) / 10;
}

std::string net_status(uint64_t sent, const std::vector<PortCount>& ports) {
  std::string line = fmt("@%" PRIu64, sent);
  for (const auto& p : ports) line += fmt(" %s=%" PRIu64, p.label.c_str(), p.count);
  return line;
}

std::string port_received(const std::string& name, uint64_t got, uint64_t want, const std::vector<std::string>& none,
                          const std::vector<std::pair<std::string, uint64_t>>& missing) {
  std::string line = fmt("Port %s: received %" PRIu64 " of %" PRIu64 " frames (%" PRId64 "%%)", name.c_str(), got,
                         want, percent_of(got, want));
  std::vector<std::string> some;
  for (const auto& [from, k] : missing) some.push_back(fmt("%" PRIu64 " from %s", k, from.c_str()));
  if (!none.empty()) line += "; none from " + join(none, ", ");
  if (!some.empty()) line += "; missing " + join(some, ", ");
  return line + ".";
}

std::string pair_received(const std::string& from, const std::string& to, uint64_t got, uint64_t sent) {
  return fmt("Pair %s to %s: received %" PRIu64 " of %" PRIu64 " frames (%" PRId64 "%%).", from.c_str(), to.c_str(),
             got, sent, percent_of(got, sent));
}

std::string pair_corrupted(const std::string& from, const std::string& to, uint64_t frames) {
  return fmt("Pair %s to %s: %" PRIu64 " %s arrived corrupted (not as sent; not counted).", from.c_str(), to.c_str(),
             frames, frames == 1 ? "frame" : "frames");
}

std::string group_line(size_t number, const std::vector<std::string>& ports) {
  return fmt("Group %zu: %s.", number, join(ports, " ").c_str());
}

std::string port_repeats(const std::string& name, uint64_t frames) {
  return fmt("Port %s: %" PRIu64 " repeated frames, not counted (a looped or mirrored switch port?).", name.c_str(),
             frames);
}

std::string port_strays(const std::string& name, uint64_t frames) {
  return fmt("Port %s: %" PRIu64 " frames meant for other ports reached it (flooded or mirrored by the switch).",
             name.c_str(), frames);
}

std::string port_own_frames(const std::string& name, uint64_t frames) {
  return fmt("Port %s: %" PRIu64 " of its own frames came back (a loop in the network?).", name.c_str(), frames);
}

std::string port_drops(const std::string& name, unsigned frames) {
  return fmt("Port %s: %u frames dropped by this host (receive ring full).", name.c_str(), frames);
}

std::string port_counters_grew(const std::string& name, const std::vector<std::pair<std::string, uint64_t>>& grew) {
  std::vector<std::string> parts;
  for (const auto& [counter, by] : grew) parts.push_back(fmt("%s +%" PRIu64, counter.c_str(), by));
  return fmt("Port %s: error counters grew: %s.", name.c_str(), join(parts, ", ").c_str());
}

std::string net_complete(int64_t lowest, const std::vector<std::vector<std::string>>& groups, const NetTotals& t) {
  std::string ports = lowest >= 100 ? std::string("all ports 100%") : fmt("all ports %" PRId64 "%% or better", lowest);
  if (groups.size() > 1) {
    std::vector<std::string> parts;
    for (const auto& g : groups) parts.push_back(join(g, " "));
    ports += fmt(" in %zu groups (%s)", groups.size(), join(parts, "; ").c_str());
  }
  const double fps = static_cast<double>(t.frames_sent) / std::max(t.seconds, 1e-9);
  return fmt("Pass complete: %s; %" PRIu64 " frames sent, %" PRIu64 " received in %.1f s (%.0f frames/s, %.1f MB/s).",
             ports.c_str(), t.sent, t.received, t.seconds, fps, fps * static_cast<double>(t.frame_bytes) / 1e6);
}

std::string net_failed(const NetFailure& f) {
  std::vector<std::string> parts = f.causes;
  std::vector<std::string> low;
  for (const auto& [name, pct] : f.low) low.push_back(fmt("%s %" PRId64 "%%", name.c_str(), pct));
  if (!low.empty()) parts.push_back("below 90%: " + join(low, ", "));
  for (const auto& [pair, pct] : f.low_pairs)
    parts.push_back(fmt("%s to %s: %" PRId64 "%% received", pair.first.c_str(), pair.second.c_str(), pct));
  for (const auto& [pair, k] : f.corrupt)
    parts.push_back(fmt("%s to %s: %" PRIu64 " corrupted %s", pair.first.c_str(), pair.second.c_str(), k,
                        k == 1 ? "frame" : "frames"));
  return pass_failed(join(parts, "; "));
}

std::string net_stopped(double seconds, double pass_seconds, uint64_t sent, uint64_t received) {
  return fmt("Stopped after %.1f of %g s: %" PRIu64 " frames sent, %" PRIu64 " received.", seconds, pass_seconds,
             sent, received);
}

std::string net_stopped_early() { return "Stopped before the traffic started."; }

// ---- diskburn

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

std::string disk_line(const std::string& name, const std::string& model, const std::optional<std::string>& serial,
                      uint64_t bytes) {
  if (!serial) return fmt("Disk %s: %s, %s.", name.c_str(), model.c_str(), human(bytes).c_str());
  return fmt("Disk %s: %s, serial %s, %s.", name.c_str(), model.c_str(), serial->c_str(), human(bytes).c_str());
}

std::string disk_holds(const std::string& name, const std::string& what) {
  return "Disk " + name + " holds: " + (what.empty() ? "nothing recognised" : what) + ".";
}

std::string medium_warning(const std::string& text) { return "Medium warning: " + text; }

std::string writing_starts(uint64_t seconds) {
  return fmt("Writing starts in %" PRIu64 " s: stop the burn-in now to keep these disks.", seconds);
}

std::string disk_rate(const std::string& name, const char* verb, double seconds, uint64_t bytes) {
  return fmt(" %s: %s in %.1f s, %.1f MB/s.", name.c_str(), verb, seconds,
             static_cast<double>(bytes) / std::max(seconds, 1e-9) / 1e6);
}

std::string disk_progress(unsigned percent, double mb_per_s, unsigned writing, unsigned flushing,
                          unsigned verifying) {
  std::string what;
  auto add = [&](unsigned n, const char* doing) {
    if (!n) return;
    what += what.empty() ? fmt(": %u disk%s %s", n, n == 1 ? "" : "s", doing) : fmt(", %u %s", n, doing);
  };
  add(writing, "writing");
  add(flushing, "flushing");
  add(verifying, "verifying");
  return fmt("Pass %u%% done at %.0f MB/s%s.", percent, mb_per_s, what.c_str());
}

std::string disk_to_test(const std::string& name, uint64_t bytes, size_t unit) {
  return fmt(" %s: %s (%" PRIu64 " bytes) to test, direct I/O in %zu-byte units.", name.c_str(), human(bytes).c_str(),
             bytes, unit);
}

std::string disk_tail_untested(const std::string& name, uint64_t bytes) {
  return fmt(" %s: the last %" PRIu64 " bytes are not a whole block and are not tested.", name.c_str(), bytes);
}

std::string disk_pattern(uint64_t seed, size_t block_kib, unsigned depth) {
  return fmt(" Pattern seed %016" PRIx64 ", %zu KiB blocks, %u in flight per disk.", seed, block_kib, depth);
}

std::string disks_writing(size_t disks, uint64_t bytes) {
  return fmt("Writing and verifying %zu disk%s, %s in all.", disks, disks == 1 ? "" : "s", human(bytes).c_str());
}

std::string smart_reading(const std::string& name, const char* when, const std::string& counters) {
  return fmt(" %s: SMART at the %s of the pass: %s.", name.c_str(), when, counters.c_str());
}

std::string smart_failed(const std::string& name, const std::string& what) {
  return fmt("Disk %s: SMART %s.", name.c_str(), what.c_str());
}

std::string smart_unread(const std::string& name, const std::string& why) {
  return fmt("No SMART readings from %s (%s): its counters are not checked.", name.c_str(), why.c_str());
}

std::string disk_complete(size_t disks, uint64_t bytes) {
  return fmt("Pass complete: %zu disk%s (%s) written and verified without error.", disks, disks == 1 ? "" : "s",
             human(bytes).c_str());
}

std::string disk_stopped(uint64_t pass, unsigned percent, std::optional<uint64_t> amount) {
  const uint64_t completed = pass - 1;
  std::string passes = completed == 0   ? std::string("no pass completed")
                       : completed == 1 ? std::string("1 pass completed")
                                        : fmt("%" PRIu64 " passes completed", completed);
  std::string what;
  if (amount) what = *amount ? ", " + human(*amount) + " written and verified without error" : ", nothing verified yet";
  return fmt("Stopped in pass %" PRIu64 " at %u%%: %s%s.", pass, percent, passes.c_str(), what.c_str());
}

}  // namespace toolframe
