// toolframe: see settings.h.

#include "toolframe/settings.h"

#include <cerrno>
#include <cstdlib>

#include "toolframe/util.h"

namespace toolframe {

std::optional<uint64_t> SettingsReader::number(const char* name, uint64_t lo, uint64_t hi, const char* error,
                                               bool (*ok)(uint64_t)) {
  auto s = text(name);
  if (!s || s->empty()) return std::nullopt;
  auto v = parse_decimal(s->c_str());
  if (v && *v >= lo && *v <= hi && (!ok || ok(*v))) return v;
  bad(error, *s);
  return std::nullopt;
}

std::optional<double> SettingsReader::seconds(const char* name, double hi, const char* error) {
  auto s = text(name);
  if (!s || s->empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s->c_str(), &end);
  if (!errno && !*end && v > 0 && v <= hi) return v;
  bad(error, *s);
  return std::nullopt;
}

std::optional<std::string> SettingsReader::text(const char* name) {
  const char* s = std::getenv(name);
  return s ? std::optional<std::string>(s) : std::nullopt;
}

void SettingsReader::bad(const char* error, const std::string& value) {
  if (!error_.empty()) return;
  error_ = error;
  if (size_t at = error_.find("%s"); at != std::string::npos) error_.replace(at, 2, value);
}

uint64_t pass_number() {
  SettingsReader r;
  return r.number("RUNDIAGS_PASS", 1, UINT64_MAX, "").value_or(1);
}

}  // namespace toolframe
