// netburn: the traffic of a pass.  One sender thread makes the ports take
// turns sending; one receiver thread per port counts what reaches it; the
// sender publishes snapshots of whole rounds for the main thread to report.

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstring>
#include <thread>

#include "netburn.h"

namespace netburn {

void Burn::receiver(size_t j) {
  Port& me = *ports_[j];
  size_t idx = 0;
  uint64_t newest = 0;
  while (!rx_stop.load(std::memory_order_relaxed)) {
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
    if (hdr->tp_snaplen >= kEthHeader + sizeof(Payload)) {
      Payload pl;
      std::memcpy(&pl, frame + kEthHeader, sizeof pl);
      uint16_t type;
      std::memcpy(&type, frame + 12, 2);
      if (ntohs(type) == kEtherType && pl.magic == kMagic && pl.run == run && pl.sender < P_) {
        if (pl.sender == j) {
          me.self_frames.fetch_add(1, std::memory_order_relaxed);
        } else if (pl.flags & kFlagWarmup) {
          me.heard[pl.sender].store(1, std::memory_order_relaxed);
        } else {
          me.from[pl.sender].fetch_add(1, std::memory_order_relaxed);
          uint64_t m = ((pl.turn << 20) | pl.seq) + 1;
          if (m > newest) {
            newest = m;
            me.mark.store(m, std::memory_order_release);
          }
        }
      }
    }
    __atomic_store_n(&hdr->tp_status, TP_STATUS_KERNEL, __ATOMIC_RELEASE);
    idx = (idx + 1) % kRingFrames;
    me.next.store(idx, std::memory_order_release);
  }
}

// True when the receiver has frames in its ring that it has not counted yet
// (it may simply not have been scheduled since they came in).
static bool ring_pending(const Port& p) {
  size_t idx = p.next.load(std::memory_order_acquire);
  auto* hdr = reinterpret_cast<const tpacket2_hdr*>(p.ring + idx * kRingSlot);
  return __atomic_load_n(&hdr->tp_status, __ATOMIC_ACQUIRE) & TP_STATUS_USER;
}

bool Burn::send_frames(size_t i, uint64_t turn, unsigned count, uint16_t flags) {
  Port& p = *ports_[i];
  static thread_local std::vector<unsigned char> bufs;
  static thread_local size_t built_for = SIZE_MAX;
  if (built_for != i) {
    bufs.assign(static_cast<size_t>(kBatch) * frame_bytes, 0);
    for (unsigned b = 0; b < kBatch; ++b) {
      unsigned char* f = &bufs[b * frame_bytes];
      std::memset(f, 0xff, 6);
      std::memcpy(f + 6, p.mac, 6);
      uint16_t t = htons(kEtherType);
      std::memcpy(f + 12, &t, 2);
      // A varied fill, so the frames exercise the data path like real traffic.
      for (size_t k = kEthHeader + sizeof(Payload); k < frame_bytes; ++k)
        f[k] = static_cast<unsigned char>(k * 37 + (run >> 8));
    }
    built_for = i;
  }
  mmsghdr msgs[kBatch];
  iovec iov[kBatch];
  unsigned seq = 0;
  auto stalled_since = Clock::now();
  while (seq < count) {
    unsigned n = std::min(kBatch, count - seq);
    for (unsigned b = 0; b < n; ++b) {
      Payload pl{kMagic, run, static_cast<uint16_t>(i), flags, seq + b, turn};
      std::memcpy(&bufs[b * frame_bytes] + kEthHeader, &pl, sizeof pl);
      iov[b] = {&bufs[b * frame_bytes], frame_bytes};
      msgs[b] = {};
      msgs[b].msg_hdr.msg_iov = &iov[b];
      msgs[b].msg_hdr.msg_iovlen = 1;
    }
    int r = ::sendmmsg(p.fd, msgs, n, MSG_DONTWAIT);
    if (r > 0) {
      // The kernel may take fewer than offered; the rest go again with
      // their own sequence numbers rewritten above.
      seq += static_cast<unsigned>(r);
      frames_sent_total += static_cast<unsigned>(r);
      stalled_since = Clock::now();
      continue;
    }
    if (r < 0 && errno != EAGAIN && errno != ENOBUFS && errno != EINTR) {
      fail(fmt("Port %s failed: cannot send (%s).", p.name.c_str(), std::strerror(errno)),
           kExitPortFailed);
      return false;
    }
    if (stop.load(std::memory_order_relaxed)) return false;
    if (Clock::now() - stalled_since > std::chrono::seconds(5)) {
      fail(fmt("Port %s failed: its transmitter has been stuck for 5 seconds.", p.name.c_str()),
           kExitPortFailed);
      return false;
    }
    pollfd pfd{p.fd, POLLOUT, 0};
    ::poll(&pfd, 1, 10);
  }
  return true;
}

// Lets the frames of a turn reach every receiver before the next port sends,
// so that each published snapshot counts whole rounds.  A receiver is done
// once it has the turn's last frame, or once its ring is empty and it has
// heard nothing for a moment (its link may be dead: that must not stall the pass).
void Burn::barrier(size_t sender, uint64_t turn, unsigned count) {
  const uint64_t target = ((turn << 20) | (count - 1)) + 1;
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
    if (all || now - start > kBarrierCap || stop.load(std::memory_order_relaxed)) return;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

void Burn::publish(uint64_t per_port_sent) {
  Snapshot s;
  s.per_port_sent = per_port_sent;
  s.valid = true;
  for (Port* p : ports_) {
    uint64_t c = 0;
    for (size_t i = 0; i < P_; ++i) c += p->from[i].load(std::memory_order_relaxed);
    s.counts.push_back(c);
  }
  std::lock_guard<std::mutex> g(snap_mu_);
  snap_ = std::move(s);
}

void Burn::sender() {
  auto check_receivers = [&] {
    for (Port* p : ports_) {
      if (int e = p->error.load()) {
        fail(fmt("Port %s failed: %s.", p->name.c_str(), std::strerror(e)), kExitPortFailed);
        return false;
      }
    }
    return true;
  };

  if (warmup) {
    // Fresh links: wait until every port hears every other one, so that a
    // switch port still in its blocking state is not taken for a bad port.
    const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(kWarmupSeconds));
    uint64_t t = 0;
    while (Clock::now() < until && !stop.load()) {
      for (size_t i = 0; i < P_ && !stop.load(); ++i) send_frames(i, t++, 4, kFlagWarmup);
      bool all = true;
      for (size_t j = 0; j < P_; ++j)
        for (size_t i = 0; i < P_; ++i)
          if (i != j && !ports_[j]->heard[i].load()) all = false;
      if (all || !check_receivers()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  warmup_done.store(true);

  const auto start = Clock::now();
  const auto deadline = start + pass_length;
  uint64_t per_port_sent = 0;
  unsigned turn_frames = kMinTurn;
  uint64_t turn = 0;
  frames_sent_total = 0;
  while (!stop.load() && Clock::now() < deadline) {
    auto round_start = Clock::now();
    bool ok = true;
    for (size_t i = 0; i < P_ && ok; ++i) {
      ok = send_frames(i, turn, turn_frames, 0);
      if (ok) barrier(i, turn, turn_frames);
      ++turn;
      ok = ok && !stop.load() && check_receivers();
    }
    if (!ok) break;
    per_port_sent += turn_frames;
    publish(per_port_sent);
    // Size the turns so that a round of P turns stays short whatever the
    // link speed: status lines stay fresh and the barriers stay cheap.
    auto took = Clock::now() - round_start;
    double per_turn = std::chrono::duration<double>(took).count() / static_cast<double>(P_);
    double want = turn_frames * std::chrono::duration<double>(kTurnTarget).count() /
                  std::max(per_turn, 1e-6);
    want = std::clamp(want, turn_frames / 2.0, turn_frames * 2.0);
    turn_frames = static_cast<unsigned>(std::clamp(want, double(kMinTurn), double(kMaxTurn)));
  }
  seconds_sending = std::chrono::duration<double>(Clock::now() - start).count();
  // Frames that trail the last barrier still count; give them a moment.
  if (!stop.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    publish(per_port_sent);
  }
  done.store(true);
}

std::string status_line(const std::vector<Port*>& ports, const Snapshot& s) {
  const uint64_t sent = s.per_port_sent * (ports.size() - 1);
  std::string line = fmt("@%" PRIu64, sent);
  for (size_t j = 0; j < ports.size(); ++j)
    line += fmt(" %s=%" PRIu64, ports[j]->label.c_str(), s.counts[j]);
  return line;
}

}  // namespace netburn
