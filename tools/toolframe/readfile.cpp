// toolframe: see readfile.h.

#include "toolframe/readfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace toolframe {

namespace {
// Reads up to max_bytes; nothing on a read error.
std::optional<std::string> read_up_to(int fd, size_t max_bytes) {
  std::string s;
  char buf[4096];
  while (s.size() < max_bytes) {
    ssize_t n = ::read(fd, buf, std::min(sizeof buf, max_bytes - s.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    s.append(buf, static_cast<size_t>(n));
  }
  return s;
}
}  // namespace

std::optional<std::string> read_file(const std::string& path, size_t max_bytes) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  // The path may have become something else since: O_NONBLOCK keeps even
  // that open from hanging, and fstat has the last word.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> out;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) out = read_up_to(fd, max_bytes);
  ::close(fd);
  return out;
}

std::optional<std::string> read_text(const std::string& path, Trim trim) {
  auto got = read_file(path, kTextLimit + 1);
  if (!got || got->size() > kTextLimit) return std::nullopt;
  std::string& s = *got;
  if (trim == Trim::kTrailing) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
  }
  size_t b = s.find_first_not_of(" \t\n");
  size_t e = s.find_last_not_of(" \t\n");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::vector<unsigned char> read_at(int fd, uint64_t off, size_t n) {
  std::vector<unsigned char> b(n);
  size_t got = 0;
  while (got < n) {
    ssize_t k = ::pread(fd, b.data() + got, n - got, static_cast<off_t>(off + got));
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) break;
    got += static_cast<size_t>(k);
  }
  b.resize(got);
  return b;
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

}  // namespace toolframe
