// netburn: see tally.h.

#include "tally.h"

#include <algorithm>
#include <utility>

#include "defs.h"

namespace netburn {

Tally::Tally(size_t senders) : turns_(senders) {
  for (auto& pair : turns_)
    for (Turn& t : pair) t.seen.assign(kMaxTurn / 64, 0);
}

bool Tally::mark(Turn& t, uint32_t seq) {
  uint64_t& word = t.seen[seq / 64];
  const uint64_t bit = uint64_t{1} << (seq % 64);
  if (word & bit) return false;
  word |= bit;
  return true;
}

bool Tally::first(size_t sender, uint64_t turn, uint32_t seq) {
  auto& [newest, before] = turns_[sender];
  if (turn == newest.turn) return mark(newest, seq);
  if (turn == before.turn) return mark(before, seq);
  if (newest.turn != UINT64_MAX && turn < newest.turn) return false;  // older still
  std::swap(newest, before);
  newest.turn = turn;
  std::fill(newest.seen.begin(), newest.seen.end(), 0);
  return mark(newest, seq);
}

}  // namespace netburn
