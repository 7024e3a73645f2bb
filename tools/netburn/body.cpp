// netburn: see body.h.  A frame's body is this run's pattern with every
// word XORed with a key made from the header: building and checking cost a
// load, an XOR and a store or compare per 8 bytes.

#include "body.h"

#include <cstring>

namespace netburn {

namespace {

uint64_t mix(uint64_t x) {  // splitmix64's finaliser
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

}  // namespace

Body::Body(uint64_t run, size_t frame_bytes) : run_(run) {
  const size_t bytes = frame_bytes > kStart ? frame_bytes - kStart : 0;
  words_ = bytes / 8;
  tail_ = bytes % 8;
  base_.resize(words_ + 1);
  uint64_t s = run;
  for (uint64_t& w : base_) w = mix(s++);
}

uint64_t Body::key(const Payload& pl) const {
  uint64_t who = (uint64_t{pl.sender} << 48) | (uint64_t{pl.to} << 32) | pl.seq;
  return mix(mix(run_ ^ pl.turn) ^ who);
}

void Body::fill(unsigned char* frame, const Payload& pl) const {
  const uint64_t k = key(pl);
  unsigned char* p = frame + kStart;
  size_t i = 0;
  for (; i + 4 <= words_; i += 4)
    for (size_t l = 0; l < 4; ++l) {
      const uint64_t w = base_[i + l] ^ k;
      std::memcpy(p + 8 * (i + l), &w, 8);
    }
  for (; i < words_; ++i) {
    const uint64_t w = base_[i] ^ k;
    std::memcpy(p + 8 * i, &w, 8);
  }
  const uint64_t w = base_[words_] ^ k;
  std::memcpy(p + 8 * words_, &w, tail_);
}

bool Body::intact(const unsigned char* frame, const Payload& pl) const {
  const uint64_t k = key(pl);
  const unsigned char* p = frame + kStart;
  // Four words a step, each into its own sum, so that the compiler can keep
  // them in one vector register and the loads need not wait for each other.
  uint64_t diff[4] = {0, 0, 0, 0};
  size_t i = 0;
  for (; i + 4 <= words_; i += 4)
    for (size_t l = 0; l < 4; ++l) {
      uint64_t w;
      std::memcpy(&w, p + 8 * (i + l), 8);
      diff[l] |= w ^ base_[i + l] ^ k;
    }
  for (; i < words_; ++i) {
    uint64_t w;
    std::memcpy(&w, p + 8 * i, 8);
    diff[0] |= w ^ base_[i] ^ k;
  }
  const uint64_t w = base_[words_] ^ k;
  return (diff[0] | diff[1] | diff[2] | diff[3]) == 0 && std::memcmp(p + 8 * words_, &w, tail_) == 0;
}

}  // namespace netburn
