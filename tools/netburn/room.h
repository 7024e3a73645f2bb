// netburn: how far a sender may run ahead of each receiver in its turn.
// The receivers keep up on average, but they share the machine's cores with
// the sender and the kernel: a receiver descheduled for a moment must not
// have its ring overflow, which would read as frames lost on the network.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "ports.h"

namespace netburn {

class Room {
 public:
  explicit Room(const std::vector<Port*>& ports);
  // Returns once port j has room for more after `sent` frames this turn;
  // false on a stop.
  bool wait(size_t j, uint64_t sent, const std::function<bool()>& stopping);

 private:
  const std::vector<Port*>& ports_;
  std::vector<uint64_t> taken_;  // each receiver's count when the turn began
  std::vector<bool> open_;       // receivers that stopped taking: no more waits
};

}  // namespace netburn
