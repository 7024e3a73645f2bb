// toolframe: see util.h.

#include "toolframe/util.h"

#include <sys/random.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>

namespace toolframe {

std::string fmt(const char* f, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, f);
  vsnprintf(buf, sizeof buf, f, ap);
  va_end(ap);
  return buf;
}

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> out;
  size_t pos = 0;
  for (;;) {
    size_t end = text.find(sep, pos);
    out.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    if (end == std::string::npos) return out;
    pos = end + 1;
  }
}

std::string join(const std::vector<std::string>& parts, const char* separator) {
  std::string s;
  for (const auto& part : parts) s += (s.empty() ? "" : separator) + part;
  return s;
}

std::optional<uint64_t> parse_decimal(const char* s) {
  if (!s || !*s) return std::nullopt;
  uint64_t v = 0;
  for (const char* p = s; *p; ++p) {
    if (*p < '0' || *p > '9') return std::nullopt;
    const uint64_t d = static_cast<uint64_t>(*p - '0');
    if (v > (UINT64_MAX - d) / 10) return std::nullopt;
    v = v * 10 + d;
  }
  return v;
}

uint64_t random64() {
  uint64_t v = 0;
  if (::getrandom(&v, sizeof v, GRND_NONBLOCK) == sizeof v) return v;
  auto t = std::chrono::system_clock::now().time_since_epoch().count();
  return static_cast<uint64_t>(t) ^ (static_cast<uint64_t>(::getpid()) << 32);
}

}  // namespace toolframe
