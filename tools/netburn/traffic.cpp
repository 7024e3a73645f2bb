// netburn: see burn.h.

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <thread>

#include "burn.h"
#include "toolio.h"

namespace netburn {

using toolio::fmt;

Burn::Burn(std::vector<Port*> ports, const Plan& plan)
    : ports_(std::move(ports)), P_(ports_.size()), plan_(plan),
      batch_(static_cast<size_t>(kBatch) * plan.frame_bytes) {
  // A varied fill, so the frames exercise the data path like real traffic.
  for (unsigned b = 0; b < kBatch; ++b)
    for (size_t k = kEthHeader + sizeof(Payload); k < plan_.frame_bytes; ++k)
      batch_[b * plan_.frame_bytes + k] = static_cast<unsigned char>(k * 37 + (plan_.run >> 8));
}

bool Burn::stopping() const {
  return stop_.load(std::memory_order_relaxed) || toolio::g_signalled.load(std::memory_order_relaxed);
}

void Burn::fail(size_t port, std::string message, std::string cause) {
  {
    std::lock_guard<std::mutex> g(mu_);
    if (!failed_) failure_ = {port, std::move(message), std::move(cause)};
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

void Burn::count(Port& me, size_t j, const Payload& pl) {
  const bool warmup = pl.flags & kFlagWarmup;
  if (pl.sender == j) {
    if (!warmup) me.own.fetch_add(1, std::memory_order_relaxed);
  } else if (pl.to != j) {
    if (!warmup) me.strays.fetch_add(1, std::memory_order_relaxed);
  } else if (warmup) {
    me.heard[pl.sender].store(1, std::memory_order_relaxed);
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

void Burn::receiver(size_t j) {
  Port& me = *ports_[j];
  size_t idx = 0;
  while (!rx_stop_.load(std::memory_order_relaxed)) {
    auto* hdr = reinterpret_cast<tpacket2_hdr*>(me.ring + idx * kRingSlot);
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
    const unsigned char* frame = me.ring + idx * kRingSlot + hdr->tp_mac;
    if (hdr->tp_snaplen >= kEthHeader + sizeof(Payload) &&
        hdr->tp_mac + kEthHeader + sizeof(Payload) <= kRingSlot) {
      Payload pl;
      std::memcpy(&pl, frame + kEthHeader, sizeof pl);
      uint16_t type;
      std::memcpy(&type, frame + 12, 2);
      if (ntohs(type) == kEtherType && pl.magic == kMagic && pl.run == plan_.run &&
          pl.sender < P_ && pl.to < P_)
        count(me, j, pl);
    }
    __atomic_store_n(&hdr->tp_status, TP_STATUS_KERNEL, __ATOMIC_RELEASE);
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

// One port's turn: a burst of per_peer frames to each other port in turn,
// so that each receiver, like the sender, takes frames as fast as the link
// carries them (spread over the peers, no receiver would ever see more than
// a share of the sender's rate).
bool Burn::send_turn(size_t i, uint64_t turn, unsigned per_peer, uint16_t flags) {
  Port& p = *ports_[i];
  const size_t fb = plan_.frame_bytes;
  const uint64_t peers = P_ - 1, total = per_peer * peers;
  // Paced, a batch is what a millisecond allows, so no burst outruns the rate.
  const uint64_t chunk = plan_.rate ? std::clamp<uint64_t>(plan_.rate / 1000, 1, kBatch) : kBatch;
  auto progress = Clock::now();
  mmsghdr msgs[kBatch];
  iovec iov[kBatch];
  const uint16_t type = htons(kEtherType);
  uint64_t k = 0;
  while (k < total) {
    if (stopping()) return false;
    if (plan_.rate) {
      if (!pace(next_due_)) return false;
      progress = Clock::now();
    }
    const unsigned n = static_cast<unsigned>(std::min(chunk, total - k));
    for (unsigned b = 0; b < n; ++b) {
      const uint64_t f = k + b, q = f / per_peer;
      const size_t to = q < i ? q : q + 1;
      unsigned char* fr = &batch_[b * fb];
      std::memcpy(fr, ports_[to]->mac, 6);
      std::memcpy(fr + 6, p.mac, 6);
      std::memcpy(fr + 12, &type, 2);
      Payload pl{kMagic, plan_.run, static_cast<uint16_t>(i), flags, static_cast<uint32_t>(f % per_peer),
                 turn, static_cast<uint16_t>(to)};
      std::memcpy(fr + kEthHeader, &pl, sizeof pl);
      iov[b] = {fr, fb};
      msgs[b] = {};
      msgs[b].msg_hdr.msg_iov = &iov[b];
      msgs[b].msg_hdr.msg_iovlen = 1;
    }
    int r = ::sendmmsg(p.fd, msgs, n, MSG_DONTWAIT);
    if (r > 0) {
      // The kernel may take fewer than offered; the rest are built again.
      k += static_cast<unsigned>(r);
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
    pollfd pfd{p.fd, POLLOUT, 0};
    ::poll(&pfd, 1, 10);
  }
  return true;
}

// True when the receiver has frames in its ring that it has not counted yet
// (it may simply not have been scheduled since they came in).
static bool ring_pending(const Port& p) {
  size_t idx = p.next.load(std::memory_order_acquire);
  auto* hdr = reinterpret_cast<const tpacket2_hdr*>(p.ring + idx * kRingSlot);
  return __atomic_load_n(&hdr->tp_status, __ATOMIC_ACQUIRE) & TP_STATUS_USER;
}

// Lets the frames of a turn reach every receiver before the next port sends,
// so that each published snapshot counts whole rounds.  A receiver is done
// once it has the turn's last frame, or once its ring is empty and it has
// heard nothing for a moment (its link may be dead: that must not stall the pass).
void Burn::barrier(size_t sender, uint64_t turn, unsigned per_peer) {
  const uint64_t target = ((turn << kSeqBits) | (per_peer - 1)) + 1;
  std::vector<uint64_t> seen(P_);
  std::vector<Clock::time_point> since(P_, Clock::now());
  for (size_t j = 0; j < P_; ++j) seen[j] = ports_[j]->mark.load(std::memory_order_acquire);
  const auto start = Clock::now();
  for (;;) {
    bool all = true;
    auto now = Clock::now();
    for (size_t j = 0; j < P_; ++j) {
      if (j == sender) continue;
      uint64_t m = ports_[j]->mark.load(std::memory_order_acquire);
      if (m >= target) continue;
      if (m != seen[j]) {
        seen[j] = m;
        since[j] = now;
      }
      if (ring_pending(*ports_[j])) {
        since[j] = now;
        all = false;
        continue;
      }
      if (now - since[j] >= kQuiet) continue;
      all = false;
    }
    if (all || now - start > kBarrierCap || stopping()) return;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

void Burn::publish(uint64_t per_peer_sent) {
  Snapshot s;
  s.per_peer_sent = per_peer_sent;
  s.valid = true;
  for (Port* p : ports_) {
    std::vector<uint64_t> row(P_);
    for (size_t i = 0; i < P_; ++i) row[i] = p->from[i].load(std::memory_order_relaxed);
    s.counts.push_back(std::accumulate(row.begin(), row.end(), uint64_t{0}));
    s.from.push_back(std::move(row));
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

// Every port sends a frame to every other one until each has heard all the
// others: a switch learns where each address lives (so no test frame is
// flooded), and a switch port still blocking under STP after a link came up
// is not taken for a bad port.
void Burn::warm_up() {
  const auto until = Clock::now() + plan_.warmup;
  uint64_t t = 0;
  while (!stopping()) {
    for (size_t i = 0; i < P_ && !stopping(); ++i) send_turn(i, t++, 1, kFlagWarmup);
    bool all = true;
    for (size_t j = 0; j < P_; ++j)
      for (size_t i = 0; i < P_; ++i)
        if (i != j && !ports_[j]->heard[i].load()) all = false;
    if (all || !receivers_ok() || Clock::now() >= until) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void Burn::sender() {
  warm_up();
  warmed_up_.store(true);
  const auto start = Clock::now();
  const auto deadline = start + plan_.length;
  const double peers = static_cast<double>(P_ - 1);
  // A first turn of about kTurnTarget at the rate, if there is one.
  double want = plan_.rate ? static_cast<double>(plan_.rate) * 0.02 / peers : kStartTurn;
  unsigned per_peer = static_cast<unsigned>(std::clamp(want, 1.0, double(kStartTurn)));
  uint64_t per_peer_sent = 0, turn = 0;
  while (!stopping() && Clock::now() < deadline) {
    auto round_start = Clock::now();
    bool ok = true;
    for (size_t i = 0; i < P_ && ok; ++i) {
      ok = send_turn(i, turn, per_peer, 0);
      if (ok) barrier(i, turn, per_peer);
      ++turn;
      ok = ok && !stopping() && receivers_ok();
    }
    if (!ok) break;
    per_peer_sent += per_peer;
    publish(per_peer_sent);
    // Size the turns so that a round stays short whatever the link speed:
    // status lines stay fresh and the barriers stay cheap.
    double per_turn = std::chrono::duration<double>(Clock::now() - round_start).count() / double(P_);
    want = per_peer * std::chrono::duration<double>(kTurnTarget).count() / std::max(per_turn, 1e-6);
    want = std::clamp(want, per_peer / 2.0, per_peer * 2.0);
    per_peer = static_cast<unsigned>(std::clamp(want, 1.0, double(kMaxTurn)));
  }
  seconds_sending = std::chrono::duration<double>(Clock::now() - start).count();
  // Frames that trail the last barrier still count; give them a moment.
  if (!stopping()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    publish(per_peer_sent);
  }
  done_.store(true);
}

}  // namespace netburn
