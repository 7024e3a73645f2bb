// netburn: see report.h.

#include "report.h"

#include <linux/if_packet.h>
#include <sys/socket.h>

#include "toolframe/protocol.h"

namespace netburn {

int64_t pair_percent(const Snapshot& s, size_t i, size_t j) {
  return toolframe::percent_of(s.from[j][i], s.sent[i][j]);
}

std::string status_line(const std::vector<Port*>& ports, const Snapshot& s) {
  std::vector<toolframe::PortCount> counts;
  for (size_t j = 0; j < ports.size(); ++j) counts.push_back({ports[j]->label, s.counts[j]});
  return toolframe::net_status(expected(s), counts);
}

std::string result_line(const std::vector<Port*>& ports, const Snapshot& s, size_t j) {
  std::vector<std::string> none;
  std::vector<std::pair<std::string, uint64_t>> missing;
  for (size_t i = 0; i < ports.size(); ++i) {
    const uint64_t got = s.from[j][i], sent = s.sent[i][j];
    if (sent == 0) continue;  // itself, or a port of another group
    if (got == 0) none.push_back(ports[i]->name);
    else if (got < sent) missing.emplace_back(ports[i]->name, sent - got);
  }
  return toolframe::port_received(ports[j]->name, s.counts[j], expected(s), none, missing);
}

std::string pair_line(const std::vector<Port*>& ports, const Snapshot& s, size_t i, size_t j) {
  return toolframe::pair_received(ports[i]->name, ports[j]->name, s.from[j][i], s.sent[i][j]);
}

std::string corrupt_line(const std::vector<Port*>& ports, const Snapshot& s, size_t i, size_t j) {
  return toolframe::pair_corrupted(ports[i]->name, ports[j]->name, s.corrupt[j][i]);
}

std::vector<std::vector<std::string>> group_names(const std::vector<Port*>& ports, const Groups& g) {
  std::vector<std::vector<std::string>> out;
  for (const auto& group : g.list()) {
    out.emplace_back();
    for (size_t p : group) out.back().push_back(ports[p]->name);
  }
  return out;
}

std::vector<std::string> group_lines(const std::vector<Port*>& ports, const Groups& g) {
  std::vector<std::string> lines;
  const auto names = group_names(ports, g);
  if (names.size() < 2) return lines;
  for (size_t k = 0; k < names.size(); ++k) lines.push_back(toolframe::group_line(k + 1, names[k]));
  return lines;
}

std::vector<std::string> port_notes(const Port& p) {
  std::vector<std::string> notes;
  if (uint64_t k = p.repeated.load()) notes.push_back(toolframe::port_repeats(p.name, k));
  if (uint64_t k = p.strays.load()) notes.push_back(toolframe::port_strays(p.name, k));
  if (uint64_t k = p.own.load()) notes.push_back(toolframe::port_own_frames(p.name, k));
  tpacket_stats st{};
  socklen_t len = sizeof st;
  if (::getsockopt(p.fd, SOL_PACKET, PACKET_STATISTICS, &st, &len) == 0 && st.tp_drops > 0)
    notes.push_back(toolframe::port_drops(p.name, st.tp_drops));
  std::vector<std::pair<std::string, uint64_t>> grew;
  for (const auto& [k, v] : read_counters(p)) {
    auto it = p.stats_before.find(k);
    if (it != p.stats_before.end() && v > it->second) grew.emplace_back(k, v - it->second);
  }
  if (!grew.empty()) notes.push_back(toolframe::port_counters_grew(p.name, grew));
  return notes;
}

}  // namespace netburn
