// netburn: the lines that tell the reader how the ports are doing: status
// lines during the pass, and each port's result and notes at its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "burn.h"

namespace netburn {

// The percentage exactly as the reader of our status lines computes it.
int64_t percent_of(uint64_t count, uint64_t sent);

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

// "Group 1: eth0 eth1." for each group, when there is more than one.
std::vector<std::string> group_lines(const std::vector<Port*>& ports, const Groups& g);
// " in 2 groups (eth0 eth1; eth2 eth3)", or "" for one group.
std::string groups_text(const std::vector<Port*>& ports, const Groups& g);

// What else the pass found on the port: repeated, misdirected or returning
// frames, drops in this host, error counters that grew.
std::vector<std::string> port_notes(const Port& p);

std::string join(const std::vector<std::string>& parts, const char* separator);

}  // namespace netburn
