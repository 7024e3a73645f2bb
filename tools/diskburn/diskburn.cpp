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

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

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

std::atomic<bool> g_signalled{false};
extern "C" void on_signal(int) { g_signalled.store(true); }

void emit(const std::string& text) {
  std::string line = text;
  line += '\n';
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t n = ::write(STDOUT_FILENO, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
}

std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* f, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, f);
  vsnprintf(buf, sizeof buf, f, ap);
  va_end(ap);
  return buf;
}

std::optional<std::string> read_text(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  size_t b = s.find_first_not_of(" \t\n");
  size_t e = s.find_last_not_of(" \t\n");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

bool path_exists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

std::vector<std::string> list_dir(const std::string& path) {
  std::vector<std::string> v;
  if (DIR* d = ::opendir(path.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') v.emplace_back(e->d_name);
    ::closedir(d);
  }
  std::sort(v.begin(), v.end());
  return v;
}

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

// ---------------------------------------------------------------------------
// Which disks are in use.

// Whole-disk sysfs names under a block device number: a partition leads to
// its disk, a device-mapper or md device to the disks beneath it.
void disks_under(const std::string& sysdir, std::set<std::string>& out, int depth = 0) {
  if (depth > 16) return;
  char buf[4096];
  ssize_t n = ::readlink(sysdir.c_str(), buf, sizeof buf - 1);
  std::string real;
  if (n > 0) {
    buf[n] = 0;
    std::string link(buf);
    if (link[0] != '/') link = sysdir.substr(0, sysdir.rfind('/') + 1) + link;
    char* r = ::realpath(link.c_str(), nullptr);
    if (!r) return;
    real = r;
    std::free(r);
  } else {
    char* r = ::realpath(sysdir.c_str(), nullptr);
    if (!r) return;
    real = r;
    std::free(r);
  }
  if (path_exists(real + "/partition")) real = real.substr(0, real.rfind('/'));
  std::string name = real.substr(real.rfind('/') + 1);
  auto slaves = list_dir(real + "/slaves");
  if (slaves.empty()) {
    out.insert(name);
    return;
  }
  for (auto& s : slaves) disks_under(real + "/slaves/" + s, out, depth + 1);
}

void disks_of_devnum(dev_t dev, std::set<std::string>& out) {
  disks_under(fmt("/sys/dev/block/%u:%u", major(dev), minor(dev)), out);
}

void disks_of_path(const std::string& path, std::set<std::string>& out) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return;
  if (S_ISBLK(st.st_mode)) disks_of_devnum(st.st_rdev, out);
  else disks_of_devnum(st.st_dev, out);  // a swap file: its filesystem's disk
}

// The device named by a root=/boot-media style argument.
std::optional<std::string> resolve_dev_ref(const std::string& v) {
  auto starts = [&](const char* p) { return v.rfind(p, 0) == 0; };
  if (starts("UUID=")) return "/dev/disk/by-uuid/" + v.substr(5);
  if (starts("PARTUUID=")) return "/dev/disk/by-partuuid/" + v.substr(9);
  if (starts("LABEL=")) return "/dev/disk/by-label/" + v.substr(6);
  if (starts("PARTLABEL=")) return "/dev/disk/by-partlabel/" + v.substr(10);
  if (starts("/dev/")) return v;
  return std::nullopt;
}

std::string unescape_mount(const std::string& s) {
  std::string o;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      o += static_cast<char>(std::strtol(s.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      o += s[i];
    }
  }
  return o;
}

// disk name -> why it must be left alone
std::map<std::string, std::string> disks_in_use() {
  std::map<std::string, std::string> why;
  auto mark = [&](const std::set<std::string>& disks, const std::string& reason) {
    for (auto& d : disks) why.emplace(d, reason);
  };
  std::ifstream mi("/proc/self/mountinfo");
  std::string line;
  while (std::getline(mi, line)) {
    // id parent maj:min root mountpoint opts ... - fstype source superopts
    char mm[64], root[4096], mnt[4096];
    unsigned id, parent;
    if (std::sscanf(line.c_str(), "%u %u %63s %4095s %4095s", &id, &parent, mm, root, mnt) != 5)
      continue;
    std::set<std::string> d;
    unsigned ma = 0, mn = 0;
    if (std::sscanf(mm, "%u:%u", &ma, &mn) == 2 && ma != 0) disks_of_devnum(makedev(ma, mn), d);
    size_t dash = line.find(" - ");
    if (dash != std::string::npos) {
      char fstype[256], source[4096];
      if (std::sscanf(line.c_str() + dash + 3, "%255s %4095s", fstype, source) == 2 &&
          std::strncmp(source, "/dev/", 5) == 0)
        disks_of_path(unescape_mount(source), d);
    }
    mark(d, "holds a mounted filesystem (" + unescape_mount(mnt) + ")");
  }
  std::ifstream sw("/proc/swaps");
  std::getline(sw, line);  // heading
  while (std::getline(sw, line)) {
    char path[4096];
    if (std::sscanf(line.c_str(), "%4095s", path) != 1) continue;
    std::set<std::string> d;
    disks_of_path(unescape_mount(path), d);
    mark(d, "holds active swap space");
  }
  if (auto cmd = read_text("/proc/cmdline")) {
    size_t pos = 0;
    while (pos < cmd->size()) {
      size_t end = cmd->find(' ', pos);
      if (end == std::string::npos) end = cmd->size();
      std::string arg = cmd->substr(pos, end - pos);
      pos = end + 1;
      for (const char* key : {"root=", "live-media=", "bootfrom=", "fromiso=", "resume="}) {
        if (arg.rfind(key, 0) != 0) continue;
        if (auto dev = resolve_dev_ref(arg.substr(std::strlen(key)))) {
          std::set<std::string> d;
          disks_of_path(*dev, d);
          mark(d, "holds the system's boot medium or root filesystem");
        }
      }
    }
  }
  return why;
}

// Another kernel user (an md array, device mapper, bcache...) has claimed it.
std::optional<std::string> holder_of(const std::string& disk) {
  std::string base = "/sys/block/" + disk;
  auto h = list_dir(base + "/holders");
  if (!h.empty()) return h[0];
  for (auto& part : list_dir(base)) {
    if (!path_exists(base + "/" + part + "/partition")) continue;
    auto ph = list_dir(base + "/" + part + "/holders");
    if (!ph.empty()) return ph[0];
  }
  return std::nullopt;
}

// Why a whole disk must never be written, or nothing if it may.
std::optional<std::string> never_touch(const std::string& name,
                                       const std::map<std::string, std::string>& in_use,
                                       bool listed_by_operator) {
  struct Prefix {
    const char* p;
    const char* why;
  };
  static const Prefix kinds[] = {
      {"ram", "RAM disk"},           {"zram", "compressed RAM disk"},
      {"dm-", "device-mapper device"}, {"md", "software RAID (md) device"},
      {"sr", "optical drive"},       {"fd", "floppy drive"},
      {"nbd", "network block device"}, {"drbd", "network-replicated device"},
      {"loop", "loop device"},
  };
  std::string base = "/sys/block/" + name;
  for (auto& k : kinds) {
    if (name.rfind(k.p, 0) != 0) continue;
    if (listed_by_operator && std::strcmp(k.p, "loop") == 0) break;  // named on purpose
    return std::string(k.why);
  }
  if (auto t = read_text(base + "/device/type"); t && *t == "5") return std::string("optical drive");
  if (auto it = in_use.find(name); it != in_use.end()) return it->second;
  if (auto h = holder_of(name)) return "in use by " + *h;
  if (auto ro = read_text(base + "/ro"); ro && *ro == "1") return std::string("read-only");
  if (auto sz = read_text(base + "/size"); !sz || std::strtoull(sz->c_str(), nullptr, 10) == 0)
    return std::string("no medium");
  return std::nullopt;
}

std::string disk_model(const std::string& name) {
  std::string base = "/sys/block/" + name;
  if (auto bf = read_text(base + "/loop/backing_file")) return "loop device on " + *bf;
  std::string vendor = read_text(base + "/device/vendor").value_or("");
  std::string model = read_text(base + "/device/model").value_or("");
  if (vendor == "ATA") vendor.clear();
  std::string s = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
  return s.empty() ? "unknown model" : s;
}

std::string disk_serial(const std::string& name) {
  std::string base = "/sys/block/" + name;
  for (const char* f : {"/device/serial", "/serial"})
    if (auto s = read_text(base + f); s && !s->empty()) return *s;
  // SCSI and SATA disks: the unit serial number VPD page (4-byte header).
  if (auto v = read_text(base + "/device/vpd_pg80"); v && v->size() > 4) {
    std::string s;
    for (char c : v->substr(4))
      if (c > ' ' && c < 127) s += c;
    if (!s.empty()) return s;
  }
  if (auto w = read_text(base + "/device/wwid"); w && !w->empty()) return *w;
  return "unknown";
}

// ---------------------------------------------------------------------------
// Targets and the pass.

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

bool parse_u64(const char* s, uint64_t& v) {
  if (!s || !*s) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long x = std::strtoull(s, &end, 0);
  if (errno || *end || *s == '-') return false;
  v = x;
  return true;
}

bool sleep_interruptibly(std::chrono::milliseconds d) {
  timespec ts{static_cast<time_t>(d.count() / 1000), static_cast<long>(d.count() % 1000) * 1000000};
  ::nanosleep(&ts, nullptr);
  return !g_signalled.load();
}

}  // namespace

int main(int argc, char** argv) {
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

  struct sigaction sa{};
  sa.sa_handler = on_signal;  // no SA_RESTART: a blocked write must give way
  ::sigemptyset(&sa.sa_mask);
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGHUP, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

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
