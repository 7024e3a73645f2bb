// netburn: tells a receiving port's new frames from repeated ones.  A frame
// is (sender, turn, sequence); a mirrored or looped switch port delivers
// some twice, and those must never raise a percentage.
//
// A sender's turns reach a port in order, and a turn's frames arrive before
// that sender's next turn begins, so the tally remembers the sequence
// numbers of each sender's last two turns; a frame of an older turn can only
// be a late copy.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace netburn {

class Tally {
 public:
  explicit Tally(size_t senders);

  // True the first time (sender, turn, seq) is seen; seq < kMaxTurn.
  bool first(size_t sender, uint64_t turn, uint32_t seq);

 private:
  struct Turn {
    uint64_t turn = UINT64_MAX;  // none yet
    std::vector<uint64_t> seen;  // one bit per sequence number
  };
  static bool mark(Turn& t, uint32_t seq);

  std::vector<std::array<Turn, 2>> turns_;  // per sender: newest, the one before
};

}  // namespace netburn
