// netburn's count of distinct frames: a copy never counts twice, a late
// frame of the turn before still counts once, and anything older is a copy.

#include <gtest/gtest.h>

#include "defs.h"
#include "tally.h"

namespace netburn {
namespace {

TEST(NetburnTally, CountsEachFrameOnce) {
  Tally t(3);
  EXPECT_TRUE(t.first(1, 5, 0));
  EXPECT_TRUE(t.first(1, 5, 1));
  EXPECT_FALSE(t.first(1, 5, 0));
  EXPECT_TRUE(t.first(1, 5, kMaxTurn - 1));
  EXPECT_FALSE(t.first(1, 5, kMaxTurn - 1));
  EXPECT_TRUE(t.first(1, 5, 64));  // the next word of the bitmap
  EXPECT_FALSE(t.first(1, 5, 64));
}

TEST(NetburnTally, SendersAreApart) {
  Tally t(3);
  EXPECT_TRUE(t.first(0, 7, 3));
  EXPECT_TRUE(t.first(2, 7, 3));
  EXPECT_FALSE(t.first(0, 7, 3));
  EXPECT_FALSE(t.first(2, 7, 3));
}

TEST(NetburnTally, RemembersTheTurnBefore) {
  Tally t(2);
  EXPECT_TRUE(t.first(1, 2, 0));
  EXPECT_TRUE(t.first(1, 4, 0));   // a new turn: sequence numbers start over
  EXPECT_TRUE(t.first(1, 2, 1));   // late, never seen: counts
  EXPECT_FALSE(t.first(1, 2, 0));  // late copy
  EXPECT_FALSE(t.first(1, 4, 0));
}

TEST(NetburnTally, OlderTurnsAreCopies) {
  Tally t(2);
  EXPECT_TRUE(t.first(1, 2, 0));
  EXPECT_TRUE(t.first(1, 4, 0));
  EXPECT_TRUE(t.first(1, 6, 0));
  EXPECT_FALSE(t.first(1, 2, 5));  // two turns back: taken for a copy
  EXPECT_FALSE(t.first(1, 3, 5));  // between tracked turns, older than both
  EXPECT_TRUE(t.first(1, 4, 5));
  // A turn that comes back after newer ones does not reset what they saw.
  EXPECT_FALSE(t.first(1, 6, 0));
}

}  // namespace
}  // namespace netburn
