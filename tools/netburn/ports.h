// netburn: the machine's Ethernet ports: finding them, preparing them for a
// pass (raising them, opening their raw sockets and receive rings), and the
// facts about them that go into the report.  What a port must have to take
// part (its index, type, flags, hardware address, MTU) comes from the
// kernel's interface calls; sysfs only adds facts, and any of them may be
// missing or odd.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "defs.h"
#include "tally.h"

namespace netburn {

struct Port {
  std::string name;     // kernel name
  std::string label;    // name as written in status lines
  size_t number = 0;    // index among the tested ports
  int ifindex = 0;
  unsigned char mac[6] = {};
  size_t mtu = 1500;
  int fd = -1;
  unsigned char* ring = nullptr;
  bool raised = false;  // we brought it up
  std::map<std::string, uint64_t> stats_before;
  std::optional<uint64_t> downs_before;  // link-down count when the pass began

  // Written by this port's receiver thread only.
  std::unique_ptr<Tally> tally;
  std::unique_ptr<std::atomic<uint64_t>[]> from;   // distinct frames, per sender
  std::unique_ptr<std::atomic<uint8_t>[]> heard;   // warm-up frames seen, per sender
  std::unique_ptr<std::atomic<uint64_t>[]> corrupt;  // frames whose bytes differ, per sender
  std::atomic<uint64_t> repeated{0};  // frames it had already counted
  std::atomic<uint64_t> strays{0};    // frames meant for another port
  std::atomic<uint64_t> own{0};       // its own frames, come back
  std::atomic<uint64_t> mark{0};      // (turn << kSeqBits | seq) + 1 of the newest frame
  std::atomic<size_t> next{0};        // ring slot the receiver looks at next
  std::atomic<uint64_t> taken{0};     // ring slots the receiver has handed back
  std::atomic<int> error{0};          // errno of a receive failure
};

// Devices of type Ethernet that are neither loopback nor a software
// construct built on top of real ports (bridges, bonds, VLANs...).  Software
// ports count as ports only when they are all there is (veth pairs in a test
// network namespace are fine: they have no DEVTYPE).
struct Scan {
  std::vector<std::string> ports;
  std::vector<std::pair<std::string, std::string>> skipped;  // name, reason
};
Scan scan_ports();

// Fills in index, hardware address and MTU; false with a message line if
// the port has gone or is not Ethernet after all.
bool identify_port(Port& p, std::string& err);
// Brings the port up if it is down.
bool raise_port(Port& p, std::string& err, int& code);
// Opens the port's raw socket and receive ring, in promiscuous mode for as
// long as the socket lives, so frames a hub floods to it are seen even on
// ports that filter by address.
bool open_port(Port& p, std::string& err, int& code);
// Slot idx of the port's receive ring (slots do not cross blocks).
inline unsigned char* ring_slot(const Port& p, size_t idx) {
  return p.ring + (idx / kSlotsPerBlock) * kRingBlock + (idx % kSlotsPerBlock) * kRingSlot;
}

bool has_carrier(const Port& p);
// How often the link went down since boot, if the kernel says.
std::optional<uint64_t> link_downs(const Port& p);
// "link up, 1000 Mb/s, full duplex" and the like.
std::string link_text(const Port& p);
std::map<std::string, uint64_t> read_counters(const Port& p);

}  // namespace netburn
