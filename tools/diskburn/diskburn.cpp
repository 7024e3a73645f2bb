// diskburn: see diskburn.h.  I/O threads never write output: they post
// results, and the main thread reports.  A full output pipe therefore slows
// only the reporting, and a stop never waits for it.

#include "diskburn.h"


#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>

#include "access.h"
#include "burnset.h"
#include "toolframe/emit.h"
#include "holds.h"
#include "identity.h"
#include "pass.h"
#include "stamp.h"
#include "toolframe/stopsignal.h"
#include "toolframe/util.h"
#include "warnings.h"

namespace diskburn {

namespace {
// Settings and test hooks are decimal; zero is a number too (a hook's
// first byte).
bool parse_u64(const char* s, uint64_t& v) {
  auto n = toolframe::parse_decimal(s);
  if (n) v = *n;
  return n.has_value();
}

// A setting's value, if it is set and within lo..hi; a usage error otherwise.
bool setting(const char* name, uint64_t lo, uint64_t hi, uint64_t& v, bool& bad) {
  const char* s = std::getenv(name);
  if (!s) return false;
  bad = !parse_u64(s, v) || v < lo || v > hi;
  return !bad;
}
}  // namespace

int Burn::run(int argc, char** argv) {
  pass_ = toolframe::pass_number();
  if (argc != 2 || std::strcmp(argv[1], "--list") != 0) say(" " + toolframe::started_line(pass_));
  if (auto rc = settings(argc, argv)) return *rc;
  for (auto step :
       {&Burn::targets, &Burn::open, &Burn::keep_set, &Burn::grace, &Burn::smart_start, &Burn::workers}) {
    if (toolframe::g_signalled) return stopped();
    if (auto rc = (this->*step)()) return *rc;
  }
  return monitor() ? report() : stopped();
}

bool Burn::say(const std::string& line) { return toolframe::emit_or_stop(line); }

std::optional<int> Burn::settings(int argc, char** argv) {
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
  uint64_t v = 0;
  bool bad = false;
  setting("DISKBURN_GRACE_SECONDS", 0, 3600, grace_s_, bad);
  if (bad) {
    say("DISKBURN_GRACE_SECONDS must be a number of seconds from 0 to 3600.");
    return kExitUsage;
  }
  if (setting("DISKBURN_BLOCK_KIB", 4, 65536, v, bad)) {
    bad = (v & (v - 1)) != 0;
    cfg_.chunk = static_cast<size_t>(v) << 10;
  }
  if (bad) {
    say("DISKBURN_BLOCK_KIB must be a power of two from 4 to 65536.");
    return kExitUsage;
  }
  if (setting("DISKBURN_QUEUE_DEPTH", 1, 64, v, bad)) cfg_.depth = static_cast<unsigned>(v);
  if (bad) {
    say("DISKBURN_QUEUE_DEPTH must be a number from 1 to 64.");
    return kExitUsage;
  }
#ifdef DISKBURN_TEST_HOOKS
  if (parse_u64(std::getenv("DISKBURN_TEST_DELAY_MS"), v)) cfg_.delay_ms = static_cast<unsigned>(v);
  if (parse_u64(std::getenv("DISKBURN_TEST_CORRUPT"), v)) cfg_.corrupt = v;
  if (parse_u64(std::getenv("DISKBURN_TEST_MISDIRECT"), v)) cfg_.misdirect = v;
#endif
  return std::nullopt;
}

// On a first pass the operator reads the medium's warnings before any
// disk is named; a later pass writes only the first pass's disks.
std::optional<int> Burn::targets() {
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
  return pass_ > 1 ? later_pass(chooser.seen()) : std::nullopt;
}

std::optional<int> Burn::list() {
  for (auto& t : targets_) {
    say(disk_line(*t, t->sysfs_size));
    std::string why;
    auto node = t->path.empty() ? nodes_.node(t->name, t->dev, why) : std::optional<std::string>(t->path);
    say(node ? holds_line(*t, *node, nodes_) : "Disk " + t->name + " holds: not known (" + why + ").");
  }
  if (!targets_.empty()) return kExitPass;
  say("No disks to test.");
  return kExitNothing;
}

std::optional<int> Burn::later_pass(const std::set<std::string>& seen) {
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
  return gone.empty() ? std::nullopt : std::optional<int>(kExitIO);
}

// Every disk is opened before any is described: a path to a disk found
// busy only now leaves out the disk's other paths as well.
std::optional<int> Burn::open() {
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
  return std::nullopt;
}

// Its lines once it is open; on the first pass, what it holds.
void Burn::describe(Target& t) {
  say(disk_line(t, t.full));
  if (pass_ == 1) say(holds_line(t, t.path, nodes_));
  say(fmt(" %s: %s (%" PRIu64 " bytes) to test, direct I/O in %zu-byte units.", t.name.c_str(),
          human(t.size).c_str(), t.size, t.align));
  if (t.size < t.full)
    say(fmt(" %s: the last %" PRIu64 " bytes are not a whole block and are not tested.", t.name.c_str(),
            t.full - t.size));
}

std::optional<int> Burn::keep_set() {
  if (pass_ != 1) return std::nullopt;
  if (auto why = BurnSet::save(targets_)) {
    say("Burn-in disk set not kept: nothing written (" + *why + ").");
    return kExitSet;
  }
  return std::nullopt;
}

// The operator's last chance: a stop now writes nothing.
std::optional<int> Burn::grace() {
  if (pass_ != 1 || grace_s_ == 0) return std::nullopt;
  say(fmt("Writing starts in %" PRIu64 " s: stop the burn-in now to keep these disks.", grace_s_));
  if (!toolframe::sleep_interruptibly(std::chrono::seconds(grace_s_))) return stopped();
  return std::nullopt;
}

std::optional<int> Burn::smart_start() {
  smart_.start(targets_);  // a stop there is seen before the workers start
  return std::nullopt;
}

std::optional<int> Burn::workers() {
  const uint64_t seed = toolframe::random64();
  cfg_.seed = seed;
  tmpl_ = make_template(kTemplate, seed);
  for (size_t i = 0; i < targets_.size(); ++i) {
    targets_[i]->ident = target_ident(i);
    cfg_.owners.push_back({targets_[i]->ident, targets_[i]->name});
  }
  reported_.assign(targets_.size(), kWriting);
  say(fmt(" Pattern seed %016" PRIx64 ", %zu KiB blocks, %u in flight per disk.", seed, cfg_.chunk >> 10,
          cfg_.depth));
  say(fmt("Writing and verifying %zu disk%s, %s in all.", targets_.size(), targets_.size() == 1 ? "" : "s",
          human(total_).c_str()));
#ifdef DISKBURN_TEST_HOOKS
  if (cfg_.corrupt) targets_[0]->corrupt_at = *cfg_.corrupt % targets_[0]->size;
  if (cfg_.misdirect && targets_.size() > 1) targets_[1]->misdirect_at = *cfg_.misdirect % targets_[1]->size;
#endif
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
  return std::nullopt;
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
  say(fmt("Pass complete: %zu disk%s (%s) written and verified without error.", targets_.size(),
          targets_.size() == 1 ? "" : "s", human(total_).c_str()));
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
  toolframe::emit_before(stop_line(pass_, pct, amount), Clock::now() + std::chrono::milliseconds(300));
  return kExitPass;
}

void Burn::note_phases() {
  for (size_t i = 0; i < targets_.size(); ++i) {
    Target& t = *targets_[i];
    int ph = t.phase.load();
    if (ph >= kVerifying && reported_[i] < kVerifying) say(rate_line(t.name, "written", t.write_s, t.size));
    if (ph == kFinished && reported_[i] < kFinished) say(rate_line(t.name, "verified", t.verify_s, t.size));
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

// rundiags restarts a helper after every pass and may stop the test at any
// moment. A SIGTERM that comes while the helper is still starting up must
// end it cleanly, not kill it (a killed helper reads as a failed test), so
// the stop handlers go in before anything else of the program runs.
[[gnu::constructor(101)]] static void catch_stops_from_the_start() { toolframe::install_stop_signals(); }

int main(int argc, char** argv) { return diskburn::Burn().run(argc, argv); }
