// netburn: the traffic of a pass.  One sender thread makes the ports take
// turns; in its turn a port sends unicast frames to each other port's own
// hardware address, one peer after the other, so a switch forwards them only
// between the test ports.  One receiver thread per port counts the distinct
// frames that reach it.  The sender publishes snapshots of whole rounds for
// the main thread to report.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "defs.h"
#include "ports.h"

namespace netburn {

struct Snapshot {
  uint64_t per_peer_sent = 0;  // frames each port sent each other port in finished rounds
  std::vector<uint64_t> counts;  // distinct frames each port received
  std::vector<std::vector<uint64_t>> from;  // [receiver][sender] distinct frames
  bool valid = false;
};

struct Plan {
  uint64_t run = 0;             // this run's id, in every frame
  size_t frame_bytes = 1514;
  Clock::duration length{};
  Clock::duration warmup{};     // longest wait for every port to hear every other
  uint64_t rate = 0;            // frames/s while a port sends; 0 = no limit
};

// Why a port failed, for the last line of the pass.
struct Failure {
  size_t port = 0;
  std::string message;  // its own line, "Port <name>: ..."
  std::string cause;    // "<name> lost its link" and the like
};

class Burn {
 public:
  Burn(std::vector<Port*> ports, const Plan& plan);

  void receiver(size_t j);
  void sender();

  // A stop asked for by the main thread or by a signal; the sender and the
  // receivers look at it between batches.
  void request_stop() { stop_.store(true); }
  void stop_receivers() { rx_stop_.store(true); }
  bool stopping() const;
  bool done() const { return done_.load(); }
  bool warmed_up() const { return warmed_up_.load(); }
  Snapshot snapshot();
  size_t frame_bytes() const { return plan_.frame_bytes; }
  bool failed();
  Failure failure();  // once done()

  uint64_t frames_sent = 0;      // read once done()
  double seconds_sending = 0;

 private:
  bool send_turn(size_t i, uint64_t turn, unsigned per_peer, uint16_t flags);
  bool pace(Clock::time_point due);
  void barrier(size_t sender, uint64_t turn, unsigned per_peer);
  void publish(uint64_t per_peer_sent);
  bool receivers_ok();
  void warm_up();
  void fail(size_t port, std::string message, std::string cause);
  void fail_io(size_t port, int err, const char* what);  // send or receive failed
  void count(Port& me, size_t j, const Payload& pl);

  std::vector<Port*> ports_;
  const size_t P_;
  const Plan plan_;
  std::vector<unsigned char> batch_;  // the sender's frames of one sendmmsg
  Clock::time_point next_due_{};      // when a paced sender may go on
  std::atomic<bool> stop_{false};
  std::atomic<bool> rx_stop_{false};
  std::atomic<bool> done_{false};
  std::atomic<bool> warmed_up_{false};
  std::mutex mu_;  // guards snap_ and failure_
  Snapshot snap_;
  Failure failure_;
  bool failed_ = false;
};

}  // namespace netburn
