// diskburn: see diskburn.h.  I/O threads never write output: they post
// results, and the main thread reports.  A full output pipe therefore slows
// only the reporting, and a stop never waits for it.  Every line is made by
// toolframe/protocol.h.

#include "diskburn.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>

#include "access.h"
#include "burnset.h"
#include "holds.h"
#include "identity.h"
#include "pass.h"
#include "stamp.h"
#include "toolframe/emit.h"
#include "toolframe/protocol.h"
#include "toolframe/settings.h"
#include "toolframe/stopsignal.h"
#include "toolframe/util.h"
#include "warnings.h"

namespace diskburn {

int run(int argc, char** argv) { return Burn().run(argc, argv); }

int Burn::run(int argc, char** argv) {
  pass_ = toolframe::pass_number();
  if (argc != 2 || std::strcmp(argv[1], "--list") != 0) say(toolframe::detail(toolframe::pass_started(pass_)));
  if (Outcome end = settings(argc, argv)) return *end;
  if (Outcome end = toolframe::run_steps(*this, {&Burn::targets, &Burn::open, &Burn::keep_set, &Burn::grace,
                                                 &Burn::smart_start, &Burn::workers},
                                         &Burn::stop_check))
    return *end;
  return monitor() ? report() : stopped();
}

// Between any two steps a stop ends the run.
Outcome Burn::stop_check() { return toolframe::g_signalled ? Outcome(stopped()) : kGoOn; }

bool Burn::say(const std::string& line) { return toolframe::emit_or_stop(line); }

Outcome Burn::settings(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    Mode m = std::strcmp(argv[i], "--destroy") == 0 ? Mode::kDestroy
             : std::strcmp(argv[i], "--list") == 0  ? Mode::kList
                                                    : Mode::kDry;
    if (m == Mode::kDry || (mode_ != Mode::kDry && mode_ != m) || (m == Mode::kList && argc != 2)) {
      say(fmt("Unknown argument \"%s\". Usage: diskburn --destroy, or diskburn --list", argv[i]));
      return kExitUsage;
    }
    mode_ = m;
  }
  toolframe::SettingsReader r;
  grace_s_ = r.number("DISKBURN_GRACE_SECONDS", 0, 3600,
                      "DISKBURN_GRACE_SECONDS must be a number of seconds from 0 to 3600.")
                 .value_or(grace_s_);
  auto power_of_two = [](uint64_t v) { return (v & (v - 1)) == 0; };
  if (auto kib = r.number("DISKBURN_BLOCK_KIB", 4, 65536, "DISKBURN_BLOCK_KIB must be a power of two from 4 to 65536.",
                          power_of_two))
    cfg_.chunk = static_cast<size_t>(*kib) << 10;
  if (auto depth = r.number("DISKBURN_QUEUE_DEPTH", 1, 64, "DISKBURN_QUEUE_DEPTH must be a number from 1 to 64."))
    cfg_.depth = static_cast<unsigned>(*depth);
  if (r.error().empty()) return kGoOn;
  say(r.error());
  return kExitUsage;
}

// On a first pass the operator reads the medium's warnings before any
// disk is named; a later pass writes only the first pass's disks.
Outcome Burn::targets() {
  if (mode_ == Mode::kList || (mode_ == Mode::kDestroy && pass_ == 1))
    for (auto& w : medium_warning_lines()) say(w);
  Chooser chooser(nodes_, [this](const std::string& l) { return say(l); });
  if (auto rc = chooser.choose(targets_)) return rc;
  if (mode_ == Mode::kList) return list();
  if (mode_ == Mode::kDry) {
    for (auto& t : targets_) say(disk_line(*t, t->sysfs_size));
    if (targets_.empty()) say("No disks to test.");
    say("Nothing written: diskburn overwrites disks only when run as \"diskburn --destroy\".");
    return kExitUsage;
  }
  return pass_ > 1 ? later_pass(chooser.seen()) : kGoOn;
}

