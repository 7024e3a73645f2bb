// toolio: see readfile.h.

#include "readfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace toolio {

std::optional<std::string> read_file(const std::string& path, size_t max_bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  std::optional<std::string> out;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    std::string s;
    char buf[4096];
    for (;;) {
      if (s.size() >= max_bytes) break;
      ssize_t n = ::read(fd, buf, std::min(sizeof buf, max_bytes - s.size()));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        s.clear();
        break;
      }
      if (n == 0) {
        out = std::move(s);
        break;
      }
      s.append(buf, static_cast<size_t>(n));
    }
    if (!out && s.size() >= max_bytes) out = std::move(s);  // cut at the bound
  }
  ::close(fd);
  return out;
}

std::optional<std::string> read_text(const std::string& path, Trim trim) {
  auto got = read_file(path, kTextLimit);
  if (!got) return std::nullopt;
  std::string& s = *got;
  if (trim == Trim::kTrailing) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
  }
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

}  // namespace toolio
