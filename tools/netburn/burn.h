// netburn: the traffic of a pass.  One sender thread makes the ports take
// turns; in its turn a port sends unicast frames to each other port of its
// group (see groups.h) at that port's own hardware address, one peer after
// the other, so a switch forwards them only between the test ports.  One
// receiver thread per port checks every byte of each frame that reaches it
// and counts the distinct intact ones per sender.  The sender publishes
// snapshots of whole rounds for the main thread to report: a round counts
// once every frame of it has left its sender's queues and has reached its
// receiver, or clearly never will.
#pragma once

#include <linux/if_packet.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "body.h"
#include "defs.h"
#include "groups.h"
#include "ports.h"
#include "room.h"

namespace netburn {

struct Snapshot {
  uint64_t per_port_sent = 0;  // frames sent each port in finished rounds (the same for all)
  std::vector<uint64_t> counts;  // distinct frames each port received
  std::vector<std::vector<uint64_t>> sent;     // [sender][receiver] frames sent
  std::vector<std::vector<uint64_t>> from;     // [receiver][sender] distinct intact frames
  std::vector<std::vector<uint64_t>> corrupt;  // [receiver][sender] frames that arrived damaged
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
  size_t port = SIZE_MAX;             // the port, if it is one port
  std::vector<std::string> messages;  // their own lines, "Port <name>: ..."
  std::vector<std::string> causes;    // "<name> lost its link" and the like
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
  const Groups& groups() const { return *groups_; }  // once warmed_up()
  Snapshot snapshot();
  size_t frame_bytes() const { return plan_.frame_bytes; }
  bool failed();
  Failure failure();  // once done()

  uint64_t frames_sent = 0;      // read once done()
  double seconds_sending = 0;

 private:
  using Shares = std::vector<uint64_t>;  // frames for each port in one turn
  bool send_turn(size_t i, uint64_t turn, const Shares& to, uint16_t flags);
  void build(unsigned char* fr, size_t i, size_t to, uint64_t turn, uint64_t seq, uint16_t flags);
  bool pace(Clock::time_point due);
  bool round(uint64_t& turn, uint64_t each, uint64_t number);
  void drain(size_t sender);
  void await_arrivals(size_t sender, uint64_t turn, const Shares& to, Clock::time_point began,
                      const Shares& before);
  void publish(uint64_t per_port_sent);
  bool receivers_ok();
  void warm_up();
  std::vector<std::vector<bool>> hearing();
  uint64_t next_each(uint64_t each, Clock::duration round_took) const;
  void fail(size_t port, std::string message, std::string cause);
  void fail(Failure f);
  void fail_io(size_t port, int err, const char* what);  // send or receive failed
  void take(Port& me, size_t j, const tpacket2_hdr& hdr, const unsigned char* frame);
  void count(Port& me, size_t j, const Payload& pl, bool whole);

  std::vector<Port*> ports_;
  const size_t P_;
  const Plan plan_;
  const Body body_;
  std::unique_ptr<Groups> groups_;     // set by the sender before warmed_up_
  std::vector<Shares> sent_;           // [sender][receiver] in finished rounds; the sender's
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
