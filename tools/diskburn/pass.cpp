// diskburn: see pass.h.

#include "pass.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "stamp.h"

namespace diskburn {

std::atomic<bool> g_abort{false};
PassHooks g_pass_hooks;

Target::~Target() {
  if (fd >= 0) ::close(fd);
}

namespace {

struct AlignedBuf {
  unsigned char* p = nullptr;
  explicit AlignedBuf(size_t n) {
    if (::posix_memalign(reinterpret_cast<void**>(&p), kMemAlign, n) != 0) p = nullptr;
  }
  ~AlignedBuf() { std::free(p); }
  AlignedBuf(const AlignedBuf&) = delete;
  AlignedBuf& operator=(const AlignedBuf&) = delete;
};

// Compares one block with what was written; reports the first difference.
void check_block(Target& t, const Settings& cfg, const unsigned char* tmpl, const unsigned char* got,
                 uint64_t off, size_t len) {
  if (block_ok(got, tmpl, off, len, cfg.seed, t.ident)) {
    t.verified.fetch_add(len, std::memory_order_relaxed);
    t.done.fetch_add(len, std::memory_order_relaxed);
    return;
  }
  Mismatch m = describe_mismatch(got, tmpl, off, len, cfg, t.name, t.ident);
  t.fail(kExitVerify, fmt("Disk %s: verify error at byte %" PRIu64 ": it %s; %zu of %zu sectors in "
                          "the block at byte %" PRIu64 " differ.",
                          t.name.c_str(), m.first_bad, m.what.c_str(), m.bad_sectors, len / kSector, off));
  g_abort = true;
}

// Checks blocks on a thread of its own, so that the next read is already on
// its way while one block is compared: a fast disk never waits for the CPU.
class Checker {
 public:
  Checker(Target& t, const Settings& cfg, const unsigned char* tmpl)
      : t_(t), cfg_(cfg), tmpl_(tmpl), th_([this] { run(); }) {}
  ~Checker() {
    wait_idle();
    {
      std::lock_guard<std::mutex> g(mu_);
      quit_ = true;
    }
    cv_.notify_all();
    th_.join();
  }
  // Waits for the previous block to be done, then hands this one over.
  void submit(const unsigned char* buf, uint64_t off, size_t len) {
    std::unique_lock<std::mutex> l(mu_);
    cv_.wait(l, [&] { return !busy_; });
    buf_ = buf;
    off_ = off;
    len_ = len;
    busy_ = true;
    cv_.notify_all();
  }
  void wait_idle() {
    std::unique_lock<std::mutex> l(mu_);
    cv_.wait(l, [&] { return !busy_; });
  }

