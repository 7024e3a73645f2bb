// toolio: see toolio.h.

#include "toolio.h"

#include <limits.h>
#include <time.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace toolio {

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

int pass_number() {
  const char* s = std::getenv("RUNDIAGS_PASS");
  if (!s || !*s) return 1;
  long long v = 0;
  for (const char* p = s; *p; ++p) {
    if (*p < '0' || *p > '9') return 1;
    v = v * 10 + (*p - '0');
    if (v > INT_MAX) return 1;
  }
  return v > 0 ? static_cast<int>(v) : 1;
}

std::string utc_now() {
  time_t now = ::time(nullptr);
  struct tm tm{};
  ::gmtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

}  // namespace toolio
