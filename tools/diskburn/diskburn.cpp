// diskburn: destructive write-and-verify burn-in of every whole disk.
//
// A pass writes a pattern over each disk (all disks in parallel, large
// aligned direct-I/O blocks, a few requests in flight per disk), flushes it,
// then reads everything back and compares.  Every 512-byte sector starts with
// a stamp that binds its own byte offset to this pass's random seed, so a
// write that landed in the wrong place, or one that never landed and left an
// older pass's data behind, fails the compare and can be told apart.  The
// seed is drawn afresh for every run, which is how the pattern changes from
// pass to pass without keeping any state on the machine.
//
// I/O threads never write output: they post results, and the main thread
// reports.  A full output pipe therefore slows only the reporting.
//
// This file holds the command line, the choice of targets and the report;
// see diskburn.h for the other files.

#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "diskburn.h"

namespace diskburn {

using toolio::list_dir;
using toolio::path_exists;
using toolio::sleep_interruptibly;

std::string human(uint64_t bytes) {
  const char* unit[] = {"bytes", "kB", "MB", "GB", "TB", "PB"};
  double v = static_cast<double>(bytes);
  int u = 0;
  while (v >= 1000 && u < 5) {
    v /= 1000;
    ++u;
  }
  return u == 0 ? fmt("%" PRIu64 " bytes", bytes) : fmt("%.1f %s", v, unit[u]);
}

bool parse_u64(const char* s, uint64_t& v) {
  if (!s || !*s) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long x = std::strtoull(s, &end, 0);
  if (errno || *end || *s == '-') return false;
  v = x;
  return true;
}

int run(int argc, char** argv) {
  bool destroy = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--destroy") == 0) destroy = true;
    else {
      emit(fmt("Unknown argument \"%s\". Usage: diskburn --destroy", argv[i]));
      return kExitUsage;
    }
  }

  Settings cfg;
  if (const char* s = std::getenv("DISKBURN_BLOCK_KIB")) {
    uint64_t v;
    if (!parse_u64(s, v) || v < 4 || v > 65536 || (v & (v - 1))) {
      emit("DISKBURN_BLOCK_KIB must be a power of two from 4 to 65536.");
      return kExitUsage;
    }
    cfg.chunk = static_cast<size_t>(v) << 10;
  }
  if (const char* s = std::getenv("DISKBURN_QUEUE_DEPTH")) {
    uint64_t v;
    if (!parse_u64(s, v) || v < 1 || v > 64) {
      emit("DISKBURN_QUEUE_DEPTH must be a number from 1 to 64.");
      return kExitUsage;
    }
    cfg.depth = static_cast<unsigned>(v);
  }
#ifdef DISKBURN_TEST_HOOKS
  if (const char* s = std::getenv("DISKBURN_TEST_DELAY_MS")) {
    uint64_t v;
    if (parse_u64(s, v)) cfg.delay_ms = static_cast<unsigned>(v);
  }
  if (const char* s = std::getenv("DISKBURN_TEST_CORRUPT")) {
    uint64_t v;
    if (parse_u64(s, v)) cfg.corrupt = v;
  }
#endif

  toolio::install_stop_signals();

  // Choose the targets.
  std::vector<std::unique_ptr<Target>> targets;
  const auto in_use = disks_in_use();
  if (const char* env = std::getenv("DISKBURN_TARGETS")) {
    // Set at all, even empty, it replaces the scan: a test that lost its
    // list must never fall through to the machine's own disks.
    std::string list = env;
    size_t pos = 0;
    while (pos <= list.size()) {
      size_t end = list.find(':', pos);
      if (end == std::string::npos) end = list.size();
      std::string p = list.substr(pos, end - pos);
      pos = end + 1;
      if (p.empty()) continue;
      struct stat st;
      if (::stat(p.c_str(), &st) != 0) {
        emit(fmt("Cannot use %s: %s.", p.c_str(), std::strerror(errno)));
        return kExitOpen;
      }
      auto t = std::make_unique<Target>();
      t->path = p;
      t->name = p;
      if (S_ISBLK(st.st_mode)) {
        std::set<std::string> d;
        disks_of_devnum(st.st_rdev, d);
        if (d.size() != 1 || path_exists(fmt("/sys/dev/block/%u:%u/partition", major(st.st_rdev),
                                                minor(st.st_rdev)))) {
          emit(fmt("Cannot use %s: not a whole disk.", p.c_str()));
          return kExitOpen;
        }
        std::string disk = *d.begin();
        if (auto why = never_touch(disk, in_use, true)) {
          emit(fmt("Cannot use %s: %s.", p.c_str(), why->c_str()));
          return kExitOpen;
        }
        t->name = disk;
        emit(fmt("Target %s: %s, serial %s.", disk.c_str(), disk_model(disk).c_str(),
                 disk_serial(disk).c_str()));
      } else if (S_ISREG(st.st_mode)) {
        emit(fmt("Target %s: regular file.", p.c_str()));
      } else {
        emit(fmt("Cannot use %s: not a regular file or a block device.", p.c_str()));
        return kExitOpen;
      }
      targets.push_back(std::move(t));
    }
  } else {
    for (auto& name : list_dir("/sys/block")) {
      if (auto why = never_touch(name, in_use, false)) {
        emit(fmt("Leaving out %s: %s.", name.c_str(), why->c_str()));
        continue;
      }
      uint64_t sectors = std::strtoull(read_text("/sys/block/" + name + "/size").value_or("0").c_str(),
                                       nullptr, 10);
      emit(fmt("Disk %s: %s, serial %s, %s.", name.c_str(), disk_model(name).c_str(),
               disk_serial(name).c_str(), human(sectors * 512).c_str()));
      auto t = std::make_unique<Target>();
      t->name = name;
      t->path = "/dev/" + name;
      targets.push_back(std::move(t));
    }
  }
  if (targets.empty()) emit("No disks to test.");
  if (!destroy) {
    emit("Nothing written: diskburn overwrites disks only when run as \"diskburn --destroy\".");
    return kExitUsage;
  }
  if (targets.empty()) return kExitNothing;