 private:
  void run() {
    std::unique_lock<std::mutex> l(mu_);
    for (;;) {
      cv_.wait(l, [&] { return busy_ || quit_; });
      if (!busy_) return;
      l.unlock();
      check_block(t_, cfg_, tmpl_, buf_, off_, len_);
      l.lock();
      busy_ = false;
      cv_.notify_all();
    }
  }
  Target& t_;
  const Settings& cfg_;
  const unsigned char* tmpl_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool busy_ = false, quit_ = false;
  const unsigned char* buf_ = nullptr;
  uint64_t off_ = 0;
  size_t len_ = 0;
  std::thread th_;  // last: starts once the fields above exist
};

// Moves one block; false (with the failure recorded) if the disk refused.
// Checks for a stop before every request, so a stop writes nothing new.
bool transfer(Target& t, unsigned char* buf, uint64_t off, size_t len, bool verify) {
  size_t moved = 0;
  while (moved < len) {
    if (stopping()) return false;
    ssize_t n = verify ? ::pread(t.fd, buf + moved, len - moved, static_cast<off_t>(off + moved))
                       : ::pwrite(t.fd, buf + moved, len - moved, static_cast<off_t>(off + moved));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const char* why = n < 0 ? std::strerror(errno) : verify ? "unexpected end of data" : "no room left";
      t.fail(kExitIO, fmt("Disk %s: %s error at byte %" PRIu64 " (%s).", t.name.c_str(),
                          verify ? "read" : "write", off + moved, why));
      g_abort = true;
      return false;
    }
    moved += static_cast<size_t>(n);
  }
  return true;
}

bool start_checker(Target& t, const Settings& cfg, const unsigned char* tmpl, std::unique_ptr<Checker>& c) {
  try {
    c = std::make_unique<Checker>(t, cfg, tmpl);
    return true;
  } catch (const std::exception& e) {
    t.fail(kExitInternal, fmt("Disk %s: cannot start a thread (%s).", t.name.c_str(), e.what()));
    g_abort = true;
    return false;
  }
}

void worker(Target& t, const Settings& cfg, const unsigned char* tmpl, bool verify) {
  AlignedBuf buf(cfg.chunk), spare(verify ? cfg.chunk : kMemAlign);
  std::unique_ptr<Checker> checker;
  if (verify && !start_checker(t, cfg, tmpl, checker)) return;
  if (!buf.p || !spare.p) {
    t.fail(kExitInternal, fmt("Disk %s: out of memory.", t.name.c_str()));
    g_abort = true;
    return;
  }
  unsigned char* cur = buf.p;
  unsigned char* other = spare.p;
  const bool whole = cfg.chunk >= kTemplate;  // the fill then repeats within each block
  if (!verify && whole)
    for (size_t at = 0; at < cfg.chunk; at += kTemplate) std::memcpy(cur + at, tmpl, kTemplate);
  const uint64_t chunks = (t.size + cfg.chunk - 1) / cfg.chunk;
  for (;;) {
    if (g_pass_hooks.before_block) g_pass_hooks.before_block();
    if (stopping()) return;
    uint64_t c = t.next.fetch_add(1);
    if (c >= chunks) return;
    const uint64_t off = c * cfg.chunk;
    const size_t len = static_cast<size_t>(std::min<uint64_t>(cfg.chunk, t.size - off));
    if (!verify) fill_block(cur, tmpl, off, len, cfg.seed, t.ident, whole);
    if (!transfer(t, cur, off, len, verify)) return;
    if (verify) {
      checker->submit(cur, off, len);
      std::swap(cur, other);  // the checker let go of the other one before taking this
    } else {
      t.done.fetch_add(len, std::memory_order_relaxed);
    }
  }
}

bool run_phase(Target& t, const Settings& cfg, const unsigned char* tmpl, bool verify) {
  t.next = 0;
  std::vector<std::thread> ws;
  try {
    for (unsigned i = 0; i < cfg.depth; ++i) ws.emplace_back(worker, std::ref(t), std::cref(cfg), tmpl, verify);
  } catch (const std::exception& e) {
    t.fail(kExitInternal, fmt("Disk %s: cannot start I/O threads (%s).", t.name.c_str(), e.what()));
    g_abort = true;
  }
  for (auto& w : ws) w.join();
  return !t.failed() && !stopping();
}

}  // namespace

void disk_thread(Target& t, const Settings& cfg, const unsigned char* tmpl) {
  auto t0 = Clock::now();
  if (!run_phase(t, cfg, tmpl, false)) return;
  t.phase = kFlushing;
  if (::fdatasync(t.fd) != 0) {
    t.fail(kExitIO, fmt("Disk %s: cannot flush its write cache (%s).", t.name.c_str(), std::strerror(errno)));
    g_abort = true;
    return;
  }
  auto t1 = Clock::now();
  t.write_s = std::chrono::duration<double>(t1 - t0).count();
  if (g_pass_hooks.before_verify) g_pass_hooks.before_verify(t, cfg, tmpl);
  if (stopping()) return;
  t.phase = kVerifying;
  if (!run_phase(t, cfg, tmpl, true)) return;
  t.verify_s = std::chrono::duration<double>(Clock::now() - t1).count();
  t.phase = kFinished;
}

}  // namespace diskburn
