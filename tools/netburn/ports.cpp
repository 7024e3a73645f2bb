// netburn: see ports.h.

#include "ports.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "defs.h"
#include "sysfs.h"
#include "toolframe/util.h"

namespace netburn {

using toolframe::fmt;

namespace {

const char* const kCounters[] = {
    "rx_errors",       "tx_errors",         "rx_dropped",        "tx_dropped",
    "rx_crc_errors",   "rx_frame_errors",   "rx_length_errors",  "rx_missed_errors",
    "rx_over_errors",  "rx_fifo_errors",    "tx_aborted_errors", "tx_carrier_errors",
    "tx_fifo_errors",  "tx_heartbeat_errors", "tx_window_errors", "collisions",
};

std::string attr(const std::string& port, const char* name) {
  return "class/net/" + port + "/" + name;
}

// One ioctl on the interface through a throw-away socket.
bool if_ioctl(const std::string& name, unsigned long req, ifreq& ifr) {
  int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) s = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  std::snprintf(ifr.ifr_name, IFNAMSIZ, "%s", name.c_str());
  bool ok = ::ioctl(s, req, &ifr) == 0;
  int saved = errno;
  ::close(s);
  errno = saved;
  return ok;
}

// Why a device is not a port of its own, or "".
std::string skip_reason(const std::string& n) {
  if (!sysfs::exists("class/net/" + n)) return "not in sysfs";
  if (sysfs::exists(attr(n, "bridge"))) return "bridge";
  if (sysfs::exists(attr(n, "bonding"))) return "bond";
  if (sysfs::exists(attr(n, "tun_flags"))) return "tun/tap device";
  if (sysfs::exists(attr(n, "wireless")) || sysfs::exists(attr(n, "phy80211"))) return "wireless";
  if (sysfs::exists(attr(n, "master"))) {
    std::string m = sysfs::link_name(attr(n, "master"));
    return "member of " + (m.empty() ? std::string("another device") : m);
  }
  if (auto ue = sysfs::text(attr(n, "uevent"))) {
    size_t p = ue->find("DEVTYPE=");
    if (p != std::string::npos && (p == 0 || (*ue)[p - 1] == '\n')) {
      std::string devtype = ue->substr(p + 8, ue->find('\n', p) - p - 8);
      if (!devtype.empty()) return devtype + " device";
    }
  }
  return "";
}

}  // namespace

Scan scan_ports() {
  Scan scan;
  struct if_nameindex* list = ::if_nameindex();
  if (!list) return scan;
  std::vector<std::string> names;
  for (struct if_nameindex* i = list; i->if_index != 0; ++i) names.emplace_back(i->if_name);
  ::if_freenameindex(list);
  std::sort(names.begin(), names.end());
  for (const auto& n : names) {
    ifreq ifr{};
    if (!if_ioctl(n, SIOCGIFHWADDR, ifr) || ifr.ifr_hwaddr.sa_family != ARPHRD_ETHER) continue;
    ifr = {};
    if (if_ioctl(n, SIOCGIFFLAGS, ifr) && (ifr.ifr_flags & IFF_LOOPBACK)) continue;
    std::string why = skip_reason(n);
    if (!why.empty()) scan.skipped.emplace_back(n, why);
    else scan.ports.push_back(n);
  }
  return scan;
}

bool identify_port(Port& p, std::string& err) {
  ifreq ifr{};
  p.ifindex = static_cast<int>(::if_nametoindex(p.name.c_str()));
  if (p.ifindex <= 0 || !if_ioctl(p.name, SIOCGIFHWADDR, ifr) ||
      ifr.ifr_hwaddr.sa_family != ARPHRD_ETHER) {
    err = fmt("Port %s: vanished before the pass, or is no Ethernet port.", p.name.c_str());
    return false;
  }
  std::memcpy(p.mac, ifr.ifr_hwaddr.sa_data, 6);
  ifr = {};
  if (if_ioctl(p.name, SIOCGIFMTU, ifr) && ifr.ifr_mtu > 0) p.mtu = static_cast<size_t>(ifr.ifr_mtu);
  return true;
}

