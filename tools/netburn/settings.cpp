// netburn: see settings.h.

#include "settings.h"

#include <cerrno>
#include <cstdlib>

#include "toolframe/util.h"

namespace netburn {

SettingsOrError read_settings() {
  SettingsOrError r;
  if (const char* env = std::getenv("NETBURN_PASS_SECONDS"); env && *env) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(env, &end);
    if (errno || *end || !(v > 0) || v > 86400) {
      r.error = toolframe::fmt("NETBURN_PASS_SECONDS must be a number of seconds above 0, not \"%s\".", env);
      return r;
    }
    r.settings.pass_seconds = v;
  }
  if (const char* env = std::getenv("NETBURN_RATE"); env && *env) {
    auto v = toolframe::parse_count(env);
    if (!v) {
      r.error = toolframe::fmt("NETBURN_RATE must be a whole number of frames per second above 0, not \"%s\".", env);
      return r;
    }
    r.settings.rate = *v;
  }
  return r;
}

}  // namespace netburn
