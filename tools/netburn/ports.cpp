// netburn: finding the machine's Ethernet ports and preparing them for a
// pass (raising them, opening their raw sockets and receive rings), plus the
// sysfs facts about them that go into the report.

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "netburn.h"

namespace netburn {

using toolio::list_dir;
using toolio::path_exists;

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

Scan scan_ports() {
  Scan scan;
  for (const auto& n : list_dir("/sys/class/net")) {
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

}  // namespace netburn