Outcome Burn::list() {
  for (auto& t : targets_) {
    say(disk_line(*t, t->sysfs_size));
    std::string why;
    auto node = t->path.empty() ? nodes_.node(t->name, t->dev, why) : std::optional<std::string>(t->path);
    say(node ? holds_line(*t, *node, nodes_) : toolframe::disk_holds(t->name, "not known (" + why + ")"));
  }
  if (!targets_.empty()) return kExitPass;
  say("No disks to test.");
  return kExitNothing;
}

Outcome Burn::later_pass(const std::set<std::string>& seen) {
  BurnSet set;
  if (auto why = set.load()) {
    say("Burn-in disk set missing: nothing written (" + *why + ").");
    return kExitSet;
  }
  Targets kept;
  for (auto& t : targets_) {
    if (set.has(burn_key(*t)))
      kept.push_back(std::move(t));
    else
      say("Leaving out " + t->name + ": appeared after the burn-in started.");
  }
  targets_ = std::move(kept);
  auto gone = set.gone(seen);
  for (auto& e : gone)
    say("Disk " + e.name + (e.serial.empty() ? "" : " (serial " + e.serial + ")") +
        " is gone: it was in the burn-in's set.");
  return gone.empty() ? kGoOn : Outcome(kExitIO);
}

// Every disk is opened before any is described: a path to a disk found
// busy only now leaves out the disk's other paths as well.
Outcome Burn::open() {
  Targets kept, busy;
  for (auto& t : targets_) {
    Failure f;
    Opened o = open_target(*t, nodes_, f);
    if (o == Opened::kBusy && t->listed) {
      say("Cannot open " + t->name + " for direct I/O: it is in use.");
      return kExitOpen;
    }
    if (o == Opened::kNo) {
      say(f.text);
      return f.code;
    }
    if (o == Opened::kBusy) say("Leaving out " + t->name + ": in use (busy when opened).");
    (o == Opened::kBusy ? busy : kept).push_back(std::move(t));
  }
  targets_.clear();
  for (auto& t : kept) {
    auto other = std::find_if(busy.begin(), busy.end(), [&](auto& b) { return same_identity(*b, *t); });
    if (other != busy.end()) {
      say("Leaving out " + t->name + ": another path to " + (*other)->name + ", which is in use (busy when opened).");
      continue;
    }
    describe(*t);
    total_ += t->size;
    targets_.push_back(std::move(t));
  }
  nodes_.clear();  // the open descriptors are all that is needed now
  sized_ = true;
  if (targets_.empty()) {
    say("No disks to test.");
    return kExitNothing;
  }
  return kGoOn;
}

// Its lines once it is open; on the first pass, what it holds.
void Burn::describe(Target& t) {
  say(disk_line(t, t.full));
  if (pass_ == 1) say(holds_line(t, t.path, nodes_));
  say(toolframe::disk_to_test(t.name, t.size, t.align));
  if (t.size < t.full) say(toolframe::disk_tail_untested(t.name, t.full - t.size));
}

Outcome Burn::keep_set() {
  if (pass_ != 1) return kGoOn;
  if (auto why = BurnSet::save(targets_)) {
    say("Burn-in disk set not kept: nothing written (" + *why + ").");
    return kExitSet;
  }
  return kGoOn;
}

// The operator's last chance: a stop now writes nothing.
Outcome Burn::grace() {
  if (pass_ != 1 || grace_s_ == 0) return kGoOn;
  say(toolframe::writing_starts(grace_s_));
  if (!toolframe::sleep_interruptibly(std::chrono::seconds(grace_s_))) return stopped();
  return kGoOn;
}

Outcome Burn::smart_start() {
  smart_.start(targets_);  // a stop there is seen before the workers start
  return kGoOn;
}

