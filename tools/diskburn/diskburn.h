// diskburn: declarations shared by the files of the diskburn program.
//
// diskburn.cpp - the command line, the choice of targets and the report;
// disks.cpp    - which disks exist, which must be left alone, what they are;
// pass.cpp     - the write-and-verify pass over one target.
//
// Built twice: as diskburn, and with DISKBURN_TEST_HOOKS as the test-only
// diskburn_testhooks, whose targets and settings carry fault-injection hooks.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "toolio.h"

namespace diskburn {

using toolio::emit;
using toolio::fmt;

// sysfs and proc values with surrounding blanks stripped.
inline std::optional<std::string> read_text(const std::string& path) {
  return toolio::read_text(path, toolio::Trim::kBoth);
}

// Exit statuses; documented for the operator's manual.
enum ExitCode : int {
  kExitPass = 0,      // every disk written and verified (or stopped by a signal)
  kExitUsage = 1,     // no --destroy (nothing written), bad arguments or settings
  kExitNothing = 2,   // no disk to test
  kExitOpen = 3,      // a disk or target could not be opened or sized
  kExitIO = 4,        // read or write error, short transfer, disk vanished
  kExitVerify = 5,    // data read back differs from what was written
  kExitInternal = 6,  // out of memory, threads, and the like
};

constexpr size_t kSector = 512;       // stamp granularity
constexpr size_t kMemAlign = 4096;
constexpr uint64_t kMix = 0x9E3779B97F4A7C15ull;
// The fill repeats every kTemplate bytes: small enough to stay in the CPU
// cache while a block is compared, so the verify runs at the speed of the read.
constexpr size_t kTemplate = 64 << 10;

using Clock = std::chrono::steady_clock;

// Disk discovery (disks.cpp).

// Adds the whole disks under a block device number to out.
void disks_of_devnum(dev_t dev, std::set<std::string>& out);
// disk name -> why it must be left alone
std::map<std::string, std::string> disks_in_use();
// Why a whole disk must never be written, or nothing if it may.
std::optional<std::string> never_touch(const std::string& name,
                                       const std::map<std::string, std::string>& in_use,
                                       bool listed_by_operator);
std::string disk_model(const std::string& name);
std::string disk_serial(const std::string& name);

// Targets and the pass (pass.cpp).

struct Failure {
  int code = 0;
  std::string text;
};

struct Target {
  std::string name;   // as the operator knows it
  std::string path;
  bool is_file = false;
  int fd = -1;
  uint64_t size = 0;    // bytes tested
  uint64_t full = 0;    // bytes the target had at the start
  size_t align = 4096;  // offsets and lengths of direct I/O
  ino_t ino = 0;
#ifdef DISKBURN_TEST_HOOKS
  std::optional<uint64_t> corrupt_at;
#endif

  std::atomic<uint64_t> next{0};   // next chunk index to take
  std::atomic<uint64_t> done{0};   // bytes written plus bytes verified
  std::atomic<int> phase{0};       // 0 writing, 1 verifying, 2 finished
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
};

struct Settings {
  size_t chunk = 4 << 20;
  unsigned depth = 2;
  uint64_t seed = 0;
#ifdef DISKBURN_TEST_HOOKS
  unsigned delay_ms = 0;             // per block: makes a pass slow enough to interrupt
  std::optional<uint64_t> corrupt;   // flip a byte of the first target before verifying
#endif
};

// Set to make every I/O thread stop at its next block.
extern std::atomic<bool> g_abort;

// The bytes of every sector after its stamp, repeating every kTemplate
// bytes of the disk; different for every pass.
std::vector<unsigned char> make_template(size_t n, uint64_t seed);
// Writes, flushes and verifies one target; the body of its thread.
void disk_thread(Target& t, const Settings& cfg, const unsigned char* tmpl);
// Opens a target for direct I/O and learns its size.
bool open_target(Target& t, Failure& f);
// Lost from under us: a deleted file or a shrunken / removed device.
std::optional<std::string> vanished(Target& t);

}  // namespace diskburn
