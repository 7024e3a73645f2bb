// netburn: the body of a test frame, the bytes after its header.  It is a
// function of the run and of the header (sender, receiver, turn, sequence
// number), so a receiver regenerates it and compares every byte: a frame
// damaged on its way is caught, not counted.  The bytes vary from frame to
// frame and along the frame, so they exercise the data path like real
// traffic, and a frame's body put behind another's header does not match.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "defs.h"

namespace netburn {

class Body {
 public:
  Body(uint64_t run, size_t frame_bytes);

  void fill(unsigned char* frame, const Payload& pl) const;
  bool intact(const unsigned char* frame, const Payload& pl) const;

  static constexpr size_t kStart = kEthHeader + sizeof(Payload);

 private:
  uint64_t key(const Payload& pl) const;

  uint64_t run_;
  size_t words_ = 0, tail_ = 0;  // whole 8-byte words, then bytes left over
  std::vector<uint64_t> base_;   // this run's pattern, one word more for the tail
};

}  // namespace netburn