  uint64_t total = 0;
  for (auto& t : targets) {
    Failure f;
    if (!open_target(*t, f)) {
      emit(f.text);
      return f.code;
    }
    total += t->size;
    emit(fmt(" %s: %s (%" PRIu64 " bytes) to test, direct I/O in %zu-byte units.", t->name.c_str(),
             human(t->size).c_str(), t->size, t->align));
    if (t->size < t->full)
      emit(fmt(" %s: the last %" PRIu64 " bytes are not a whole block and are not tested.",
               t->name.c_str(), t->full - t->size));
  }

  uint64_t seed = 0;
  if (::getrandom(&seed, sizeof seed, 0) != sizeof seed) seed = 0;
  seed ^= static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
          (static_cast<uint64_t>(::getpid()) << 32);
  cfg.seed = seed;
  std::vector<unsigned char> tmpl = make_template(kTemplate, seed);
  emit(fmt(" Pattern seed %016" PRIx64 ", %zu KiB blocks, %u in flight per disk.", seed,
           cfg.chunk >> 10, cfg.depth));
  emit(fmt("Writing and verifying %zu disk%s, %s in all.", targets.size(),
           targets.size() == 1 ? "" : "s", human(total).c_str()));

  sigset_t all, old;
  ::sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &old);
  std::vector<std::thread> threads;
#ifdef DISKBURN_TEST_HOOKS
  if (cfg.corrupt) targets[0]->corrupt_at = *cfg.corrupt % targets[0]->size;
#endif
  try {
    for (auto& t : targets) threads.emplace_back(disk_thread, std::ref(*t), std::cref(cfg), tmpl.data());
  } catch (const std::exception& e) {
    g_abort = true;
    for (auto& th : threads) th.join();
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    emit(fmt("diskburn: cannot start its threads (%s).", e.what()));
    return kExitInternal;
  }
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);

  auto start = Clock::now();
  auto last_report = start;
  uint64_t last_done = 0;
  std::vector<int> reported_phase(targets.size(), 0);
  bool stopped = false;
  for (;;) {
    bool finished = true;
    for (auto& t : targets) finished &= t->phase.load() == 2 || t->failed();
    if (finished || g_abort.load()) break;
    if (!sleep_interruptibly(std::chrono::milliseconds(100))) {
      stopped = true;
      g_abort = true;
      break;
    }
    for (size_t i = 0; i < targets.size(); ++i) {
      Target& t = *targets[i];
      if (t.phase.load() != 2 && !t.failed())
        if (auto why = vanished(t)) {
          t.fail(kExitIO, fmt("Disk %s: %s.", t.name.c_str(), why->c_str()));
          g_abort = true;
        }
      int ph = t.phase.load();
      if (ph > reported_phase[i]) {
        if (reported_phase[i] == 0)
          emit(fmt(" %s: written in %.1f s, %.1f MB/s.", t.name.c_str(), t.write_s,
                   static_cast<double>(t.size) / std::max(t.write_s, 1e-9) / 1e6));
        if (ph == 2)
          emit(fmt(" %s: verified in %.1f s, %.1f MB/s.", t.name.c_str(), t.verify_s,
                   static_cast<double>(t.size) / std::max(t.verify_s, 1e-9) / 1e6));
        reported_phase[i] = ph;
      }
    }
    auto now = Clock::now();
    if (now - last_report >= std::chrono::seconds(1)) {
      uint64_t done = 0;
      unsigned writing = 0, verifying = 0;
      for (auto& t : targets) {
        done += t->done.load();
        writing += t->phase.load() == 0;
        verifying += t->phase.load() == 1;
      }
      double rate = static_cast<double>(done - last_done) /
                    std::chrono::duration<double>(now - last_report).count() / 1e6;
      std::string what;
      if (writing) what += fmt("writing %u", writing);
      if (verifying) what += fmt("%sverifying %u", writing ? ", " : "", verifying);
      emit(fmt("Pass %" PRIu64 "%% done: %s, %.0f MB/s.", done * 100 / (2 * total), what.c_str(), rate));
      last_report = now;
      last_done = done;
    }
  }
  for (auto& th : threads) th.join();

  if (stopped) {
    emit("Stopped.");
    return kExitPass;
  }
  int code = kExitPass;
  for (auto& t : targets) {
    std::lock_guard<std::mutex> g(t->mu);
    if (t->failure.code) {
      emit(t->failure.text);
      if (code == kExitPass) code = t->failure.code;
    }
  }
  if (code != kExitPass) return code;
  for (size_t i = 0; i < targets.size(); ++i) {
    Target& t = *targets[i];
    if (reported_phase[i] == 0)
      emit(fmt(" %s: written in %.1f s, %.1f MB/s.", t.name.c_str(), t.write_s,
               static_cast<double>(t.size) / std::max(t.write_s, 1e-9) / 1e6));
    if (reported_phase[i] < 2)
      emit(fmt(" %s: verified in %.1f s, %.1f MB/s.", t.name.c_str(), t.verify_s,
               static_cast<double>(t.size) / std::max(t.verify_s, 1e-9) / 1e6));
  }
  emit(fmt("Pass complete: %zu disk%s (%s) written and verified without error.", targets.size(),
           targets.size() == 1 ? "" : "s", human(total).c_str()));
  return kExitPass;
}

}  // namespace diskburn

int main(int argc, char** argv) { return diskburn::run(argc, argv); }
