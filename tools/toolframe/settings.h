// toolframe: the settings a helper reads from its environment, all by one
// rule.  A number that is unset or set empty keeps its default.  Set to
// anything else, it must be decimal digits (or, for seconds, a decimal
// fraction) within its bounds; otherwise the reader keeps that setting's
// usage line as its error (the first one only), and the helper ends its
// run with it, status 1, before it touches anything.  A text setting is
// taken as it is set, empty included: each says what empty means.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace toolframe {

class SettingsReader {
 public:
  // A whole number from lo to hi that ok (if given) accepts.  error is the
  // setting's usage line; "%s" in it stands for the value found.
  std::optional<uint64_t> number(const char* name, uint64_t lo, uint64_t hi, const char* error,
                                 bool (*ok)(uint64_t) = nullptr);

  // A number of seconds above 0 and at most hi, as strtod reads it.
  std::optional<double> seconds(const char* name, double hi, const char* error);

  // The value as set, empty included; nothing when unset.
  static std::optional<std::string> text(const char* name);

  // The first bad setting's usage line, or "" while all are good.
  const std::string& error() const { return error_; }

 private:
  void bad(const char* error, const std::string& value);

  std::string error_;
};

// This start's number within the burn-in run, from RUNDIAGS_PASS.  rundiags
// counts from 1; anything it could not have written (unset, empty, 0, not
// digits) reads as the first start, never as an error.
uint64_t pass_number();

}  // namespace toolframe
