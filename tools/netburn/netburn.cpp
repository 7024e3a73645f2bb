// netburn: broadcast burn-in traffic among the machine's Ethernet ports.
//
// One pass ("-1"): the ports take turns sending broadcast frames of a local
// experimental EtherType; each frame carries this run's id, the sender's port
// number, a turn number and a sequence number within the turn.  Every port
// counts the frames of this run that reach it from the other ports.  All
// ports send the same number of frames per round, so "frames the others sent"
// is one number for every port and goes out as the sent count of the status
// lines: a port that saw every frame of the others reads 100 percent.
//
// Threads: one sender, one receiver per port, and the main thread, which is
// the only one that writes output.  The pipe to the reader may fill while
// nobody reads it; the main thread then blocks in write() while the traffic
// and the counting carry on untouched.

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// Exit statuses; documented for the operator's manual.
enum ExitCode : int {
  kExitPass = 0,        // pass finished (or stopped by SIGTERM/SIGINT)
  kExitUsage = 1,       // bad arguments or a bad environment value
  kExitTooFewPorts = 2, // fewer than two Ethernet ports
  kExitPrivilege = 3,   // no permission for raw sockets or to raise a port
  kExitPortFailed = 4,  // a port could not be set up or failed during the pass
  kExitInternal = 5,    // out of memory, threads, and the like
};

constexpr uint16_t kEtherType = 0x88B5;  // IEEE 802 local experimental 1
constexpr uint32_t kMagic = 0x4e42524eu;
constexpr uint16_t kFlagWarmup = 1;
constexpr size_t kEthHeader = 14;
constexpr unsigned kBatch = 32;           // frames per sendmmsg
constexpr unsigned kMinTurn = 64;         // frames per port per round, bounds
constexpr unsigned kMaxTurn = 16384;
constexpr unsigned kRingFrames = 4 * kMaxTurn;  // receive ring slots per port
constexpr unsigned kRingSlot = 128;       // we only need the headers
constexpr auto kTurnTarget = std::chrono::milliseconds(20);
constexpr auto kQuiet = std::chrono::milliseconds(3);
constexpr auto kBarrierCap = std::chrono::milliseconds(2000);
constexpr auto kStatusPeriod = std::chrono::milliseconds(250);
constexpr double kDefaultPassSeconds = 60.0;
constexpr double kLinkWaitSeconds = 10.0;
constexpr double kWarmupSeconds = 30.0;  // a switch port running STP may
                                         // block a fresh link for ~30 s

#pragma pack(push, 1)
struct Payload {
  uint32_t magic;
  uint64_t run;
  uint16_t sender;
  uint16_t flags;
  uint32_t seq;    // index within the turn
  uint64_t turn;
};
#pragma pack(pop)
static_assert(sizeof(Payload) == 28);

using Clock = std::chrono::steady_clock;

std::atomic<bool> g_signalled{false};

extern "C" void on_signal(int) { g_signalled.store(true); }

// One write per line so that lines never interleave or tear.
void emit(const std::string& text) {
  std::string line = text;
  line += '\n';
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t n = ::write(STDOUT_FILENO, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // reader gone: nothing useful left to do with the text
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
}

std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* f, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, f);
  vsnprintf(buf, sizeof buf, f, ap);
  va_end(ap);
  return buf;
}

std::optional<std::string> read_text(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  if (in.bad()) return std::nullopt;
  return s;
}

bool path_exists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

// The percentage exactly as the reader of our status lines computes it.
int64_t percent_of(int64_t count, int64_t sent) {
  if (sent == 0) sent = 1;
  return (count * 1000 + 5) / sent / 10;
}

struct Port {
  std::string name;     // kernel name
  std::string label;    // name as written in status lines
  int ifindex = 0;
  unsigned char mac[6] = {};
  int fd = -1;
  unsigned char* ring = nullptr;
  size_t ring_bytes = 0;
  bool raised = false;  // we brought it up
  std::map<std::string, uint64_t> stats_before;

  // Written by this port's receiver thread only.
  std::unique_ptr<std::atomic<uint64_t>[]> from;   // frames counted, per sender
  std::unique_ptr<std::atomic<uint8_t>[]> heard;   // warm-up frames seen, per sender
  std::atomic<uint64_t> mark{0};   // (turn << 20 | seq) + 1 of the newest frame
  std::atomic<size_t> next{0};     // ring slot the receiver looks at next
  std::atomic<uint64_t> self_frames{0};
  std::atomic<int> error{0};       // errno of a receive failure
};

