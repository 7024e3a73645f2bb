// netburn: see settings.h.

#include "settings.h"

#include "toolframe/settings.h"

namespace netburn {

SettingsOrError read_settings() {
  toolframe::SettingsReader r;
  SettingsOrError s;
  s.settings.pass_seconds = r.seconds("NETBURN_PASS_SECONDS", 86400,
                                      "NETBURN_PASS_SECONDS must be a number of seconds above 0, not \"%s\".")
                                .value_or(kDefaultPassSeconds);
  s.settings.rate = r.number("NETBURN_RATE", 1, UINT64_MAX,
                             "NETBURN_RATE must be a whole number of frames per second above 0, not \"%s\".")
                        .value_or(0);
  s.error = r.error();
  return s;
}

}  // namespace netburn
