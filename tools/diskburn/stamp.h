// diskburn: the pattern.  Every 512-byte sector starts with a stamp that
// binds its own byte offset to this pass's random seed and to the identity
// of the target it was written for; the rest is a pseudo-random fill from
// the seed.  So a write that landed in the wrong place, on another disk, or
// never landed (leaving an older pass's data) fails the compare and can be
// told apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "target.h"

namespace diskburn {

struct Stamp {
  uint64_t offset;
  uint64_t check;
};

// The identity of the index-th target: distinct for every index.
uint64_t target_ident(size_t index);

inline Stamp stamp_for(uint64_t offset, uint64_t seed, uint64_t ident) {
  return {offset, seed ^ ident ^ (offset * 0x9E3779B97F4A7C15ull)};
}

// The bytes of every sector after its stamp, repeating every kTemplate
// bytes of the disk; different for every pass.
std::vector<unsigned char> make_template(size_t n, uint64_t seed);

// Fills buf with what belongs at off..off+len of the target with this
// identity.  With whole_template, buf already holds the fill from offset 0.
void fill_block(unsigned char* buf, const unsigned char* tmpl, uint64_t off, size_t len, uint64_t seed,
                uint64_t ident, bool whole_template);

// True if got holds exactly what fill_block puts there.
bool block_ok(const unsigned char* got, const unsigned char* tmpl, uint64_t off, size_t len,
              uint64_t seed, uint64_t ident);

// For a block that is not right: the first wrong byte, how many sectors
// are wrong, and what the first wrong sector holds instead.
struct Mismatch {
  uint64_t first_bad = 0;
  size_t bad_sectors = 0;
  std::string what;
};
Mismatch describe_mismatch(const unsigned char* got, const unsigned char* tmpl, uint64_t off, size_t len,
                           const Settings& cfg, const std::string& self, uint64_t ident);

}  // namespace diskburn
