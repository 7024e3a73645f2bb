// netburn: see report.h.

#include "report.h"

#include <linux/if_packet.h>
#include <sys/socket.h>

#include <cinttypes>

#include "toolio.h"

namespace netburn {

using toolio::fmt;

int64_t percent_of(uint64_t count, uint64_t sent) {
  if (sent == 0) sent = 1;
  return (static_cast<int64_t>(count) * 1000 + 5) / static_cast<int64_t>(sent) / 10;
}

uint64_t expected(const Snapshot& s, size_t ports) { return s.per_peer_sent * (ports - 1); }

std::string status_line(const std::vector<Port*>& ports, const Snapshot& s) {
  std::string line = fmt("@%" PRIu64, expected(s, ports.size()));
  for (size_t j = 0; j < ports.size(); ++j)
    line += fmt(" %s=%" PRIu64, ports[j]->label.c_str(), s.counts[j]);
  return line;
}

std::string result_line(const std::vector<Port*>& ports, const Snapshot& s, size_t j) {
  const Port& p = *ports[j];
  const uint64_t want = expected(s, ports.size());
  std::string line = fmt("Port %s: received %" PRIu64 " of %" PRIu64 " frames (%" PRId64 "%%)",
                         p.name.c_str(), s.counts[j], want, percent_of(s.counts[j], want));
  std::vector<std::string> none, some;
  for (size_t i = 0; i < ports.size(); ++i) {
    if (i == j) continue;
    const uint64_t got = s.from[j][i];
    if (got == 0) none.push_back(ports[i]->name);
    else if (got < s.per_peer_sent)
      some.push_back(fmt("%" PRIu64 " from %s", s.per_peer_sent - got, ports[i]->name.c_str()));
  }
  if (!none.empty()) line += "; none from " + join(none, ", ");
  if (!some.empty()) line += "; missing " + join(some, ", ");
  return line + ".";
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
