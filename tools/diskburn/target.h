// diskburn: what one target is and how a run is set up; shared by the
// files of the diskburn program.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "toolframe/stopsignal.h"
#include "toolframe/util.h"

namespace diskburn {

using toolframe::fmt;

// Exit statuses; documented for the operator's manual.
enum ExitCode : int {
  kExitPass = 0,      // every disk written and verified (or stopped by a signal)
  kExitUsage = 1,     // no --destroy (nothing written), bad arguments or settings
  kExitNothing = 2,   // no disk to test
  kExitOpen = 3,      // a disk or target could not be opened or sized
  kExitIO = 4,        // read or write error, short transfer, disk vanished
  kExitVerify = 5,    // data read back differs from what was written
  kExitInternal = 6,  // out of memory, threads, and the like
  kExitSmart = 7,     // the disk's SMART counters say it got worse during the pass
  kExitSet = 8,       // the burn-in's disk set could not be kept, or read in a later pass
};

constexpr size_t kSector = 512;  // stamp granularity
constexpr size_t kMemAlign = 4096;
// The fill repeats every kTemplate bytes: small enough to stay in the CPU
// cache while a block is compared, so the verify runs at the speed of the read.
constexpr size_t kTemplate = 64 << 10;

using Clock = std::chrono::steady_clock;

struct Failure {
  int code = 0;
  std::string text;
};

enum Phase : int { kWriting = 0, kFlushing = 1, kVerifying = 2, kFinished = 3 };

struct Target {
  std::string name;  // as the operator knows it: the sysfs name, or the file's path
  std::string path;  // what is opened; for a scanned disk, found at open time
  bool is_block = false;
  bool listed = false;      // named in DISKBURN_TARGETS
  dev_t dev = 0;           // block devices: the device number
  uint64_t sysfs_size = 0;  // bytes, as known before opening
  std::string model = "unknown model", serial = "unknown", wwid;
  std::string sysfs_path;  // block devices: its directory in sysfs, below the root
  uint64_t ident = 0;  // mixed into every stamp: no two targets share a pattern

  int fd = -1;
  uint64_t size = 0;    // bytes tested
  uint64_t full = 0;    // bytes the target had at the start
  size_t align = 4096;  // offsets and lengths of direct I/O
  ino_t ino = 0;

  std::atomic<uint64_t> next{0};      // next chunk index to take
  std::atomic<uint64_t> done{0};      // bytes written plus bytes verified
  std::atomic<uint64_t> verified{0};  // bytes read back and found right
  std::atomic<int> phase{kWriting};
  double write_s = 0, verify_s = 0;

  std::mutex mu;
  Failure failure;  // first failure on this target
  void fail(int code, std::string text) {
    std::lock_guard<std::mutex> g(mu);
    if (failure.code == 0) failure = {code, std::move(text)};
  }
  bool failed() {
    std::lock_guard<std::mutex> g(mu);
    return failure.code != 0;
  }
  ~Target();
};

// Whose data a stamp says it is: every target's identity and name.
struct Owner {
  uint64_t ident;
  std::string name;
};

struct Settings {
  size_t chunk = 4 << 20;
  unsigned depth = 2;
  uint64_t seed = 0;
  std::vector<Owner> owners;  // in the order of the targets
};

// Set to make every I/O thread stop at its next block.
extern std::atomic<bool> g_abort;

// True once the pass must end: a failure, or a stop signal.  The I/O
// threads look at it before every request, so a stop writes nothing new.
inline bool stopping() {
  return g_abort.load(std::memory_order_relaxed) || toolframe::g_signalled.load(std::memory_order_relaxed);
}

}  // namespace diskburn
