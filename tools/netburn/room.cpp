// netburn: see room.h.

#include "room.h"

#include <thread>

namespace netburn {

Room::Room(const std::vector<Port*>& ports) : ports_(ports), taken_(ports.size()), open_(ports.size()) {
  for (size_t j = 0; j < ports.size(); ++j) taken_[j] = ports[j]->taken.load(std::memory_order_relaxed);
}

// The receiver keeps up on average, but it shares the machine's cores with
// the sender and the kernel's work: more than half a ring ahead of it, the
// sender waits rather than have its ring overflow.  A receiver that takes
// nothing for kQuiet may be losing the frames (a dead link, a bad switch
// port): that is for the counts to show, so the turn goes on without waiting.
bool Room::wait(size_t j, uint64_t sent, const std::function<bool()>& stopping) {
  auto since = Clock::now();
  uint64_t seen = 0;
  for (;;) {
    if (stopping()) return false;
    if (open_[j]) return true;
    const uint64_t took = ports_[j]->taken.load(std::memory_order_relaxed) - taken_[j];
    if (sent < took + kRingFrames / 2) return true;
    const auto now = Clock::now();
    if (took != seen) seen = took, since = now;
    if (now - since >= kQuiet) open_[j] = true;
    std::this_thread::sleep_for(std::chrono::microseconds(20));
  }
}

}  // namespace netburn
