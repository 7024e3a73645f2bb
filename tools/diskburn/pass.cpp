// diskburn: the pass over one target.  Worker threads write the stamped
// pattern in large direct-I/O blocks, the target is flushed, then the
// workers read it back while a checker thread per worker compares each
// block with what was written and names the first difference.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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

#include "diskburn.h"

namespace diskburn {

std::atomic<bool> g_abort{false};

struct AlignedBuf {
  unsigned char* p = nullptr;
  explicit AlignedBuf(size_t n) {
    if (::posix_memalign(reinterpret_cast<void**>(&p), kMemAlign, n) != 0) p = nullptr;
  }
  ~AlignedBuf() { std::free(p); }
  AlignedBuf(const AlignedBuf&) = delete;
  AlignedBuf& operator=(const AlignedBuf&) = delete;
};

struct Stamp {
  uint64_t offset;
  uint64_t check;
};

inline Stamp stamp_for(uint64_t offset, uint64_t seed) { return {offset, seed ^ (offset * kMix)}; }

// The bytes of every sector after its stamp, repeating every kTemplate
// bytes of the disk; different for every pass.
std::vector<unsigned char> make_template(size_t n, uint64_t seed) {
  std::vector<unsigned char> t(n);
  uint64_t x = seed | 1;
  for (size_t i = 0; i + 8 <= n; i += 8) {
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    uint64_t v = x * 0x2545F4914F6CDD1Dull;
    std::memcpy(&t[i], &v, 8);
  }
  return t;
}

std::string describe_mismatch(const unsigned char* got, const unsigned char* tmpl, uint64_t off,
                              size_t len, uint64_t seed, uint64_t& first_bad, size_t& bad_sectors) {
  bad_sectors = 0;
  std::string first;
  for (size_t s = 0; s < len; s += kSector) {
    Stamp want = stamp_for(off + s, seed);
    Stamp have;
    std::memcpy(&have, got + s, sizeof have);
    bool stamp_ok = have.offset == want.offset && have.check == want.check;
    const unsigned char* body = tmpl + (off + s) % kTemplate;
    bool body_ok = std::memcmp(got + s + sizeof(Stamp), body + sizeof(Stamp),
                               kSector - sizeof(Stamp)) == 0;
    if (stamp_ok && body_ok) continue;
    if (bad_sectors++ == 0) {
      if (!stamp_ok && have.check == (seed ^ (have.offset * kMix))) {
        first_bad = off + s;
        first = fmt("holds the data written for byte %" PRIu64 " (misdirected write)", have.offset);
      } else if (!stamp_ok && have.offset == want.offset) {
        first_bad = off + s;
        first = "holds data from an earlier pass (write lost)";
      } else {
        size_t k = 0;
        const unsigned char* exp_body = body;
        unsigned char want_bytes[sizeof(Stamp)];
        std::memcpy(want_bytes, &want, sizeof want);
        for (k = 0; k < kSector; ++k) {
          unsigned char e = k < sizeof(Stamp) ? want_bytes[k] : exp_body[k];
          if (got[s + k] != e) break;
        }
        unsigned char e = k < sizeof(Stamp) ? want_bytes[k] : exp_body[k];
        first_bad = off + s + k;
        first = fmt("reads 0x%02x instead of 0x%02x", got[s + k], e);
      }
    }
  }
  return first;
}

// Compares one block with what was written; reports the first difference.
void check_block(Target& t, const Settings& cfg, const unsigned char* tmpl, const unsigned char* got,
                 uint64_t off, size_t len) {
  bool same = true;
  for (size_t s = 0; s < len && same; s += kSector) {
    Stamp want = stamp_for(off + s, cfg.seed);
    same = std::memcmp(got + s, &want, sizeof want) == 0 &&
           std::memcmp(got + s + sizeof(Stamp), tmpl + (off + s) % kTemplate + sizeof(Stamp),
                       kSector - sizeof(Stamp)) == 0;
  }
  if (same) {
    t.done.fetch_add(len, std::memory_order_relaxed);
    return;
  }
  uint64_t first = off;
  size_t bad = 0;
  std::string what = describe_mismatch(got, tmpl, off, len, cfg.seed, first, bad);
  t.fail(kExitVerify, fmt("Disk %s: verify error at byte %" PRIu64 ": it %s; %zu of %zu sectors in "
                          "the block at byte %" PRIu64 " differ.",
                          t.name.c_str(), first, what.c_str(), bad, len / kSector, off));
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

void worker(Target& t, const Settings& cfg, const unsigned char* tmpl, bool verify) {
  AlignedBuf buf(cfg.chunk), spare(verify ? cfg.chunk : kMemAlign);
  std::unique_ptr<Checker> checker;
  try {
    if (verify) checker = std::make_unique<Checker>(t, cfg, tmpl);
  } catch (const std::exception& e) {
    t.fail(kExitInternal, fmt("Disk %s: cannot start a thread (%s).", t.name.c_str(), e.what()));
    g_abort = true;
    return;
  }
  if (!buf.p || !spare.p) {
    t.fail(kExitInternal, fmt("Disk %s: out of memory.", t.name.c_str()));
    g_abort = true;
    return;
  }
  unsigned char* cur = buf.p;
  unsigned char* other = spare.p;
  if (!verify)
    for (size_t at = 0; at < cfg.chunk; at += kTemplate)
      std::memcpy(cur + at, tmpl, std::min(kTemplate, cfg.chunk - at));
  const uint64_t chunks = (t.size + cfg.chunk - 1) / cfg.chunk;
  for (;;) {
    if (g_abort.load(std::memory_order_relaxed)) return;
    uint64_t c = t.next.fetch_add(1);
    if (c >= chunks) return;
    const uint64_t off = c * cfg.chunk;
    const size_t len = static_cast<size_t>(std::min<uint64_t>(cfg.chunk, t.size - off));
#ifdef DISKBURN_TEST_HOOKS
    if (cfg.delay_ms) std::this_thread::sleep_for(std::chrono::milliseconds(cfg.delay_ms));
#endif
    if (!verify && cfg.chunk < kTemplate)  // blocks smaller than the fill's period
      std::memcpy(cur, tmpl + off % kTemplate, len);
    if (!verify)
      for (size_t s = 0; s < len; s += kSector) {
        Stamp st = stamp_for(off + s, cfg.seed);
        std::memcpy(cur + s, &st, sizeof st);
      }
    size_t moved = 0;
    while (moved < len) {
      ssize_t n = verify ? ::pread(t.fd, cur + moved, len - moved, static_cast<off_t>(off + moved))
                         : ::pwrite(t.fd, cur + moved, len - moved, static_cast<off_t>(off + moved));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const char* why = n < 0 ? std::strerror(errno)
                                : verify ? "unexpected end of data" : "no room left";
        t.fail(kExitIO, fmt("Disk %s: %s error at byte %" PRIu64 " (%s).", t.name.c_str(),
                            verify ? "read" : "write", off + moved, why));
        g_abort = true;
        return;
      }
      moved += static_cast<size_t>(n);
    }
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
  return !t.failed() && !g_abort.load();
}

#ifdef DISKBURN_TEST_HOOKS
// Test builds only: change one byte behind the program's back, the way a
// failing disk would, between the write and the verify.
void corrupt_byte(Target& t, uint64_t at) {
  AlignedBuf b(t.align);
  uint64_t base = at / t.align * t.align;
  if (b.p && ::pread(t.fd, b.p, t.align, static_cast<off_t>(base)) == static_cast<ssize_t>(t.align)) {
    b.p[at - base] ^= 0x5a;
    if (::pwrite(t.fd, b.p, t.align, static_cast<off_t>(base)) == static_cast<ssize_t>(t.align)) return;
  }
  t.fail(kExitInternal, "test hook: cannot corrupt the target");
}
#endif

void disk_thread(Target& t, const Settings& cfg, const unsigned char* tmpl) {
  auto t0 = Clock::now();
  if (!run_phase(t, cfg, tmpl, false)) return;
  if (::fdatasync(t.fd) != 0) {
    t.fail(kExitIO, fmt("Disk %s: cannot flush its write cache (%s).", t.name.c_str(), std::strerror(errno)));
    g_abort = true;
    return;
  }
  auto t1 = Clock::now();
  t.write_s = std::chrono::duration<double>(t1 - t0).count();
#ifdef DISKBURN_TEST_HOOKS
  if (t.corrupt_at) corrupt_byte(t, *t.corrupt_at);
#endif
  t.phase = 1;
  if (!run_phase(t, cfg, tmpl, true)) return;
  t.verify_s = std::chrono::duration<double>(Clock::now() - t1).count();
  t.phase = 2;
}

// Opens a target for direct I/O and learns its size.
bool open_target(Target& t, Failure& f) {
  struct stat st;
  if (::stat(t.path.c_str(), &st) != 0) {
    f = {kExitOpen, fmt("Cannot use %s: %s.", t.path.c_str(), std::strerror(errno))};
    return false;
  }
  int flags = O_RDWR | O_DIRECT | O_CLOEXEC;
  if (S_ISBLK(st.st_mode)) flags |= O_EXCL;  // refused while anything else holds it
  t.fd = ::open(t.path.c_str(), flags);
  if (t.fd < 0) {
    const char* why = errno == EBUSY ? "it is in use" : std::strerror(errno);
    f = {kExitOpen, fmt("Cannot open %s for direct I/O: %s.", t.path.c_str(), why)};
    return false;
  }
  if (S_ISBLK(st.st_mode)) {
    uint64_t bytes = 0;
    int lbs = 512;
    if (::ioctl(t.fd, BLKGETSIZE64, &bytes) != 0 || ::ioctl(t.fd, BLKSSZGET, &lbs) != 0) {
      f = {kExitOpen, fmt("Cannot learn the size of %s: %s.", t.path.c_str(), std::strerror(errno))};
      return false;
    }
    t.full = bytes;
    t.align = static_cast<size_t>(std::max(lbs, 512));
  } else {
    t.is_file = true;
    t.full = static_cast<uint64_t>(st.st_size);
    t.align = 4096;
    t.ino = st.st_ino;
  }
  t.size = t.full / t.align * t.align;
  if (t.size == 0) {
    f = {kExitOpen, fmt("Cannot use %s: it is empty or smaller than one block.", t.path.c_str())};
    return false;
  }
  return true;
}

// Lost from under us: a deleted file or a shrunken / removed device.
std::optional<std::string> vanished(Target& t) {
  struct stat st;
  if (::fstat(t.fd, &st) != 0) return std::string(std::strerror(errno));
  if (t.is_file) {
    if (st.st_nlink == 0) return std::string("the file was deleted");
    if (static_cast<uint64_t>(st.st_size) < t.size)
      return fmt("the file shrank to %" PRIu64 " bytes", static_cast<uint64_t>(st.st_size));
    return std::nullopt;
  }
  uint64_t bytes = 0;
  if (::ioctl(t.fd, BLKGETSIZE64, &bytes) != 0) return std::string(std::strerror(errno));
  if (bytes < t.size) return bytes == 0 ? std::string("the device went away (size 0)")
                                       : fmt("the device shrank to %" PRIu64 " bytes", bytes);
  return std::nullopt;
}

}  // namespace diskburn
