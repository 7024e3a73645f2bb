// netburn: what the environment asks of a run.
#pragma once

#include <cstdint>
#include <string>

#include "defs.h"

namespace netburn {

struct Settings {
  double pass_seconds = kDefaultPassSeconds;  // NETBURN_PASS_SECONDS
  uint64_t rate = 0;                          // NETBURN_RATE: frames/s per sending port, 0 = no limit
};

// The settings, or the message line that says which value is wrong.
struct SettingsOrError {
  Settings settings;
  std::string error;
};
SettingsOrError read_settings();

}  // namespace netburn
