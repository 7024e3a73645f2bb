// netburn: see burn.h.

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <linux/sockios.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <thread>

#include "burn.h"
#include "toolframe/stopsignal.h"
#include "toolframe/util.h"

namespace netburn {

using toolframe::fmt;

Burn::Burn(std::vector<Port*> ports, const Plan& plan)
    : ports_(std::move(ports)), P_(ports_.size()), plan_(plan), body_(plan.run, plan.frame_bytes),
      sent_(P_, Shares(P_, 0)), batch_(static_cast<size_t>(kBatch) * plan.frame_bytes) {}

bool Burn::stopping() const {
  return stop_.load(std::memory_order_relaxed) || toolframe::g_signalled.load(std::memory_order_relaxed);
}

void Burn::fail(size_t port, std::string message, std::string cause) {
  fail(Failure{port, {std::move(message)}, {std::move(cause)}});
}

void Burn::fail(Failure f) {
  {
    std::lock_guard<std::mutex> g(mu_);
    if (!failed_) failure_ = std::move(f);
    failed_ = true;
  }
  stop_.store(true);
}

void Burn::fail_io(size_t port, int err, const char* what) {
  const std::string& name = ports_[port]->name;
  if (err == ENETDOWN)
    fail(port, fmt("Port %s: link lost; the port went down.", name.c_str()), name + " lost its link");
  else
    fail(port, fmt("Port %s: cannot %s (%s).", name.c_str(), what, std::strerror(err)),
         name + " cannot " + what);
}

bool Burn::failed() {
  std::lock_guard<std::mutex> g(mu_);
  return failed_;
}

Failure Burn::failure() {
  std::lock_guard<std::mutex> g(mu_);
  return failure_;
}

Snapshot Burn::snapshot() {
  std::lock_guard<std::mutex> g(mu_);
  return snap_;
}

// A frame of this run: counted once if it is whole and intact and meant for
// this port; otherwise noted for what it tells about the network.
void Burn::count(Port& me, size_t j, const Payload& pl, bool whole) {
  const bool warmup = pl.flags & kFlagWarmup;
  if (pl.sender == j) {
    if (!warmup) me.own.fetch_add(1, std::memory_order_relaxed);
  } else if (pl.to != j) {
    if (!warmup) me.strays.fetch_add(1, std::memory_order_relaxed);
  } else if (warmup) {
    me.heard[pl.sender].store(1, std::memory_order_relaxed);
  } else if (!whole) {
    me.corrupt[pl.sender].fetch_add(1, std::memory_order_relaxed);
  } else if (pl.seq < kMaxTurn) {
    if (!me.tally->first(pl.sender, pl.turn, pl.seq)) {
      me.repeated.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    me.from[pl.sender].fetch_add(1, std::memory_order_relaxed);
    const uint64_t m = ((pl.turn << kSeqBits) | pl.seq) + 1;
    if (m > me.mark.load(std::memory_order_relaxed)) me.mark.store(m, std::memory_order_release);
  }
}

void Burn::take(Port& me, size_t j, const tpacket2_hdr& hdr, const unsigned char* frame) {
  if (hdr.tp_snaplen < kEthHeader + sizeof(Payload) ||
      hdr.tp_mac + size_t{hdr.tp_snaplen} > kRingSlot)
    return;
  Payload pl;
  std::memcpy(&pl, frame + kEthHeader, sizeof pl);
  uint16_t type;
  std::memcpy(&type, frame + 12, 2);
  if (ntohs(type) != kEtherType || pl.magic != kMagic || pl.run != plan_.run || pl.sender >= P_ ||
      pl.to >= P_)
    return;
  // Cut short, padded or changed on the way: it arrived, but not as sent.
  const bool whole = hdr.tp_len == plan_.frame_bytes && hdr.tp_snaplen == hdr.tp_len &&
                     ((pl.flags & kFlagWarmup) || body_.intact(frame, pl));
  count(me, j, pl, whole);
}

void Burn::receiver(size_t j) {
  Port& me = *ports_[j];
  size_t idx = 0;
  while (!rx_stop_.load(std::memory_order_relaxed)) {
    unsigned char* slot = ring_slot(me, idx);
    auto* hdr = reinterpret_cast<tpacket2_hdr*>(slot);
    uint32_t status = __atomic_load_n(&hdr->tp_status, __ATOMIC_ACQUIRE);
    if (!(status & TP_STATUS_USER)) {
      pollfd pfd{me.fd, POLLIN, 0};
      int r = ::poll(&pfd, 1, 20);
      if (r > 0 && (pfd.revents & POLLERR)) {
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(me.fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err) me.error.store(err);
      }
      continue;
    }
    take(me, j, *hdr, slot + hdr->tp_mac);
    __atomic_store_n(&hdr->tp_status, TP_STATUS_KERNEL, __ATOMIC_RELEASE);
    me.taken.store(me.taken.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    idx = (idx + 1) % kRingFrames;
    me.next.store(idx, std::memory_order_release);
  }
}

// Sleeps until due unless a stop comes first; false on a stop.
bool Burn::pace(Clock::time_point due) {
  for (;;) {
    if (stopping()) return false;
    auto now = Clock::now();
    if (now >= due) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(due - now, std::chrono::milliseconds(50)));
  }
}

void Burn::build(unsigned char* fr, size_t i, size_t to, uint64_t turn, uint64_t seq, uint16_t flags) {
  static const uint16_t type = htons(kEtherType);
  std::memcpy(fr, ports_[to]->mac, 6);
  std::memcpy(fr + 6, ports_[i]->mac, 6);
  std::memcpy(fr + 12, &type, 2);
  const Payload pl{kMagic, plan_.run, static_cast<uint16_t>(i), flags, static_cast<uint32_t>(seq),
                   turn, static_cast<uint16_t>(to)};
  std::memcpy(fr + kEthHeader, &pl, sizeof pl);
  body_.fill(fr, pl);
}

// One port's turn: a burst of to[j] frames to each other port j in turn,
// so that each receiver, like the sender, takes frames as fast as the link
// carries them (spread over the peers, no receiver would ever see more than
// a share of the sender's rate).
bool Burn::send_turn(size_t i, uint64_t turn, const Shares& to, uint16_t flags) {
  Port& p = *ports_[i];
  const size_t fb = plan_.frame_bytes;
  // Paced, a batch is what a millisecond allows, so no burst outruns the rate.
  const uint64_t chunk = plan_.rate ? std::clamp<uint64_t>(plan_.rate / 1000, 1, kBatch) : kBatch;
  auto progress = Clock::now();
  mmsghdr msgs[kBatch];
  iovec iov[kBatch];
  size_t peer = 0;    // the receiver of the next frame not yet taken by the kernel
  size_t seq = 0;     // and its index among that receiver's frames
  Room room(ports_);
  for (;;) {
    while (peer < P_ && seq >= to[peer]) peer++, seq = 0;
    if (peer == P_) return true;
    if (!room.wait(peer, seq, [this] { return stopping(); })) return false;
    if (plan_.rate) {
      if (!pace(next_due_)) return false;
      progress = Clock::now();
    }
    unsigned n = 0;
    for (size_t q = peer, s = seq; n < chunk; ++n, ++s) {
      while (q < P_ && s >= to[q]) ++q, s = 0;
      if (q == P_) break;
      build(&batch_[n * fb], i, q, turn, s, flags);
      iov[n] = {&batch_[n * fb], fb};
      msgs[n] = {};
      msgs[n].msg_hdr.msg_iov = &iov[n];
      msgs[n].msg_hdr.msg_iovlen = 1;
    }
    int r = ::sendmmsg(p.fd, msgs, n, MSG_DONTWAIT);
    if (r > 0) {
      // The kernel may take fewer than offered; the rest are built again.
      for (int k = 0; k < r; ++k) {
        while (seq >= to[peer]) peer++, seq = 0;
        ++seq;
      }
      if (!(flags & kFlagWarmup)) frames_sent += static_cast<unsigned>(r);
      // One port sends at a time, so one clock paces them all; time spent
      // waiting between turns is not made up for with a burst.
      if (plan_.rate)
        next_due_ = std::max(next_due_, progress) + seconds(r / static_cast<double>(plan_.rate));
      progress = Clock::now();
      continue;
    }
    if (r < 0 && errno != EAGAIN && errno != ENOBUFS && errno != EINTR) {
      fail_io(i, errno, "send");
      return false;
    }
    if (Clock::now() - progress > kStuckLimit) {
      fail(i, fmt("Port %s: transmitter stuck for 5 seconds.", p.name.c_str()),
           p.name + " transmitter stuck");
      return false;
    }
    // A full queueing discipline says ENOBUFS while the socket stays
    // writable: poll would return at once.
    if (r < 0 && errno == ENOBUFS) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    pollfd pfd{p.fd, POLLOUT, 0};
    ::poll(&pfd, 1, 10);
  }
}

// True when the receiver has frames in its ring that it has not counted yet
// (it may simply not have been scheduled since they came in).
static bool ring_pending(const Port& p) {
  auto* hdr = reinterpret_cast<const tpacket2_hdr*>(ring_slot(p, p.next.load(std::memory_order_acquire)));
  return __atomic_load_n(&hdr->tp_status, __ATOMIC_ACQUIRE) & TP_STATUS_USER;
}

// sendmmsg returns once the frames are queued.  They still belong to the
// socket while they wait in the port's queueing discipline or driver ring;
// on a slow link that is most of the turn.  Waits until they have left (or
// the cap: a driver that frees sent frames late must not stall the pass).
void Burn::drain(size_t sender) {
  const auto start = Clock::now();
  for (;;) {
    int queued = 0;
    if (::ioctl(ports_[sender]->fd, SIOCOUTQ, &queued) != 0 || queued <= 0) return;
    if (stopping() || Clock::now() - start > kBarrierCap) return;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

// Lets the frames of a turn reach every receiver before the next port sends,
// so that each published snapshot counts whole rounds.  A receiver is done
// once it has the turn's last frame meant for it, or once its frames have
// stopped coming: its ring is empty and it has heard nothing for four times
// the pace at which they came (at least kQuiet).  One that got nothing yet
// may sit behind another's burst in a switch: it waits up to kBarrierCap
// (its link may be dead: that must not stall the pass).
void Burn::await_arrivals(size_t sender, uint64_t turn, const Shares& to, Clock::time_point began,
                          const Shares& before) {
  const auto start = Clock::now();
  std::vector<uint64_t> got(P_, 0);
  std::vector<Clock::time_point> last(P_, start);
  for (;;) {
    bool all = true;
    const auto now = Clock::now();
    for (size_t j = 0; j < P_; ++j) {
      if (to[j] == 0) continue;
      const Port& r = *ports_[j];
      if (r.mark.load(std::memory_order_acquire) >= ((turn << kSeqBits) | (to[j] - 1)) + 1) continue;
      const uint64_t g = r.from[sender].load(std::memory_order_relaxed) - before[j];
      if (g != got[j] || ring_pending(r)) {
        got[j] = g;
        last[j] = now;
        all = false;
        continue;
      }
      const auto pace = (last[j] - began) / static_cast<int64_t>(std::max<uint64_t>(g, 1));
      const auto quiet = g == 0 ? kBarrierCap : std::max<Clock::duration>(kQuiet, 4 * pace);
      if (now - last[j] < quiet) all = false;
    }
    if (all || now - start > kBarrierCap || stopping()) return;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

void Burn::publish(uint64_t per_port_sent) {
  Snapshot s;
  s.per_port_sent = per_port_sent;
  s.valid = true;
  s.sent = sent_;
  for (Port* p : ports_) {
    std::vector<uint64_t> row(P_), bad(P_);
    for (size_t i = 0; i < P_; ++i) {
      row[i] = p->from[i].load(std::memory_order_relaxed);
      bad[i] = p->corrupt[i].load(std::memory_order_relaxed);
    }
    s.counts.push_back(std::accumulate(row.begin(), row.end(), uint64_t{0}));
    s.from.push_back(std::move(row));
    s.corrupt.push_back(std::move(bad));
  }
  std::lock_guard<std::mutex> g(mu_);
  snap_ = std::move(s);
}

bool Burn::receivers_ok() {
  for (Port* p : ports_) {
    if (int e = p->error.load()) {
      fail_io(p->number, e, "receive");
      return false;
    }
  }
  return true;
}

std::vector<std::vector<bool>> Burn::hearing() {
  std::vector<std::vector<bool>> h(P_, std::vector<bool>(P_, false));
  for (size_t j = 0; j < P_; ++j)
    for (size_t i = 0; i < P_; ++i) h[j][i] = i != j && ports_[j]->heard[i].load();
  return h;
}

// Every port sends a frame to every other one until each has heard all the
// others, or until who hears whom has made sound groups and stayed the same
// for kSettle: a switch learns where each address lives (so no test frame is
// flooded), and a switch port still blocking under STP after a link came up
// is not taken for a bad port.
void Burn::warm_up() {
  const auto until = Clock::now() + plan_.warmup;
  std::vector<std::string> names;
  for (Port* p : ports_) names.push_back(p->name);
  Shares all(P_, 1);
  auto heard = hearing();
  auto since = Clock::now();
  uint64_t t = 0;
  while (!stopping()) {
    for (size_t i = 0; i < P_ && !stopping(); ++i) {
      all[i] = 0;
      send_turn(i, t++, all, kFlagWarmup);
      all[i] = 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto now_heard = hearing();
    if (now_heard != heard) since = Clock::now();
    heard = std::move(now_heard);
    bool everyone = true;
    for (size_t j = 0; j < P_; ++j)
      for (size_t i = 0; i < P_; ++i) everyone = everyone && (i == j || heard[j][i]);
    if (everyone || !receivers_ok() || Clock::now() >= until) break;
    if (Clock::now() - since >= kSettle && Groups(heard, names).sound()) break;
  }
  groups_ = std::make_unique<Groups>(heard, names);
}

// One round: every port in turn sends each of its peers their share, and
// the round counts once all of it has arrived.
bool Burn::round(uint64_t& turn, uint64_t each, uint64_t number) {
  for (size_t i = 0; i < P_; ++i, ++turn) {
    Shares to(P_), before(P_);
    for (size_t j = 0; j < P_; ++j) {
      to[j] = groups_->share(i, j, each, number);
      before[j] = ports_[j]->from[i].load(std::memory_order_relaxed);
    }
    const auto began = Clock::now();
    if (!send_turn(i, turn, to, 0)) return false;
    drain(i);
    await_arrivals(i, turn, to, began, before);
    if (stopping() || !receivers_ok()) return false;
    for (size_t j = 0; j < P_; ++j) sent_[i][j] += to[j];
  }
  return true;
}

// Sizes the turns so that a round stays short whatever the link speed:
// status lines stay fresh and the waits between turns stay cheap.
uint64_t Burn::next_each(uint64_t each, Clock::duration round_took) const {
  const double per_turn = std::chrono::duration<double>(round_took).count() / double(P_);
  double want = double(each) * std::chrono::duration<double>(kTurnTarget).count() / std::max(per_turn, 1e-6);
  want = std::clamp(want, each / 4.0, each * 2.0);
  const uint64_t unit = groups_->unit();
  const uint64_t most = groups_->most_each(kMaxTurn) / unit * unit;
  const uint64_t n = static_cast<uint64_t>(want) / unit * unit;
  return std::clamp<uint64_t>(n, unit, std::max(most, unit));
}

void Burn::sender() {
  warm_up();
  if (stopping()) {  // who hears whom is not known yet: no verdict
    done_.store(true);
    return;
  }
  if (!groups_->sound()) {
    fail(Failure{SIZE_MAX, groups_->messages(), groups_->causes()});
    done_.store(true);
    return;
  }
  warmed_up_.store(true);
  const auto start = Clock::now();
  const auto deadline = start + plan_.length;
  // A first turn of about kTurnTarget at the rate, if there is one.
  const uint64_t unit = groups_->unit(), first = kStartTurn * (groups_->largest() - 1);
  const double want = plan_.rate ? static_cast<double>(plan_.rate) * 0.02 : double(first);
  uint64_t each = std::clamp<uint64_t>(static_cast<uint64_t>(want), 1, first);
  each = std::max(unit, each / unit * unit);
  uint64_t per_port_sent = 0, turn = 0, number = 0;
  while (!stopping() && Clock::now() < deadline) {
    const auto round_start = Clock::now();
    if (!round(turn, each, number++)) break;
    per_port_sent += each;
    publish(per_port_sent);
    each = next_each(each, Clock::now() - round_start);
  }
  seconds_sending = std::chrono::duration<double>(Clock::now() - start).count();
  // Frames that trail the last round still count; give them a moment.
  if (!stopping()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    publish(per_port_sent);
  }
  done_.store(true);
}

}  // namespace netburn
