// netburn's count of distinct frames: a copy never counts twice, a late
// frame of the turn before still counts once, and anything older is a copy.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "defs.h"
#include "tally.h"

namespace netburn {
namespace {

struct Frame {
  size_t sender;
  uint64_t turn;
  uint32_t seq;
  bool counts;  // what Tally::first must say
};

// Feeds the frames in order to a tally of three senders.
void play(const std::vector<Frame>& frames) {
  Tally t(3);
  for (size_t k = 0; k < frames.size(); ++k) {
    const Frame& f = frames[k];
    EXPECT_EQ(t.first(f.sender, f.turn, f.seq), f.counts)
        << "frame " << k << ": sender " << f.sender << ", turn " << f.turn << ", seq " << f.seq;
  }
}

TEST(NetburnTally, CountsEachFrameOnce) {
  play({{1, 5, 0, true}, {1, 5, 1, true}, {1, 5, 0, false},
        {1, 5, kMaxTurn - 1, true}, {1, 5, kMaxTurn - 1, false},
        {1, 5, 64, true}, {1, 5, 64, false}});  // 64: the bitmap's next word
}

TEST(NetburnTally, SendersAreApart) {
  play({{0, 7, 3, true}, {2, 7, 3, true}, {0, 7, 3, false}, {2, 7, 3, false}});
}

TEST(NetburnTally, RemembersTheTurnBefore) {
  play({{1, 2, 0, true},
        {1, 4, 0, true},    // a new turn: sequence numbers start over
        {1, 2, 1, true},    // late, never seen: counts
        {1, 2, 0, false},   // late copy
        {1, 4, 0, false}});
}

TEST(NetburnTally, OlderTurnsAreCopies) {
  play({{1, 2, 0, true}, {1, 4, 0, true}, {1, 6, 0, true},
        {1, 2, 5, false},   // two turns back: taken for a copy
        {1, 3, 5, false},   // between tracked turns, older than both
        {1, 4, 5, true},
        {1, 6, 0, false}}); // an older turn did not reset the newer ones
}

}  // namespace
}  // namespace netburn