Outcome Burn::workers() {
  const uint64_t seed = toolframe::random64();
  cfg_.seed = seed;
  tmpl_ = make_template(kTemplate, seed);
  for (size_t i = 0; i < targets_.size(); ++i) {
    targets_[i]->ident = target_ident(i);
    cfg_.owners.push_back({targets_[i]->ident, targets_[i]->name});
  }
  reported_.assign(targets_.size(), kWriting);
  say(toolframe::disk_pattern(seed, cfg_.chunk >> 10, cfg_.depth));
  say(toolframe::disks_writing(targets_.size(), total_));
  if (toolframe::g_signalled) return stopped();  // nothing written yet
  try {
    toolframe::SignalsBlocked only_main_takes_signals;
    for (auto& t : targets_) threads_.emplace_back(disk_thread, std::ref(*t), std::cref(cfg_), tmpl_.data());
  } catch (const std::exception& e) {
    g_abort = true;
    join();
    say(fmt("diskburn: cannot start its threads (%s).", e.what()));
    return kExitInternal;
  }
  return kGoOn;
}

bool Burn::monitor() {
  Progress progress(total_, Clock::now());
  for (;;) {
    bool finished = true;
    for (auto& t : targets_) finished &= t->phase.load() == kFinished || t->failed();
    if (finished || g_abort.load()) break;
    if (!toolframe::sleep_interruptibly(std::chrono::milliseconds(100))) return false;
    check_vanished();
    note_phases();
    if (auto line = progress.update(done(), activity(), Clock::now())) say(*line);
  }
  join();
  return smart_.finish(targets_);
}

int Burn::report() {
  int code = kExitPass;
  for (auto& t : targets_) {
    std::lock_guard<std::mutex> g(t->mu);
    if (t->failure.code) {
      say(t->failure.text);
      if (code == kExitPass) code = t->failure.code;
    }
  }
  if (code != kExitPass) return code;
  note_phases();
  say(toolframe::disk_complete(targets_.size(), total_));
  return kExitPass;
}

// The last line of a stopped run, whatever step it was in.  Nobody may be
// reading any more, so it gets 300 ms to go out.
int Burn::stopped() {
  g_abort = true;
  join();
  for (auto& t : targets_)
    if (t->failed()) return report();  // it had failed before the stop came
  uint64_t verified = 0;
  for (auto& t : targets_) verified += t->verified.load();
  std::optional<uint64_t> amount;
  if (sized_) amount = (pass_ - 1) * total_ + verified;
  unsigned pct = sized_ ? Progress(total_, Clock::now()).percent(done()) : 0;
  toolframe::emit_before(toolframe::disk_stopped(pass_, pct, amount), Clock::now() + std::chrono::milliseconds(300));
  return kExitPass;
}

void Burn::note_phases() {
  for (size_t i = 0; i < targets_.size(); ++i) {
    Target& t = *targets_[i];
    int ph = t.phase.load();
    if (ph >= kVerifying && reported_[i] < kVerifying) say(toolframe::disk_rate(t.name, "written", t.write_s, t.size));
    if (ph == kFinished && reported_[i] < kFinished) say(toolframe::disk_rate(t.name, "verified", t.verify_s, t.size));
    reported_[i] = std::max(reported_[i], ph);
  }
}

void Burn::check_vanished() {
  for (auto& t : targets_)
    if (t->phase.load() != kFinished && !t->failed())
      if (auto why = vanished(*t)) {
        t->fail(kExitIO, fmt("Disk %s: %s.", t->name.c_str(), why->c_str()));
        g_abort = true;
      }
}

uint64_t Burn::done() const {
  uint64_t d = 0;
  for (auto& t : targets_) d += t->done.load();
  return d;
}

Activity Burn::activity() const {
  Activity a;
  for (auto& t : targets_) {
    int ph = t->phase.load();
    a.writing += ph == kWriting;
    a.flushing += ph == kFlushing;
    a.verifying += ph == kVerifying;
  }
  return a;
}

void Burn::join() {
  for (auto& th : threads_) th.join();
  threads_.clear();
}

}  // namespace diskburn
