// diskburn: see mounts.h.

#include "mounts.h"

#include <sys/sysmacros.h>

#include <cstdlib>
#include <sstream>

#include "sysroot.h"
#include "toolframe/readfile.h"
#include "toolframe/util.h"

namespace diskburn {

namespace {
// Thousands of mounts still fit; a file beyond this is cut, not trusted whole.
constexpr size_t kProcLimit = 64 << 20;

std::vector<std::string> fields(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> f;
  for (std::string w; in >> w;) f.push_back(w);
  return f;
}

// The lines of a proc file that may be large (mountinfo), bounded.
std::vector<std::string> read_lines(const std::string& full_path) {
  auto text = toolframe::read_file(full_path, kProcLimit);
  if (!text) return {};
  auto lines = toolframe::split(*text, '\n');
  if (lines.back().empty()) lines.pop_back();  // what follows the last newline
  return lines;
}

// Undoes the octal escapes (\040 for a blank) of proc's path fields.
std::string unescape_mount(const std::string& s) {
  std::string o;
  for (size_t i = 0; i < s.size(); ++i) {
    bool octal = s[i] == '\\' && i + 3 < s.size();
    if (octal)
      for (size_t k = 1; k <= 3; ++k) octal &= s[i + k] >= '0' && s[i + k] <= '7';
    if (octal) {
      o += static_cast<char>(std::strtol(s.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      o += s[i];
    }
  }
  return o;
}
}  // namespace

// id parent maj:min root mountpoint opts [optional...] - fstype source superopts
std::vector<Mount> read_mounts() {
  std::vector<Mount> out;
  for (auto& line : read_lines(rooted("/proc/self/mountinfo"))) {
    auto f = fields(line);
    if (f.size() < 5) continue;
    Mount m;
    if (auto d = parse_devnum(f[2])) m.dev = *d;
    m.point = unescape_mount(f[4]);
    for (size_t i = 5; i + 2 < f.size(); ++i)
      if (f[i] == "-") {
        m.source = unescape_mount(f[i + 2]);
        break;
      }
    out.push_back(std::move(m));
  }
  return out;
}

std::vector<std::string> read_swaps() {
  std::vector<std::string> out;
  auto lines = read_lines(rooted("/proc/swaps"));
  for (size_t i = 1; i < lines.size(); ++i) {  // the first is the heading
    auto f = fields(lines[i]);
    if (!f.empty()) out.push_back(unescape_mount(f[0]));
  }
  return out;
}

const Mount* mount_of(const std::string& path, const std::vector<Mount>& mounts) {
  const Mount* best = nullptr;
  for (auto& m : mounts) {
    const std::string& p = m.point;
    bool under = p == "/" || path == p || (path.size() > p.size() && path.compare(0, p.size(), p) == 0 &&
                                           path[p.size()] == '/');
    if (under && path.rfind('/', 0) == 0 && (!best || p.size() >= best->point.size())) best = &m;
  }
  return best;
}

}  // namespace diskburn
