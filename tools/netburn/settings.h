// netburn: what the environment asks of a run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace netburn {

struct Settings {
  double pass_seconds = 60.0;  // NETBURN_PASS_SECONDS
  uint64_t rate = 0;           // NETBURN_RATE: frames/s per sending port, 0 = no limit
  uint64_t pass_number = 1;    // RUNDIAGS_PASS
};

// A positive decimal number made of digits only, or nothing.
std::optional<uint64_t> parse_count(const char* s);

// The settings, or the message line that says which value is wrong.
struct SettingsOrError {
  Settings settings;
  std::string error;
};
SettingsOrError read_settings();

// "Pass <n> started <YYYY-MM-DD HH:MM:SS> UTC."
std::string started_line(uint64_t pass_number);

}  // namespace netburn
