// toolframe: every line netburn and diskburn write for rundiags and for the
// record, made in one place; the helpers send them with emit.h.  The reader
// tells the kinds apart by their first byte:
//   "@"        a status line (netburn): what each port received so far;
//   " "        a detail line: the log only;
//   otherwise  a message line: shown on the helper's row and logged.
// A pass ends with a verdict, one of its message lines: "Pass complete: ...",
// "Pass failed: ..." or "Stopped ...".  Functions are named for the line
// they make; a comment shows each one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace toolframe {

// ---- Both helpers

// "Pass 3 started 2026-12-07 16:53:12 UTC.", the time in UTC: every run's
// first line (netburn's a message line, diskburn's a detail line).
std::string pass_started(uint64_t pass);
// " <text>": a detail line.
std::string detail(const std::string& text);
// "Pass complete: <what>."
std::string pass_complete(const std::string& what);
// "Pass failed: <why>."
std::string pass_failed(const std::string& why);

// ---- netburn

// The percentage of count in sent, exactly as the reader computes it from
// a status line (rounded half up; sent 0 counts as 1).
int64_t percent_of(uint64_t count, uint64_t sent);

struct PortCount {
  std::string label;  // the port's name as a status line carries it
  uint64_t count;
};
// "@<sent> <label>=<count> ...": a status line.
std::string net_status(uint64_t sent, const std::vector<PortCount>& ports);

// "Port eth0: received N of M frames (P%); none from eth1; missing K from eth2."
std::string port_received(const std::string& name, uint64_t got, uint64_t want,
                          const std::vector<std::string>& none,
                          const std::vector<std::pair<std::string, uint64_t>>& missing);
// "Pair eth0 to eth1: received N of M frames (P%)."
std::string pair_received(const std::string& from, const std::string& to, uint64_t got, uint64_t sent);
// "Pair eth0 to eth1: K frames arrived corrupted (not as sent; not counted)."
std::string pair_corrupted(const std::string& from, const std::string& to, uint64_t frames);
// "Group 2: eth2 eth3 eth4."
std::string group_line(size_t number, const std::vector<std::string>& ports);
// The notes at a pass's end on what else reached a port.
std::string port_repeats(const std::string& name, uint64_t frames);
std::string port_strays(const std::string& name, uint64_t frames);
std::string port_own_frames(const std::string& name, uint64_t frames);
std::string port_drops(const std::string& name, unsigned frames);
std::string port_counters_grew(const std::string& name, const std::vector<std::pair<std::string, uint64_t>>& grew);

// What a good pass sent and received, for its verdict.
struct NetTotals {
  uint64_t sent = 0, received = 0;
  double seconds = 0;
  uint64_t frames_sent = 0;  // the rate counts every frame that left a port
  size_t frame_bytes = 0;
};
// "Pass complete: all ports 100% in 2 groups (eth0 eth1; eth2 eth3); S frames
// sent, R received in T s (F frames/s, B MB/s)."  groups: the ports of each
// group, named only when there is more than one.
std::string net_complete(int64_t lowest, const std::vector<std::vector<std::string>>& groups, const NetTotals& t);

// Why a pass failed, in the order the verdict names them.
struct NetFailure {
  std::vector<std::string> causes;                       // "eth0 lost its link" and the like
  std::vector<std::pair<std::string, int64_t>> low;      // ports below 90%
  std::vector<std::pair<std::pair<std::string, std::string>, int64_t>> low_pairs;  // from, to: percent
  std::vector<std::pair<std::pair<std::string, std::string>, uint64_t>> corrupt;   // from, to: frames
};
// "Pass failed: <cause>; below 90%: eth1 47%; eth0 to eth1: 47% received; ..."
std::string net_failed(const NetFailure& f);
// "Stopped after 12.5 of 60 s: S frames sent, R received."
std::string net_stopped(double seconds, double pass_seconds, uint64_t sent, uint64_t received);
// "Stopped before the traffic started."
std::string net_stopped_early();

// ---- diskburn

// 4.0 TB, 512.1 MB, 900 bytes.
std::string human(uint64_t bytes);
// "Disk sda: ST4000NM0035, serial ZC1234AB, 4.0 TB.", without the serial
// for a file.
std::string disk_line(const std::string& name, const std::string& model, const std::optional<std::string>& serial,
                      uint64_t bytes);
// "Disk sda holds: <what>.", what "" reading "nothing recognised".
std::string disk_holds(const std::string& name, const std::string& what);
// "Medium warning: <text>"
std::string medium_warning(const std::string& text);
// "Writing starts in 10 s: stop the burn-in now to keep these disks."
std::string writing_starts(uint64_t seconds);
// " sda: written in 412.0 s, 201.3 MB/s."
std::string disk_rate(const std::string& name, const char* verb, double seconds, uint64_t bytes);
// "Pass 40% done at 850 MB/s: 2 disks writing, 1 verifying." (a field
// only for what some disk is doing).
std::string disk_progress(unsigned percent, double mb_per_s, unsigned writing, unsigned flushing,
                          unsigned verifying);
// " sda: 4.0 TB (4000787030016 bytes) to test, direct I/O in 4096-byte units."
std::string disk_to_test(const std::string& name, uint64_t bytes, size_t unit);
// " sda: the last 512 bytes are not a whole block and are not tested."
std::string disk_tail_untested(const std::string& name, uint64_t bytes);
// " Pattern seed 0123456789abcdef, 4096 KiB blocks, 2 in flight per disk."
std::string disk_pattern(uint64_t seed, size_t block_kib, unsigned depth);
// "Writing and verifying 2 disks, 8.0 TB in all."
std::string disks_writing(size_t disks, uint64_t bytes);
// " sda: SMART at the start of the pass: <counters>."
std::string smart_reading(const std::string& name, const char* when, const std::string& counters);
// "Disk sda: SMART <what got worse>."
std::string smart_failed(const std::string& name, const std::string& what);
// "No SMART readings from sda (<why>): its counters are not checked."
std::string smart_unread(const std::string& name, const std::string& why);
// "Pass complete: 2 disks (8.0 TB) written and verified without error."
std::string disk_complete(size_t disks, uint64_t bytes);
// "Stopped in pass 3 at 41%: 2 passes completed, 1.2 TB written and
// verified without error."; amount is nothing when the size is unknown.
std::string disk_stopped(uint64_t pass, unsigned percent, std::optional<uint64_t> amount);

}  // namespace toolframe