bool raise_port(Port& p, std::string& err, int& code) {
  ifreq ifr{};
  if (!if_ioctl(p.name, SIOCGIFFLAGS, ifr)) {
    err = fmt("Port %s: cannot query its state (%s).", p.name.c_str(), std::strerror(errno));
    code = kExitPortFailed;
    return false;
  }
  if (ifr.ifr_flags & IFF_UP) return true;
  ifr.ifr_flags |= IFF_UP;
  if (!if_ioctl(p.name, SIOCSIFFLAGS, ifr)) {
    bool perm = errno == EPERM || errno == EACCES;
    err = perm ? fmt("netburn needs root privileges (CAP_NET_ADMIN) to bring port %s up.",
                     p.name.c_str())
               : fmt("Port %s: cannot bring it up (%s).", p.name.c_str(), std::strerror(errno));
    code = perm ? kExitPrivilege : kExitPortFailed;
    return false;
  }
  p.raised = true;
  return true;
}

bool open_port(Port& p, std::string& err, int& code) {
  p.fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(kEtherType));
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
  req.tp_block_size = kRingBlock;
  req.tp_frame_size = kRingSlot;
  req.tp_frame_nr = kRingFrames;
  req.tp_block_nr = kRingBlocks;
  if (::setsockopt(p.fd, SOL_PACKET, PACKET_RX_RING, &req, sizeof req) < 0)
    return bad("set up the receive ring");
  const size_t bytes = static_cast<size_t>(req.tp_block_size) * req.tp_block_nr;
  void* m = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, p.fd, 0);
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
  // Without it a port that filters by address never shows a hub's flooding;
  // the kernel drops it again with the socket.
  packet_mreq mr{};
  mr.mr_ifindex = p.ifindex;
  mr.mr_type = PACKET_MR_PROMISC;
  if (::setsockopt(p.fd, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &mr, sizeof mr) < 0)
    return bad("listen in promiscuous mode");
  int pending = 0;
  socklen_t len = sizeof pending;
  ::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &pending, &len);  // reading it clears it
  return true;
}

bool has_carrier(const Port& p) {
  if (auto c = sysfs::text(attr(p.name, "carrier")); c && (*c == "0" || *c == "1")) return *c == "1";
  // No word from sysfs: the kernel's running flag follows the carrier too.
  ifreq ifr{};
  return if_ioctl(p.name, SIOCGIFFLAGS, ifr) && (ifr.ifr_flags & IFF_UP) &&
         (ifr.ifr_flags & IFF_RUNNING);
}

std::optional<uint64_t> link_downs(const Port& p) {
  if (auto n = sysfs::number(attr(p.name, "carrier_down_count"))) return n;
  return sysfs::number(attr(p.name, "carrier_changes"));
}

std::string link_text(const Port& p) {
  if (!has_carrier(p)) return "no link";
  std::string s = "link up";
  auto speed = sysfs::text(attr(p.name, "speed"));
  long sp = -1;
  if (speed && !speed->empty()) {
    char* end = nullptr;
    sp = std::strtol(speed->c_str(), &end, 10);
    if (*end) sp = -1;
  }
  s += sp > 0 ? fmt(", %ld Mb/s", sp) : std::string(", speed unknown");
  auto duplex = sysfs::text(attr(p.name, "duplex"));
  bool known = duplex && (*duplex == "full" || *duplex == "half");
  s += known ? ", " + *duplex + " duplex" : std::string(", duplex unknown");
  return s;
}

std::map<std::string, uint64_t> read_counters(const Port& p) {
  std::map<std::string, uint64_t> m;
  for (const char* c : kCounters)
    if (auto v = sysfs::number("class/net/" + p.name + "/statistics/" + c)) m[c] = *v;
  return m;
}

}  // namespace netburn
