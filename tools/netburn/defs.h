// netburn: the exit statuses, the frame format and the limits that all of
// netburn's files share.
//
// netburn.cpp  - the steps of a run: settings, ports, open, workers,
//                monitor, report;
// settings.cpp - the environment it reads;
// sysfs.cpp    - the ports' sysfs attributes, read with toolframe's reader;
// ports.cpp    - finding the Ethernet ports and preparing them;
// groups.cpp   - which ports hear each other, and how much each sends each;
// body.cpp     - the bytes of a frame after its header, made and checked;
// tally.cpp    - counting each distinct frame once;
// traffic.cpp  - the sender and receiver threads of a pass;
// room.cpp     - how far a sender may run ahead of a receiver;
// report.cpp   - status lines and the lines at the end of a pass.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace netburn {

// Exit statuses; documented for the operator's manual.
enum ExitCode : int {
  kExitPass = 0,        // pass finished with every port good, or stopped
  kExitUsage = 1,       // bad arguments or a bad environment value
  kExitTooFewPorts = 2, // fewer than two Ethernet ports
  kExitPrivilege = 3,   // no permission for raw sockets or to raise a port
  kExitPortFailed = 4,  // a port failed: set-up, link, or below 90 percent
  kExitInternal = 5,    // out of memory, threads, and the like
};

// The reader marks a port BAD at this percentage or less; a pass that shows
// it fails, so that the screen and the verdict agree.
constexpr int64_t kBadPercent = 89;
// A pair is judged during the pass only once its sender has sent it this
// many frames: with fewer, two frames lost to a loss the pass tolerates
// (1 in 16 reads 94%) already read below 90.  The pass's end judges every
// pair on all it got.
constexpr uint64_t kPairSample = 50;
// Repeated frames beyond this share of what a port counted fail it: a
// mirrored or looped switch port repeats every frame it touches, where a
// switch that relearns an address repeats a handful.
constexpr uint64_t kRepeatPercent = 1;

constexpr uint16_t kEtherType = 0x88B5;  // IEEE 802 local experimental 1
constexpr uint32_t kMagic = 0x4e42524eu;
constexpr uint16_t kFlagWarmup = 1;
constexpr size_t kEthHeader = 14;
constexpr unsigned kBatch = 32;           // frames per sendmmsg
constexpr unsigned kStartTurn = 64;       // frames per peer in a first turn
constexpr unsigned kMaxTurn = 16384;      // frames per peer in a turn, at most
constexpr unsigned kSeqBits = 20;         // a mark is (turn << kSeqBits | seq) + 1
// The receive ring keeps whole frames, so every byte can be checked: 64
// blocks of 128 KiB (8 MiB per port), 81 slots of 1600 bytes in each
// (a full-size frame lands 66 bytes into its slot).
constexpr unsigned kRingSlot = 1600;
constexpr unsigned kRingBlock = 128 << 10;
constexpr unsigned kRingBlocks = 64;
constexpr unsigned kSlotsPerBlock = kRingBlock / kRingSlot;
constexpr unsigned kRingFrames = kSlotsPerBlock * kRingBlocks;
constexpr auto kTurnTarget = std::chrono::milliseconds(20);
constexpr auto kQuiet = std::chrono::milliseconds(3);        // the least wait after a receiver's last frame
constexpr auto kBarrierCap = std::chrono::milliseconds(2000);  // for a queue to drain, a dead receiver
constexpr auto kSettle = std::chrono::milliseconds(300);       // warm-up: hearing unchanged this long
constexpr auto kStatusPeriod = std::chrono::milliseconds(250);
constexpr auto kStuckLimit = std::chrono::seconds(5);
constexpr double kDefaultPassSeconds = 60.0;
constexpr double kLinkWaitSeconds = 10.0;
constexpr double kWarmupSeconds = 30.0;     // after raising a port: a switch
                                            // port under STP may block ~30 s
constexpr double kLearnSeconds = 1.0;       // ports that were up already

// The payload that starts every test frame.  seq stays at offset 16: the
// tests' traffic filters find it there.
#pragma pack(push, 1)
struct Payload {
  uint32_t magic;
  uint64_t run;
  uint16_t sender;
  uint16_t flags;
  uint32_t seq;    // index among the frames this sender sent this receiver in the turn
  uint64_t turn;
  uint16_t to;     // the receiving port's number
};
#pragma pack(pop)
static_assert(sizeof(Payload) == 30);

using Clock = std::chrono::steady_clock;

inline Clock::duration seconds(double s) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

}  // namespace netburn
