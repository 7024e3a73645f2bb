// diskburn: see warnings.h.

#include "warnings.h"

#include "sysroot.h"
#include "toolframe/protocol.h"
#include "toolframe/readfile.h"
#include "toolframe/util.h"

namespace diskburn {

namespace {
constexpr size_t kFileLimit = 64 << 10;
constexpr size_t kMaxLines = 32;  // a start-up gives a handful; more is a file gone wrong
constexpr size_t kLineLimit = 240;
}  // namespace

std::vector<std::string> medium_warning_lines() {
  std::vector<std::string> out;
  auto text = toolframe::read_file(rooted("/run/rundiags/warnings"), kFileLimit);
  if (!text) return out;
  for (auto& line : toolframe::split(*text, '\n')) {
    for (auto& c : line)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    size_t a = line.find_first_not_of(' '), b = line.find_last_not_of(' ');
    if (a == std::string::npos) continue;
    if (out.size() == kMaxLines) break;
    out.push_back(toolframe::medium_warning(printable(line.substr(a, b - a + 1), kLineLimit)));
  }
  return out;
}

}  // namespace diskburn
