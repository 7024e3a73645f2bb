// netburn: see settings.h.

#include "settings.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <ctime>

#include "toolio.h"

namespace netburn {

std::optional<uint64_t> parse_count(const char* s) {
  if (!s || !*s) return std::nullopt;
  uint64_t v = 0;
  for (const char* p = s; *p; ++p) {
    if (*p < '0' || *p > '9') return std::nullopt;
    const uint64_t d = static_cast<uint64_t>(*p - '0');
    if (v > (UINT64_MAX - d) / 10) return std::nullopt;
    v = v * 10 + d;
  }
  if (v == 0) return std::nullopt;
  return v;
}

SettingsOrError read_settings() {
  SettingsOrError r;
  if (const char* env = std::getenv("NETBURN_PASS_SECONDS"); env && *env) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(env, &end);
    if (errno || *end || !(v > 0) || v > 86400) {
      r.error = toolio::fmt("NETBURN_PASS_SECONDS must be a number of seconds above 0, not \"%s\".", env);
      return r;
    }
    r.settings.pass_seconds = v;
  }
  if (const char* env = std::getenv("NETBURN_RATE"); env && *env) {
    auto v = parse_count(env);
    if (!v) {
      r.error = toolio::fmt("NETBURN_RATE must be a whole number of frames per second above 0, not \"%s\".", env);
      return r;
    }
    r.settings.rate = *v;
  }
  // The program's count of starts: anything but a positive number means 1.
  r.settings.pass_number = parse_count(std::getenv("RUNDIAGS_PASS")).value_or(1);
  return r;
}

std::string started_line(uint64_t pass_number) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::gmtime_r(&now, &tm);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
  return toolio::fmt("Pass %" PRIu64 " started %s UTC.", pass_number, when);
}

}  // namespace netburn
