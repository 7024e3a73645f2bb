// diskburn with faults swapped into its pass (pass.h's PassHooks), for the
// tests: the same run as the program, on a disk that is slow or that gives
// back what was not written.  Never installed.  The faults are settings:
//   DISKBURN_TEST_DELAY_MS=<ms>    a pause before every block, cut short by
//                                  a stop: a pass slow enough to interrupt;
//   DISKBURN_TEST_CORRUPT=<byte>   that byte of the first target changed
//                                  between its write and its verify;
//   DISKBURN_TEST_MISDIRECT=<byte> the first target's block written over
//                                  that byte of the second, likewise.

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <thread>

#include "diskburn.h"
#include "pass.h"
#include "stamp.h"
#include "toolframe/emit.h"
#include "toolframe/run.h"
#include "toolframe/settings.h"

namespace {

using namespace diskburn;

struct Faults {
  uint64_t delay_ms = 0;
  std::optional<uint64_t> corrupt, misdirect;
} g_faults;

void slow_block() {
  auto until = Clock::now() + std::chrono::milliseconds(g_faults.delay_ms);
  while (Clock::now() < until && !stopping()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

bool put_block(Target& t, const unsigned char* b, uint64_t base) {
  return ::pwrite(t.fd, b, t.align, static_cast<off_t>(base)) == static_cast<ssize_t>(t.align);
}

// Changes the disk behind the program's back, the way a failing disk (a
// flipped byte) or a confused controller (another target's block written
// here) would.
void change_disk(Target& t, const Settings& cfg, const unsigned char* tmpl) {
  const bool first = t.ident == cfg.owners.at(0).ident;
  const bool second = cfg.owners.size() > 1 && t.ident == cfg.owners[1].ident;
  unsigned char* b = nullptr;
  if (::posix_memalign(reinterpret_cast<void**>(&b), kMemAlign, t.align) != 0)
    return t.fail(kExitInternal, "test hook: out of memory");
  if (first && g_faults.corrupt) {
    const uint64_t at = *g_faults.corrupt % t.size, base = at / t.align * t.align;
    bool ok = ::pread(t.fd, b, t.align, static_cast<off_t>(base)) == static_cast<ssize_t>(t.align);
    b[at - base] ^= 0x5a;
    if (!ok || !put_block(t, b, base)) t.fail(kExitInternal, "test hook: cannot corrupt the target");
  }
  if (second && g_faults.misdirect) {
    const uint64_t base = *g_faults.misdirect % t.size / t.align * t.align;
    fill_block(b, tmpl, base, t.align, cfg.seed, cfg.owners[0].ident, false);
    if (!put_block(t, b, base)) t.fail(kExitInternal, "test hook: cannot misdirect a block");
  }
  std::free(b);
}

int run_with_faults(int argc, char** argv) {
  toolframe::SettingsReader r;
  const char* bad = "DISKBURN_TEST_* settings are byte offsets or milliseconds.";
  g_faults.delay_ms = r.number("DISKBURN_TEST_DELAY_MS", 0, 3600000, bad).value_or(0);
  g_faults.corrupt = r.number("DISKBURN_TEST_CORRUPT", 0, UINT64_MAX, bad);
  g_faults.misdirect = r.number("DISKBURN_TEST_MISDIRECT", 0, UINT64_MAX, bad);
  if (!r.error().empty()) {
    toolframe::emit(r.error());
    return kExitUsage;
  }
  if (g_faults.delay_ms) g_pass_hooks.before_block = slow_block;
  g_pass_hooks.before_verify = change_disk;
  return diskburn::run(argc, argv);
}

}  // namespace

int main(int argc, char** argv) { return toolframe::helper_main(argc, argv, run_with_faults); }
