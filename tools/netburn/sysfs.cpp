// netburn: see sysfs.h.

#include "sysfs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace netburn::sysfs {

namespace {

// sysfs attributes fit in a page; anything longer is not one we understand.
constexpr size_t kMaxBytes = 4096;

std::string& root_path() {
  static std::string r = "/sys";
  return r;
}

std::string full(const std::string& rel) { return root_path() + "/" + rel; }

// Up to kMaxBytes + 1 bytes of the file, or nothing on any error.
std::optional<std::string> slurp(const std::string& path) {
  // O_NONBLOCK: a FIFO or a device node must not hang the test.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::string s(kMaxBytes + 1, '\0');
  size_t got = 0;
  bool ok = true;
  while (got < s.size()) {
    ssize_t n = ::read(fd, s.data() + got, s.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  s.resize(got);
  return s;
}

bool is_text(const std::string& s) {
  for (unsigned char c : s)
    if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f) return false;
  return true;
}

}  // namespace

const std::string& root() { return root_path(); }
void set_root(const std::string& path) { root_path() = path; }

std::optional<std::string> text(const std::string& rel) {
  auto s = slurp(full(rel));
  if (!s || s->size() > kMaxBytes || !is_text(*s)) return std::nullopt;
  while (!s->empty() && (s->back() == '\n' || s->back() == ' ' || s->back() == '\t'))
    s->pop_back();
  return s;
}

std::optional<uint64_t> number(const std::string& rel) {
  auto s = text(rel);
  if (!s || s->empty() || !std::isxdigit(static_cast<unsigned char>(s->front())))
    return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const int base = s->compare(0, 2, "0x") == 0 ? 16 : 10;
  unsigned long long v = std::strtoull(s->c_str(), &end, base);
  if (errno || *end) return std::nullopt;
  return v;
}

bool exists(const std::string& rel) {
  struct stat st;
  return ::lstat(full(rel).c_str(), &st) == 0;
}

std::string link_name(const std::string& rel) {
  char buf[512];
  ssize_t k = ::readlink(full(rel).c_str(), buf, sizeof buf - 1);
  if (k <= 0) return "";
  buf[k] = 0;
  std::string s(buf);
  size_t slash = s.rfind('/');
  return slash == std::string::npos ? s : s.substr(slash + 1);
}

}  // namespace netburn::sysfs
