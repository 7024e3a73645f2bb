// netburn: see sysfs.h.

#include "sysfs.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "toolframe/readfile.h"
#include "toolframe/root.h"

namespace netburn::sysfs {

namespace {

std::string full(const std::string& rel) { return toolframe::rooted("/sys/" + rel); }

bool is_text(const std::string& s) {
  for (unsigned char c : s)
    if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f) return false;
  return true;
}

}  // namespace

std::optional<std::string> text(const std::string& rel) {
  auto s = toolframe::read_text(full(rel), toolframe::Trim::kBoth);
  if (!s || !is_text(*s)) return std::nullopt;
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

bool exists(const std::string& rel) { return toolframe::path_exists(full(rel)); }

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
