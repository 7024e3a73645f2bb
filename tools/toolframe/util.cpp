// toolframe: see util.h.

#include "toolframe/util.h"

#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

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

std::optional<uint64_t> parse_count(const char* s) {
  auto v = parse_decimal(s);
  return v && *v != 0 ? v : std::nullopt;
}

uint64_t pass_number() { return parse_count(std::getenv("RUNDIAGS_PASS")).value_or(1); }

std::string started_line(uint64_t pass) {
  time_t now = ::time(nullptr);
  struct tm tm{};
  ::gmtime_r(&now, &tm);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
  return fmt("Pass %" PRIu64 " started %s UTC.", pass, when);
}

uint64_t random64() {
  uint64_t v = 0;
  if (::getrandom(&v, sizeof v, GRND_NONBLOCK) == sizeof v) return v;
  auto t = std::chrono::system_clock::now().time_since_epoch().count();
  return static_cast<uint64_t>(t) ^ (static_cast<uint64_t>(::getpid()) << 32);
}

}  // namespace toolframe
