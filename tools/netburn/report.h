// netburn: its lines (toolframe/protocol.h) filled in from a snapshot of the
// pass: status lines during it, and each port's result and notes at its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "burn.h"

namespace netburn {

// Frames the other ports sent each port in the snapshot's rounds.
inline uint64_t expected(const Snapshot& s) { return s.per_port_sent; }

// What port j received of what port i sent it, as a percentage.
int64_t pair_percent(const Snapshot& s, size_t i, size_t j);

// "@<sent> <port>=<count> ..."
std::string status_line(const std::vector<Port*>& ports, const Snapshot& s);

// "Port <name>: received <N> of <M> frames (<P>%)" and whose frames were missing.
std::string result_line(const std::vector<Port*>& ports, const Snapshot& s, size_t j);

// "Pair <i> to <j>: received <N> of <M> frames (<P>%)."
std::string pair_line(const std::vector<Port*>& ports, const Snapshot& s, size_t i, size_t j);
// "Pair <i> to <j>: <K> frames arrived corrupted ..."
std::string corrupt_line(const std::vector<Port*>& ports, const Snapshot& s, size_t i, size_t j);

// The names of the ports of each group.
std::vector<std::vector<std::string>> group_names(const std::vector<Port*>& ports, const Groups& g);
// "Group 1: eth0 eth1." for each group, when there is more than one.
std::vector<std::string> group_lines(const std::vector<Port*>& ports, const Groups& g);

// What else the pass found on the port: repeated, misdirected or returning
// frames, drops in this host, error counters that grew.
std::vector<std::string> port_notes(const Port& p);

}  // namespace netburn
