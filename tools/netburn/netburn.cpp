// netburn: burn-in traffic among the machine's Ethernet ports.
//
// One pass ("-1"): the ports take turns; in its turn a port sends unicast
// frames of a local experimental EtherType to each other port of its group
// (the ports that hear it) at that port's own hardware address.  Each frame
// carries this run's id, the sender's and the receiver's port numbers, a
// turn number and a sequence number, and a body made from them.  Every port
// checks every byte and counts the distinct intact frames of this run that
// were meant for it.  Every port receives the same number of frames per round, so "frames the others sent
// to a port" is one number for all ports and goes out as the sent count of
// the status lines: a port that got every frame reads 100.
//
// A pass fails (exit 4) when a port has no link at the start, loses it, or
// shows below 90 percent in any status line: the reader marks such a port
// BAD for good, and the verdict must agree with the screen.  The reader sees
// only each port's total, so the pass also ends, right after the status
// line that shows it, when one sender-to-receiver pair is below 90 percent
// or a frame arrived corrupted: one bad sender among many costs each
// receiver too little to show.
//
// Threads: one sender, one receiver per port, and the main thread, which is
// the only one that writes output.  The pipe to the reader may fill while
// nobody reads it; the main thread then waits in toolframe::emit while the
// traffic and the counting carry on untouched, and a stop signal still ends
// the traffic at once (the sender watches for it itself).  Message lines
// wait for the reader however long it takes, since it needs every one;
// status lines give way to a stop.  Every line is made by
// toolframe/protocol.h.

#include <net/if.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <thread>

#include "burn.h"
#include "report.h"
#include "settings.h"
#include "sysfs.h"
#include "toolframe/emit.h"
#include "toolframe/protocol.h"
#include "toolframe/run.h"
#include "toolframe/settings.h"
#include "toolframe/stopsignal.h"
#include "toolframe/util.h"

namespace netburn {

using toolframe::fmt;
using toolframe::g_signalled;
using toolframe::join;
using toolframe::kGoOn;
using toolframe::Outcome;

class Session {
 public:
  int run(int argc, char** argv);

 private:
  Outcome settings(int argc, char** argv);
  Outcome find_ports();
  Outcome open_ports();
  Outcome start_workers();
  void monitor();
  int report();

  Outcome stopped_early();
  Outcome set_up_failed(const Port& p, const std::string& err, int code);
  void wait_for_links();
  void check_links();
  bool show(const Snapshot& s, bool last = false);
  void judge_pairs(const Snapshot& s, bool last);
  void judge_repeats(const Snapshot& s);
  void say_sending();
  void join_workers();
  std::string failed_line() const;
  std::string stopped_line(const Snapshot& s) const;
  std::string complete_line(const Snapshot& s) const;

