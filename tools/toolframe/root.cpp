// toolframe: see root.h.

#include "toolframe/root.h"

#include "toolframe/settings.h"

namespace toolframe {

namespace {
std::string& root_store() {
  static std::string prefix = root_setting();
  return prefix;
}
}  // namespace

std::string root_setting() {
  std::string s = SettingsReader::text("RUNDIAGS_ROOT").value_or("");
  if (s.empty()) s = SettingsReader::text("DISKBURN_ROOT").value_or("");
  while (!s.empty() && s.back() == '/') s.pop_back();
  return s;
}

const std::string& root() { return root_store(); }

void set_root(const std::string& prefix) { root_store() = prefix; }

bool fake_root() { return !root().empty(); }

std::string rooted(const std::string& abs) { return root() + abs; }

}  // namespace toolframe
