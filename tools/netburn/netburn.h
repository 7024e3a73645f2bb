// netburn: declarations shared by the files of the netburn program.
//
// netburn.cpp  - the command line, the setup of the ports and the report;
// ports.cpp    - finding the Ethernet ports and preparing them;
// traffic.cpp  - the sender and receiver threads of a pass.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "toolio.h"

namespace netburn {

using toolio::emit;
using toolio::fmt;

// sysfs values with trailing newlines and blanks stripped.
inline std::optional<std::string> read_text(const std::string& path) {
  return toolio::read_text(path, toolio::Trim::kTrailing);
}

// Exit statuses; documented for the operator's manual.
enum ExitCode : int {
  kExitPass = 0,        // pass finished (or stopped by SIGTERM/SIGINT)
  kExitUsage = 1,       // bad arguments or a bad environment value
  kExitTooFewPorts = 2, // fewer than two Ethernet ports
  kExitPrivilege = 3,   // no permission for raw sockets or to raise a port
  kExitPortFailed = 4,  // a port could not be set up or failed during the pass
  kExitInternal = 5,    // out of memory, threads, and the like
};

constexpr uint16_t kEtherType = 0x88B5;  // IEEE 802 local experimental 1
constexpr uint32_t kMagic = 0x4e42524eu;
constexpr uint16_t kFlagWarmup = 1;
constexpr size_t kEthHeader = 14;
constexpr unsigned kBatch = 32;           // frames per sendmmsg
constexpr unsigned kMinTurn = 64;         // frames per port per round, bounds
constexpr unsigned kMaxTurn = 16384;
constexpr unsigned kRingFrames = 4 * kMaxTurn;  // receive ring slots per port
constexpr unsigned kRingSlot = 128;       // we only need the headers
constexpr auto kTurnTarget = std::chrono::milliseconds(20);
constexpr auto kQuiet = std::chrono::milliseconds(3);
constexpr auto kBarrierCap = std::chrono::milliseconds(2000);
constexpr auto kStatusPeriod = std::chrono::milliseconds(250);
constexpr double kDefaultPassSeconds = 60.0;
constexpr double kLinkWaitSeconds = 10.0;
constexpr double kWarmupSeconds = 30.0;  // a switch port running STP may
                                         // block a fresh link for ~30 s

#pragma pack(push, 1)
struct Payload {
  uint32_t magic;
  uint64_t run;
  uint16_t sender;
  uint16_t flags;
  uint32_t seq;    // index within the turn
  uint64_t turn;
};
#pragma pack(pop)
static_assert(sizeof(Payload) == 28);

using Clock = std::chrono::steady_clock;

struct Port {
  std::string name;     // kernel name
  std::string label;    // name as written in status lines
  int ifindex = 0;
  unsigned char mac[6] = {};
  int fd = -1;
  unsigned char* ring = nullptr;
  size_t ring_bytes = 0;
  bool raised = false;  // we brought it up
  std::map<std::string, uint64_t> stats_before;

  // Written by this port's receiver thread only.
  std::unique_ptr<std::atomic<uint64_t>[]> from;   // frames counted, per sender
  std::unique_ptr<std::atomic<uint8_t>[]> heard;   // warm-up frames seen, per sender
  std::atomic<uint64_t> mark{0};   // (turn << 20 | seq) + 1 of the newest frame
  std::atomic<size_t> next{0};     // ring slot the receiver looks at next
  std::atomic<uint64_t> self_frames{0};
  std::atomic<int> error{0};       // errno of a receive failure
};

// Devices of type Ethernet that are neither loopback nor a software
// construct built on top of real ports (bridges, bonds, VLANs...).  Software
// ports count as ports only when they are all there is (veth pairs in a test
// network namespace are fine: they have no DEVTYPE).
struct Scan {
  std::vector<std::string> ports;
  std::vector<std::pair<std::string, std::string>> skipped;
};

Scan scan_ports();
std::map<std::string, uint64_t> read_counters(const std::string& name);
bool parse_mac(const std::string& s, unsigned char out[6]);
std::string link_text(const std::string& name);
bool has_carrier(const std::string& name);
bool raise_port(Port& p, std::string& err, int& code);
bool open_port(Port& p, std::string& err, int& code);

struct Snapshot {
  uint64_t per_port_sent = 0;  // frames each port has sent in finished rounds
  std::vector<uint64_t> counts;
  bool valid = false;
};

class Burn {
 public:
  explicit Burn(std::vector<Port*> ports) : ports_(std::move(ports)), P_(ports_.size()) {}

  uint64_t run = 0;
  size_t frame_bytes = 1514;
  Clock::duration pass_length{};
  bool warmup = false;

  std::atomic<bool> stop{false};      // asked to end early (signal or failure)
  std::atomic<bool> rx_stop{false};
  std::atomic<bool> done{false};      // sender finished
  std::atomic<bool> warmup_done{false};
  std::string failure;                // set by the sender before done
  int failure_code = 0;
  uint64_t frames_sent_total = 0;
  double seconds_sending = 0;

  Snapshot snapshot() {
    std::lock_guard<std::mutex> g(snap_mu_);
    return snap_;
  }

  void receiver(size_t j);
  void sender();

 private:
  bool send_frames(size_t i, uint64_t turn, unsigned count, uint16_t flags);
  void barrier(size_t sender, uint64_t turn, unsigned count);
  void publish(uint64_t per_port_sent);
  void fail(const std::string& why, int code) {
    if (failure.empty()) {
      failure = why;
      failure_code = code;
    }
    stop.store(true);
  }

  std::vector<Port*> ports_;
  size_t P_;
  std::mutex snap_mu_;
  Snapshot snap_;
};

std::string status_line(const std::vector<Port*>& ports, const Snapshot& s);

}  // namespace netburn
