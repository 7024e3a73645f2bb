// netburn: see report.h.

#include "report.h"

#include <linux/if_packet.h>
#include <sys/socket.h>

#include <cinttypes>

#include "toolframe/util.h"

namespace netburn {

using toolframe::fmt;

int64_t percent_of(uint64_t count, uint64_t sent) {
  if (sent == 0) sent = 1;
  return (static_cast<int64_t>(count) * 1000 + 5) / static_cast<int64_t>(sent) / 10;
}

int64_t pair_percent(const Snapshot& s, size_t i, size_t j) { return percent_of(s.from[j][i], s.sent[i][j]); }

std::string status_line(const std::vector<Port*>& ports, const Snapshot& s) {
  std::string line = fmt("@%" PRIu64, expected(s));
  for (size_t j = 0; j < ports.size(); ++j)
    line += fmt(" %s=%" PRIu64, ports[j]->label.c_str(), s.counts[j]);
  return line;
}

std::string result_line(const std::vector<Port*>& ports, const Snapshot& s, size_t j) {
  const Port& p = *ports[j];
  const uint64_t want = expected(s);
  std::string line = fmt("Port %s: received %" PRIu64 " of %" PRIu64 " frames (%" PRId64 "%%)",
                         p.name.c_str(), s.counts[j], want, percent_of(s.counts[j], want));
  std::vector<std::string> none, some;
  for (size_t i = 0; i < ports.size(); ++i) {
    const uint64_t got = s.from[j][i], sent = s.sent[i][j];
    if (sent == 0) continue;  // itself, or a port of another group
    if (got == 0) none.push_back(ports[i]->name);
    else if (got < sent) some.push_back(fmt("%" PRIu64 " from %s", sent - got, ports[i]->name.c_str()));
  }
  if (!none.empty()) line += "; none from " + join(none, ", ");
  if (!some.empty()) line += "; missing " + join(some, ", ");
  return line + ".";
}

std::string pair_line(const std::vector<Port*>& ports, const Snapshot& s, size_t i, size_t j) {
  return fmt("Pair %s to %s: received %" PRIu64 " of %" PRIu64 " frames (%" PRId64 "%%).",
             ports[i]->name.c_str(), ports[j]->name.c_str(), s.from[j][i], s.sent[i][j],
             pair_percent(s, i, j));
}

std::string corrupt_line(const std::vector<Port*>& ports, const Snapshot& s, size_t i, size_t j) {
  const uint64_t k = s.corrupt[j][i];
  return fmt("Pair %s to %s: %" PRIu64 " %s arrived corrupted (not as sent; not counted).",
             ports[i]->name.c_str(), ports[j]->name.c_str(), k, k == 1 ? "frame" : "frames");
}

static std::string names(const std::vector<Port*>& ports, const std::vector<size_t>& group) {
  std::vector<std::string> n;
  for (size_t p : group) n.push_back(ports[p]->name);
  return join(n, " ");
}

std::vector<std::string> group_lines(const std::vector<Port*>& ports, const Groups& g) {
  std::vector<std::string> lines;
  if (g.list().size() < 2) return lines;
  for (size_t k = 0; k < g.list().size(); ++k)
    lines.push_back(fmt("Group %zu: %s.", k + 1, names(ports, g.list()[k]).c_str()));
  return lines;
}

std::string groups_text(const std::vector<Port*>& ports, const Groups& g) {
  if (g.list().size() < 2) return "";
  std::vector<std::string> parts;
  for (const auto& group : g.list()) parts.push_back(names(ports, group));
  return fmt(" in %zu groups (%s)", g.list().size(), join(parts, "; ").c_str());
}

std::vector<std::string> port_notes(const Port& p) {
  std::vector<std::string> notes;
  const char* n = p.name.c_str();
  if (uint64_t k = p.repeated.load())
    notes.push_back(fmt("Port %s: %" PRIu64 " repeated frames, not counted (a looped or mirrored switch port?).", n, k));
  if (uint64_t k = p.strays.load())
    notes.push_back(fmt("Port %s: %" PRIu64 " frames meant for other ports reached it (flooded or mirrored by the switch).", n, k));
  if (uint64_t k = p.own.load())
    notes.push_back(fmt("Port %s: %" PRIu64 " of its own frames came back (a loop in the network?).", n, k));
  tpacket_stats st{};
  socklen_t len = sizeof st;
  if (::getsockopt(p.fd, SOL_PACKET, PACKET_STATISTICS, &st, &len) == 0 && st.tp_drops > 0)
    notes.push_back(fmt("Port %s: %u frames dropped by this host (receive ring full).", n, st.tp_drops));
  std::vector<std::string> grew;
  for (const auto& [k, v] : read_counters(p)) {
    auto it = p.stats_before.find(k);
    if (it != p.stats_before.end() && v > it->second)
      grew.push_back(fmt("%s +%" PRIu64, k.c_str(), v - it->second));
  }
  if (!grew.empty()) notes.push_back(fmt("Port %s: error counters grew: %s.", n, join(grew, ", ").c_str()));
  return notes;
}

std::string join(const std::vector<std::string>& parts, const char* separator) {
  std::string s;
  for (const auto& part : parts) s += (s.empty() ? "" : separator) + part;
  return s;
}

}  // namespace netburn