const char* const kCounters[] = {
    "rx_errors",       "tx_errors",         "rx_dropped",        "tx_dropped",
    "rx_crc_errors",   "rx_frame_errors",   "rx_length_errors",  "rx_missed_errors",
    "rx_over_errors",  "rx_fifo_errors",    "tx_aborted_errors", "tx_carrier_errors",
    "tx_fifo_errors",  "tx_heartbeat_errors", "tx_window_errors", "collisions",
};

std::map<std::string, uint64_t> read_counters(const std::string& name) {
  std::map<std::string, uint64_t> m;
  for (const char* c : kCounters) {
    auto t = read_text("/sys/class/net/" + name + "/statistics/" + c);
    if (t) m[c] = std::strtoull(t->c_str(), nullptr, 10);
  }
  return m;
}

// Devices of type Ethernet that are neither loopback nor a software
// construct built on top of real ports (bridges, bonds, VLANs...).  Software
// ports count as ports only when they are all there is (veth pairs in a test
// network namespace are fine: they have no DEVTYPE).
struct Scan {
  std::vector<std::string> ports;
  std::vector<std::pair<std::string, std::string>> skipped;
};

Scan scan_ports() {
  Scan scan;
  DIR* d = ::opendir("/sys/class/net");
  if (!d) return scan;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;
    names.emplace_back(e->d_name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  for (const auto& n : names) {
    std::string base = "/sys/class/net/" + n;
    auto type = read_text(base + "/type");
    if (!type || std::atoi(type->c_str()) != 1) continue;  // ARPHRD_ETHER only
    auto flags = read_text(base + "/flags");
    if (flags && (std::strtoul(flags->c_str(), nullptr, 0) & IFF_LOOPBACK)) continue;
    std::string why;
    std::string devtype;
    if (auto ue = read_text(base + "/uevent")) {
      size_t p = ue->find("DEVTYPE=");
      if (p != std::string::npos) devtype = ue->substr(p + 8, ue->find('\n', p) - p - 8);
    }
    if (path_exists(base + "/bridge")) why = "bridge";
    else if (path_exists(base + "/bonding")) why = "bond";
    else if (path_exists(base + "/tun_flags")) why = "tun/tap device";
    else if (path_exists(base + "/wireless") || path_exists(base + "/phy80211")) why = "wireless";
    else if (path_exists(base + "/master")) why = "member of " + [&] {
      char buf[256];
      ssize_t k = ::readlink((base + "/master").c_str(), buf, sizeof buf - 1);
      if (k <= 0) return std::string("another device");
      buf[k] = 0;
      const char* s = std::strrchr(buf, '/');
      return std::string(s ? s + 1 : buf);
    }();
    else if (!devtype.empty()) why = devtype + " device";
    if (!why.empty()) scan.skipped.emplace_back(n, why);
    else scan.ports.push_back(n);
  }
  return scan;
}

bool parse_mac(const std::string& s, unsigned char out[6]) {
  unsigned v[6];
  if (std::sscanf(s.c_str(), "%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6)
    return false;
  for (int i = 0; i < 6; ++i) out[i] = static_cast<unsigned char>(v[i]);
  return true;
}

std::string link_text(const std::string& name) {
  std::string base = "/sys/class/net/" + name;
  auto carrier = read_text(base + "/carrier");
  if (!carrier || *carrier != "1") return "no link (check the cable and the switch port)";
  auto speed = read_text(base + "/speed");
  auto duplex = read_text(base + "/duplex");
  std::string s = "link up";
  long sp = speed ? std::strtol(speed->c_str(), nullptr, 10) : -1;
  if (sp > 0) s += fmt(", %ld Mb/s", sp);
  else s += ", speed unknown";
  if (duplex && *duplex != "unknown" && !duplex->empty()) s += ", " + *duplex + " duplex";
  else s += ", duplex unknown";
  return s;
}

bool has_carrier(const std::string& name) {
  auto c = read_text("/sys/class/net/" + name + "/carrier");
  return c && *c == "1";
}

struct Snapshot {
  uint64_t per_port_sent = 0;  // frames each port has sent in finished rounds
  std::vector<uint64_t> counts;
  bool valid = false;
};

class Burn {
 public:
  explicit Burn(std::vector<Port*> ports) : ports_(std::move(ports)), P_(ports_.size()) {}

  uint64_t run = 0;
  size_t frame_bytes = 1514;
  Clock::duration pass_length{};
  bool warmup = false;

  std::atomic<bool> stop{false};      // asked to end early (signal or failure)
  std::atomic<bool> rx_stop{false};
  std::atomic<bool> done{false};      // sender finished
  std::atomic<bool> warmup_done{false};
  std::string failure;                // set by the sender before done
  int failure_code = 0;
  uint64_t frames_sent_total = 0;
  double seconds_sending = 0;

  Snapshot snapshot() {
    std::lock_guard<std::mutex> g(snap_mu_);
    return snap_;
  }

  void receiver(size_t j);
  void sender();

 private:
  bool send_frames(size_t i, uint64_t turn, unsigned count, uint16_t flags);
  void barrier(size_t sender, uint64_t turn, unsigned count);
  void publish(uint64_t per_port_sent);
  void fail(const std::string& why, int code) {
    if (failure.empty()) {
      failure = why;
      failure_code = code;
    }
    stop.store(true);
  }

  std::vector<Port*> ports_;
  size_t P_;
  std::mutex snap_mu_;
  Snapshot snap_;
};

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
bool ring_pending(const Port& p) {
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

bool open_port(Port& p, std::string& err, int& code) {
  p.fd = ::socket(AF_PACKET, SOCK_RAW, htons(kEtherType));
  if (p.fd < 0) {
    if (errno == EPERM || errno == EACCES) {
      err = "netburn needs root privileges (CAP_NET_RAW) to open raw sockets.";
      code = kExitPrivilege;
    } else {
      err = fmt("Port %s: cannot open a raw socket (%s).", p.name.c_str(), std::strerror(errno));
      code = kExitPortFailed;
    }
    return false;
  }
  auto bad = [&](const char* what) {
    err = fmt("Port %s: cannot %s (%s).", p.name.c_str(), what, std::strerror(errno));
    code = (errno == EPERM || errno == EACCES) ? kExitPrivilege : kExitPortFailed;
    return false;
  };
  int v = TPACKET_V2;
  if (::setsockopt(p.fd, SOL_PACKET, PACKET_VERSION, &v, sizeof v) < 0)
    return bad("select the packet ring version");
  tpacket_req req{};
  req.tp_block_size = 1 << 16;
  req.tp_frame_size = kRingSlot;
  req.tp_frame_nr = kRingFrames;
  req.tp_block_nr = kRingFrames * kRingSlot / req.tp_block_size;
  if (::setsockopt(p.fd, SOL_PACKET, PACKET_RX_RING, &req, sizeof req) < 0)
    return bad("set up the receive ring");
  p.ring_bytes = static_cast<size_t>(req.tp_block_size) * req.tp_block_nr;
  void* m = ::mmap(nullptr, p.ring_bytes, PROT_READ | PROT_WRITE, MAP_SHARED, p.fd, 0);
  if (m == MAP_FAILED) return bad("map the receive ring");
  p.ring = static_cast<unsigned char*>(m);
  // A larger send buffer keeps the transmit queue fed between batches.
  int sndbuf = 4 << 20;
  ::setsockopt(p.fd, SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
  sockaddr_ll sll{};
  sll.sll_family = AF_PACKET;
  sll.sll_protocol = htons(kEtherType);
  sll.sll_ifindex = p.ifindex;
  if (::bind(p.fd, reinterpret_cast<sockaddr*>(&sll), sizeof sll) < 0) return bad("bind a raw socket");
  int pending = 0;
  socklen_t len = sizeof pending;
  ::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &pending, &len);  // reading it clears it
  return true;
}

bool raise_port(Port& p, std::string& err, int& code) {
  int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) s = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) {
    err = fmt("Port %s: cannot query its state (%s).", p.name.c_str(), std::strerror(errno));
    code = kExitPortFailed;
    return false;
  }
  ifreq ifr{};
  std::snprintf(ifr.ifr_name, IFNAMSIZ, "%s", p.name.c_str());
  bool ok = true;
  if (::ioctl(s, SIOCGIFFLAGS, &ifr) < 0) {
    err = fmt("Port %s: cannot query its state (%s).", p.name.c_str(), std::strerror(errno));
    code = kExitPortFailed;
    ok = false;
  } else if (!(ifr.ifr_flags & IFF_UP)) {
    ifr.ifr_flags |= IFF_UP;
    if (::ioctl(s, SIOCSIFFLAGS, &ifr) < 0) {
      bool perm = errno == EPERM || errno == EACCES;
      err = perm ? fmt("netburn needs root privileges (CAP_NET_ADMIN) to bring port %s up.",
                       p.name.c_str())
                 : fmt("Port %s: cannot bring it up (%s).", p.name.c_str(), std::strerror(errno));
      code = perm ? kExitPrivilege : kExitPortFailed;
      ok = false;
    } else {
      p.raised = true;
    }
  }
  ::close(s);
  return ok;
}

bool sleep_interruptibly(Clock::duration d) {
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
  timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  ::nanosleep(&ts, nullptr);  // a signal cuts it short, which is the point
  return !g_signalled.load();
}

int usage() {
  emit("Usage: netburn -1   (one burn-in pass over all Ethernet ports)");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  ::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc != 2 || std::strcmp(argv[1], "-1") != 0) return usage();

  double pass_seconds = kDefaultPassSeconds;
  if (const char* env = std::getenv("NETBURN_PASS_SECONDS"); env && *env) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(env, &end);
    if (errno || *end || !(v > 0) || v > 86400) {
      emit(fmt("NETBURN_PASS_SECONDS must be a number of seconds above 0, not \"%s\".", env));
      return kExitUsage;
    }
    pass_seconds = v;
  }

  struct sigaction sa{};
  sa.sa_handler = on_signal;  // no SA_RESTART: a blocked write must give way
  ::sigemptyset(&sa.sa_mask);
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGHUP, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  Scan scan = scan_ports();
  for (auto& [name, why] : scan.skipped) emit(fmt("Skipping %s: %s.", name.c_str(), why.c_str()));
  if (scan.ports.size() < 2) {
    if (scan.ports.empty()) emit("No Ethernet ports found.");
    else emit(fmt("Only one Ethernet port found (%s).", scan.ports[0].c_str()));
    emit("To pass the burn-in test, you need at least two network ports.");
    return kExitTooFewPorts;
  }
  {
    std::string names;
    for (auto& n : scan.ports) names += " " + n;
    emit(fmt("Testing %zu Ethernet ports:%s", scan.ports.size(), names.c_str()));
  }

  std::vector<std::unique_ptr<Port>> owned;
  std::vector<Port*> ports;
  const size_t P = scan.ports.size();
  size_t payload = 1500;
  for (auto& n : scan.ports) {
    auto p = std::make_unique<Port>();
    p->name = n;
    p->label = n;
    for (char& c : p->label)
      if (c == '=' || c == ' ') c = '_';
    p->from.reset(new std::atomic<uint64_t>[P]);
    p->heard.reset(new std::atomic<uint8_t>[P]);
    for (size_t i = 0; i < P; ++i) {
      p->from[i] = 0;
      p->heard[i] = 0;
    }
    p->ifindex = static_cast<int>(::if_nametoindex(n.c_str()));
    auto mac = read_text("/sys/class/net/" + n + "/address");
    if (p->ifindex <= 0 || !mac || !parse_mac(*mac, p->mac)) {
      emit(fmt("Port %s failed: it vanished or has no hardware address.", n.c_str()));
      return kExitPortFailed;
    }
    if (auto mtu = read_text("/sys/class/net/" + n + "/mtu")) {
      long m = std::strtol(mtu->c_str(), nullptr, 10);
      if (m >= static_cast<long>(sizeof(Payload) + 46) && static_cast<size_t>(m) < payload)
        payload = static_cast<size_t>(m);
    }
    ports.push_back(p.get());
    owned.push_back(std::move(p));
  }

  for (Port* p : ports) {
    std::string err;
    int code = 0;
    if (!raise_port(*p, err, code)) {
      emit(err);
      return code;
    }
  }

  // Links that we just raised need a moment to negotiate.
  bool raised_any = false;
  for (Port* p : ports) raised_any |= p->raised;
  if (raised_any) {
    emit("Bringing ports up and waiting for their links...");
    auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(kLinkWaitSeconds));
    while (Clock::now() < until && !g_signalled.load()) {
      bool all = true;
      for (Port* p : ports) all &= has_carrier(p->name);
      if (all) break;
      sleep_interruptibly(std::chrono::milliseconds(100));
    }
  }
  if (g_signalled.load()) {
    emit("Stopped.");
    return kExitPass;
  }
  // Sockets come after the links: one bound to a port that is still down
  // starts life with a "network is down" error.
  for (Port* p : ports) {
    std::string err;
    int code = 0;
    if (!open_port(*p, err, code)) {
      emit(err);
      return code;
    }
  }
  for (Port* p : ports) {
    emit(fmt("Port %s: %s.", p->name.c_str(), link_text(p->name).c_str()));
    p->stats_before = read_counters(p->name);
  }

  uint64_t run = 0;
  if (::getrandom(&run, sizeof run, 0) != sizeof run)
    run = static_cast<uint64_t>(Clock::now().time_since_epoch().count()) ^ ::getpid();

  Burn burn(ports);
  burn.run = run;
  burn.frame_bytes = kEthHeader + payload;
  burn.pass_length = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(pass_seconds));
  burn.warmup = raised_any;

  // Only the main thread takes signals; the others must never be cut short.
  sigset_t all, old;
  ::sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &old);
  std::vector<std::thread> rx;
  std::thread tx;
  try {
    for (size_t j = 0; j < P; ++j) rx.emplace_back(&Burn::receiver, &burn, j);
    tx = std::thread(&Burn::sender, &burn);
  } catch (const std::exception& e) {
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    emit(fmt("netburn: cannot start its threads (%s).", e.what()));
    burn.stop = true;
    burn.rx_stop = true;
    for (auto& t : rx) t.join();
    if (tx.joinable()) tx.join();
    return kExitInternal;
  }
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);

  bool said_sending = false;
  bool stopped = false;
  while (!burn.done.load()) {
    if (!said_sending && burn.warmup_done.load()) {
      emit(fmt("Sending %zu-byte broadcast frames from each port in turn for %g seconds.",
               burn.frame_bytes, pass_seconds));
      said_sending = true;
    }
    if (!sleep_interruptibly(kStatusPeriod)) {
      stopped = true;
      burn.stop = true;
      break;
    }
    Snapshot s = burn.snapshot();
    if (s.valid && s.per_port_sent > 0) emit(status_line(ports, s));
  }
  tx.join();
  burn.rx_stop = true;
  for (auto& t : rx) t.join();

  if (stopped || g_signalled.load()) {
    Snapshot s = burn.snapshot();
    if (s.valid && s.per_port_sent > 0) emit(status_line(ports, s));
    emit("Stopped.");
    return kExitPass;
  }
  if (!burn.failure.empty()) {
    emit(burn.failure);
    return burn.failure_code;
  }

  Snapshot s = burn.snapshot();
  if (!s.valid || s.per_port_sent == 0) {
    emit("Port failure: no frame could be sent during the pass.");
    return kExitPortFailed;
  }
  emit(status_line(ports, s));
  const uint64_t expected = s.per_port_sent * (P - 1);
  for (size_t j = 0; j < P; ++j) {
    Port& p = *ports[j];
    std::string line = fmt("Port %s: received %" PRIu64 " of %" PRIu64 " frames (%" PRId64 "%%)",
                           p.name.c_str(), s.counts[j], expected,
                           percent_of(static_cast<int64_t>(s.counts[j]),
                                      static_cast<int64_t>(expected)));
    std::string none, some;
    for (size_t i = 0; i < P; ++i) {
      if (i == j) continue;
      uint64_t got = p.from[i].load();
      if (got == 0) none += (none.empty() ? "" : ", ") + ports[i]->name;
      else if (got < s.per_port_sent)
        some += fmt("%s%" PRIu64 " from %s", some.empty() ? "" : ", ", s.per_port_sent - got,
                    ports[i]->name.c_str());
    }
    if (!none.empty()) line += "; none from " + none;
    if (!some.empty()) line += "; missing " + some;
    emit(line + ".");
    tpacket_stats st{};
    socklen_t len = sizeof st;
    if (::getsockopt(p.fd, SOL_PACKET, PACKET_STATISTICS, &st, &len) == 0 && st.tp_drops > 0)
      emit(fmt("Port %s: %u frames dropped by this host (receive ring full).", p.name.c_str(),
               st.tp_drops));
    if (p.self_frames.load() > 0)
      emit(fmt("Port %s: received %" PRIu64 " of its own frames back (a loop in the network?).",
               p.name.c_str(), p.self_frames.load()));
    auto after = read_counters(p.name);
    std::string grew;
    for (auto& [k, v] : after) {
      auto it = p.stats_before.find(k);
      if (it != p.stats_before.end() && v > it->second)
        grew += fmt("%s%s +%" PRIu64, grew.empty() ? "" : ", ", k.c_str(), v - it->second);
    }
    if (!grew.empty()) emit(fmt("Port %s: error counters grew: %s.", p.name.c_str(), grew.c_str()));
  }
  const double secs = std::max(burn.seconds_sending, 1e-9);
  const double fps = static_cast<double>(burn.frames_sent_total) / secs;
  emit(fmt("Pass complete: %" PRIu64 " frames per port, %.0f frames/s, %.1f MB/s sent.",
           s.per_port_sent, fps, fps * static_cast<double>(burn.frame_bytes) / 1e6));
  return kExitPass;
}
