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
//
// This file holds the command line, the setup of the ports and the report;
// see netburn.h for the other files.

#include <linux/if_packet.h>
#include <net/if.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <thread>

#include "netburn.h"

namespace netburn {

using toolio::g_signalled;
using toolio::sleep_interruptibly;

// The percentage exactly as the reader of our status lines computes it.
int64_t percent_of(int64_t count, int64_t sent) {
  if (sent == 0) sent = 1;
  return (count * 1000 + 5) / sent / 10;
}

int usage() {
  emit("Usage: netburn -1   (one burn-in pass over all Ethernet ports)");
  return kExitUsage;
}

int run(int argc, char** argv) {
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

  toolio::install_stop_signals();

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

}  // namespace netburn

int main(int argc, char** argv) { return netburn::run(argc, argv); }