  Settings set_;
  std::vector<std::unique_ptr<Port>> owned_;
  std::vector<Port*> ports_;
  std::unique_ptr<Burn> burn_;
  std::vector<std::thread> rx_;
  std::thread tx_;
  bool stopped_ = false;
  std::string last_status_;
  std::vector<std::string> link_lines_;  // "Port <name>: link up, ..."
  std::vector<std::string> causes_;   // why the pass failed, besides percentages
  std::vector<bool> lost_;            // ports whose link loss is reported
  std::map<size_t, int64_t> low_;     // lowest percentage shown below 90, per port
  using Pair = std::pair<size_t, size_t>;  // sender, receiver
  std::map<Pair, int64_t> low_pairs_;     // lowest percentage below 90, per pair
  std::map<Pair, uint64_t> corrupt_;      // corrupted frames, per pair
};

int Session::run(int argc, char** argv) {
  if (Outcome end = settings(argc, argv)) return *end;
  if (Outcome end = toolframe::run_steps(*this, {&Session::find_ports, &Session::open_ports, &Session::start_workers}))
    return *end;
  monitor();
  return report();
}

Outcome Session::settings(int argc, char** argv) {
  SettingsOrError s = read_settings();
  toolframe::emit(toolframe::pass_started(toolframe::pass_number()));
  if (argc != 2 || std::strcmp(argv[1], "-1") != 0) {
    toolframe::emit("Usage: netburn -1   (one burn-in pass over all Ethernet ports)");
    return kExitUsage;
  }
  if (!s.error.empty()) {
    toolframe::emit(s.error);
    return kExitUsage;
  }
  set_ = s.settings;
  return kGoOn;
}

Outcome Session::find_ports() {
  Scan scan = scan_ports();
  for (auto& [name, why] : scan.skipped) toolframe::emit(fmt("Skipping %s: %s.", name.c_str(), why.c_str()));
  if (scan.ports.size() < 2) {
    if (scan.ports.empty()) toolframe::emit("No Ethernet ports found.");
    else toolframe::emit(fmt("Only one Ethernet port found (%s).", scan.ports[0].c_str()));
    toolframe::emit("To pass the burn-in test, you need at least two network ports.");
    return kExitTooFewPorts;
  }
  toolframe::emit(fmt("Testing %zu Ethernet ports: %s", scan.ports.size(), join(scan.ports, " ").c_str()));
  const size_t P = scan.ports.size();
  for (const auto& n : scan.ports) {
    auto p = std::make_unique<Port>();
    p->name = p->label = n;
    for (char& c : p->label)
      if (c == '=' || c == ' ') c = '_';
    p->number = ports_.size();
    p->tally = std::make_unique<Tally>(P);
    p->from.reset(new std::atomic<uint64_t>[P]());
    p->heard.reset(new std::atomic<uint8_t>[P]());
    p->corrupt.reset(new std::atomic<uint64_t>[P]());
    std::string err;
    int code = kExitPortFailed;
    if (!identify_port(*p, err) || !raise_port(*p, err, code)) return set_up_failed(*p, err, code);
    for (Port* q : ports_)
      if (std::memcmp(q->mac, p->mac, sizeof p->mac) == 0)
        toolframe::emit(fmt("Port %s: same hardware address as %s; a switch cannot tell them apart.",
                         p->name.c_str(), q->name.c_str()));
    ports_.push_back(p.get());
    owned_.push_back(std::move(p));
  }
  lost_.assign(P, false);
  return kGoOn;
}

Outcome Session::stopped_early() {
  if (!g_signalled.load()) return kGoOn;
  toolframe::emit(toolframe::net_stopped_early());
  return kExitPass;
}

Outcome Session::set_up_failed(const Port& p, const std::string& err, int code) {
  toolframe::emit(err);
  if (code == kExitPortFailed) toolframe::emit(toolframe::pass_failed(p.name + " could not be set up"));
  return code;
}

// Links that we just raised need a moment to negotiate.
void Session::wait_for_links() {
  if (std::none_of(ports_.begin(), ports_.end(), [](Port* p) { return p->raised; })) return;
  toolframe::emit("Bringing ports up and waiting for their links...");
  const auto until = Clock::now() + seconds(kLinkWaitSeconds);
  while (Clock::now() < until && !g_signalled.load()) {
    if (std::all_of(ports_.begin(), ports_.end(), [](Port* p) { return has_carrier(*p); })) return;
    toolframe::sleep_interruptibly(std::chrono::milliseconds(100));
  }
}

Outcome Session::open_ports() {
  wait_for_links();
  if (Outcome end = stopped_early()) return end;
  std::vector<std::string> dead;
  for (Port* p : ports_) {
    if (has_carrier(*p)) {
      link_lines_.push_back(fmt("Port %s: %s.", p->name.c_str(), link_text(*p).c_str()));
      continue;
    }
    link_lines_.push_back(fmt("Port %s: no link; check its cable and the switch port.", p->name.c_str()));
    dead.push_back(p->name);
  }
  if (!dead.empty()) {
    for (const auto& line : link_lines_) toolframe::emit(line);
    toolframe::emit(toolframe::pass_failed("no link on " + join(dead, ", ") + "; nothing was sent"));
    return kExitPortFailed;
  }
  // Sockets come after the links: one bound to a port that is still down
  // starts life with a "network is down" error.
  for (Port* p : ports_) {
    std::string err;
    int code = 0;
    if (!open_port(*p, err, code)) return set_up_failed(*p, err, code);
    p->stats_before = read_counters(*p);
    p->downs_before = link_downs(*p);
  }
  return stopped_early();
}

Outcome Session::start_workers() {
  Plan plan;
  plan.run = toolframe::random64();
  size_t payload = 1500;
  for (Port* p : ports_) payload = std::clamp<size_t>(p->mtu, 46, payload);
  plan.frame_bytes = kEthHeader + payload;
  plan.length = seconds(set_.pass_seconds);
  const bool raised = std::any_of(ports_.begin(), ports_.end(), [](Port* p) { return p->raised; });
  plan.warmup = seconds(raised ? kWarmupSeconds : kLearnSeconds);
  plan.rate = set_.rate;
  burn_ = std::make_unique<Burn>(ports_, plan);

  try {
    toolframe::SignalsBlocked only_main_takes_signals;
    for (size_t j = 0; j < ports_.size(); ++j) rx_.emplace_back(&Burn::receiver, burn_.get(), j);
    tx_ = std::thread(&Burn::sender, burn_.get());
  } catch (const std::exception& e) {
    toolframe::emit(fmt("netburn: cannot start its threads (%s).", e.what()));
    join_workers();
    return kExitInternal;
  }
  // Written once the traffic runs: a reader that leaves the pipe full from
  // the start must not hold up the pass.
  for (const auto& line : link_lines_) toolframe::emit(line);
  return kGoOn;
}

void Session::join_workers() {
  burn_->request_stop();
  if (tx_.joinable()) tx_.join();
  burn_->stop_receivers();
  for (auto& t : rx_) t.join();
  rx_.clear();
}

// Status lines four times a second until the sender is done, a stop signal
// comes, a link goes, or a status line shows a port below 90 percent.
void Session::monitor() {
  bool said_sending = false;
  for (;;) {
    if (g_signalled.load()) {
      stopped_ = true;
      break;
    }
    if (burn_->done() || burn_->failed() || !causes_.empty() || !low_.empty() || !low_pairs_.empty() ||
        !corrupt_.empty())
      break;
    toolframe::sleep_interruptibly(kStatusPeriod);
    if (!said_sending && burn_->warmed_up()) {
      say_sending();
      said_sending = true;
    }
    check_links();
    Snapshot s = burn_->snapshot();
    if (s.valid && s.per_port_sent > 0) show(s);
  }
  join_workers();
}

void Session::say_sending() {
  for (const auto& line : group_lines(ports_, burn_->groups())) toolframe::emit(line);
  std::string rate = set_.rate ? fmt(", at most %" PRIu64 " frames/s per port", set_.rate) : "";
  toolframe::emit(fmt("Sending for %g s: %zu-byte frames from each port to each other in turn%s.",
                   set_.pass_seconds, burn_->frame_bytes(), rate.c_str()));
}

// A link that is down now, or went down since the pass began, fails the pass.
void Session::check_links() {
  for (Port* p : ports_) {
    if (lost_[p->number]) continue;
    auto downs = link_downs(*p);
    bool went = p->downs_before && downs && *downs > *p->downs_before;
    if (has_carrier(*p) && !went) continue;
    lost_[p->number] = true;
    toolframe::emit(fmt("Port %s: link lost; check its cable and the switch port.", p->name.c_str()));
    causes_.push_back(p->name + " lost its link");
    burn_->request_stop();
  }
}

// Writes the status line; notes every port it puts below 90 percent.
bool Session::show(const Snapshot& s, bool last) {
  std::string line = status_line(ports_, s);
  if (line == last_status_ || !toolframe::emit_or_stop(line)) return false;
  last_status_ = line;
  const uint64_t want = expected(s);
  for (size_t j = 0; j < ports_.size(); ++j) {
    int64_t pct = toolframe::percent_of(s.counts[j], want);
    if (pct > kBadPercent) continue;
    auto [it, fresh] = low_.emplace(j, pct);
    if (!fresh) it->second = std::min(it->second, pct);
  }
  judge_pairs(s, last);
  if (!low_.empty() || !low_pairs_.empty() || !corrupt_.empty()) burn_->request_stop();
  return true;
}

// Every sender-to-receiver pair on its own: below 90 percent, or a single
// corrupted frame, fails the pass.  A pair with few frames yet waits for
// more, or for the pass's last count.
void Session::judge_pairs(const Snapshot& s, bool last) {
  for (size_t i = 0; i < ports_.size(); ++i)
    for (size_t j = 0; j < ports_.size(); ++j) {
      if (s.corrupt[j][i] > 0) corrupt_[{i, j}] = s.corrupt[j][i];
      if (s.sent[i][j] == 0 || (!last && s.sent[i][j] < kPairSample)) continue;
      int64_t pct = pair_percent(s, i, j);
      if (pct > kBadPercent) continue;
      auto [it, fresh] = low_pairs_.emplace(Pair{i, j}, pct);
      if (!fresh) it->second = std::min(it->second, pct);
    }
}

int Session::report() {
  // A port whose link loss is told already fails to send or receive too.
  if (Failure f = burn_->failure(); burn_->failed() && (f.port == SIZE_MAX || !lost_[f.port])) {
    for (const auto& m : f.messages) toolframe::emit(m);
    causes_.insert(causes_.end(), f.causes.begin(), f.causes.end());
  }
  const Snapshot s = burn_->snapshot();
  const bool counted = s.valid && s.per_port_sent > 0;
  if (counted) {
    show(s, true);
    judge_repeats(s);
    for (size_t j = 0; j < ports_.size(); ++j) toolframe::emit(result_line(ports_, s, j));
    for (auto [pair, pct] : low_pairs_) toolframe::emit(pair_line(ports_, s, pair.first, pair.second));
    for (auto [pair, k] : corrupt_) toolframe::emit(corrupt_line(ports_, s, pair.first, pair.second));
    for (Port* p : ports_)
      for (const auto& note : port_notes(*p)) toolframe::emit(note);
  }
  if (!causes_.empty() || !low_.empty() || !low_pairs_.empty() || !corrupt_.empty()) {
    toolframe::emit(failed_line());
    return kExitPortFailed;
  }
  if (stopped_) {
    toolframe::emit(stopped_line(s));
    return kExitPass;
  }
  if (!counted) {
    toolframe::emit(toolframe::pass_failed("no frame could be sent"));
    return kExitPortFailed;
  }
  toolframe::emit(complete_line(s));
  return kExitPass;
}

// A port that gets the same frames again sits on a mirrored or looped
// switch port: what it counts says nothing of its own cable.
void Session::judge_repeats(const Snapshot& s) {
  for (size_t j = 0; j < ports_.size(); ++j) {
    const uint64_t k = ports_[j]->repeated.load();
    if (k > 0 && k * 100 > s.counts[j] * kRepeatPercent)
      causes_.push_back(ports_[j]->name + " received repeated frames");
  }
}

std::string Session::failed_line() const {
  toolframe::NetFailure f;
  f.causes = causes_;
  for (auto [j, pct] : low_) f.low.emplace_back(ports_[j]->name, pct);
  for (auto [pair, pct] : low_pairs_) f.low_pairs.push_back({{ports_[pair.first]->name, ports_[pair.second]->name}, pct});
  for (auto [pair, k] : corrupt_) f.corrupt.push_back({{ports_[pair.first]->name, ports_[pair.second]->name}, k});
  return toolframe::net_failed(f);
}

static uint64_t total(const std::vector<uint64_t>& v) {
  uint64_t t = 0;
  for (uint64_t x : v) t += x;
  return t;
}

std::string Session::stopped_line(const Snapshot& s) const {
  if (!s.valid || s.per_port_sent == 0) return toolframe::net_stopped_early();
  return toolframe::net_stopped(burn_->seconds_sending, set_.pass_seconds, expected(s) * ports_.size(),
                                total(s.counts));
}

std::string Session::complete_line(const Snapshot& s) const {
  const uint64_t want = expected(s);
  int64_t lowest = 100;
  for (uint64_t c : s.counts) lowest = std::min(lowest, toolframe::percent_of(c, want));
  const toolframe::NetTotals t{want * ports_.size(), total(s.counts), burn_->seconds_sending, burn_->frames_sent,
                               burn_->frame_bytes()};
  return toolframe::net_complete(lowest, group_names(ports_, burn_->groups()), t);
}

int run(int argc, char** argv) { return Session().run(argc, argv); }

}  // namespace netburn

int main(int argc, char** argv) { return toolframe::helper_main(argc, argv, netburn::run); }
