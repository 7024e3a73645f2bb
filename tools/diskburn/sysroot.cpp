// diskburn: see sysroot.h.

#include "sysroot.h"

#include <sys/sysmacros.h>

#include <cstdlib>

#include "toolframe/readfile.h"
#include "toolframe/util.h"

namespace diskburn {

bool may_open(dev_t dev) {
  return !fake_root() || toolframe::path_exists(toolframe::fmt("/sys/dev/block/%u:%u/loop", major(dev), minor(dev)));
}

std::optional<std::string> attr(const std::string& full_path) {
  return toolframe::read_text(full_path, toolframe::Trim::kBoth);
}

std::string printable(const std::string& s, size_t max) {
  std::string out;
  for (unsigned char c : s) {
    if (out.size() >= max) {
      out.resize(max > 3 ? max - 3 : 0);
      return out + "...";
    }
    out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
  }
  return out;
}

std::optional<dev_t> parse_devnum(const std::string& s) {
  size_t colon = s.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == s.size() || colon > 10 ||
      s.size() - colon - 1 > 10)
    return std::nullopt;
  for (size_t i = 0; i < s.size(); ++i)
    if (i != colon && (s[i] < '0' || s[i] > '9')) return std::nullopt;
  unsigned long ma = std::strtoul(s.c_str(), nullptr, 10);
  unsigned long mi = std::strtoul(s.c_str() + colon + 1, nullptr, 10);
  if (ma > 0xfff || mi > 0xfffff) return std::nullopt;
  return makedev(static_cast<unsigned>(ma), static_cast<unsigned>(mi));
}

}  // namespace diskburn
