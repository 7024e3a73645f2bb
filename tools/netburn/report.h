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
uint64_t expected(const Snapshot& s, size_t ports);

// "@<sent> <port>=<count> ..."
std::string status_line(const std::vector<Port*>& ports, const Snapshot& s);

// "Port <name>: received <N> of <M> frames (<P>%)" and whose frames were missing.
std::string result_line(const std::vector<Port*>& ports, const Snapshot& s, size_t j);

// What else the pass found on the port: repeated, misdirected or returning
// frames, drops in this host, error counters that grew.
std::vector<std::string> port_notes(const Port& p);

std::string join(const std::vector<std::string>& parts, const char* separator);

}  // namespace netburn
