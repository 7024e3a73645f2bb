// diskburn: see labels.h.

#include "labels.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "fatlabel.h"
#include "sysroot.h"
#include "toolframe/readfile.h"

namespace diskburn {

namespace {
using toolframe::read_at;

constexpr char kResultsLabel[] = "RUNDIAGS";
constexpr char kBootLabel[] = "RUNDIAGS_BOOT";
constexpr size_t kIsoDescriptor = 16 * 2048;  // the primary volume descriptor

bool label_is(const unsigned char* p, size_t n, const char* want) {
  std::string s(reinterpret_cast<const char*>(p), n);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  std::string w = want;
  return s.size() == w.size() &&
         std::equal(s.begin(), s.end(), w.begin(), [](char a, char b) { return std::toupper(a) == b; });
}

// Any label RUNDIAGS, in either place and in any case, marks the stick: an
// operator who labelled it "rundiags", or relabelled it with a tool that
// writes only the boot sector, still means it to survive the burn-in, even
// though makefloppy (which needs the exact label mtools shows) would not
// write to it.
bool is_results_fat(int fd) {
  for (const std::string& l : fat_labels_seen(fd))
    if (label_is(reinterpret_cast<const unsigned char*>(l.data()), l.size(), kResultsLabel)) return true;
  return false;
}

bool is_boot_iso(const std::vector<unsigned char>& pvd) {
  static const unsigned char kId[] = {1, 'C', 'D', '0', '0', '1'};
  return pvd.size() >= 72 && std::equal(kId, kId + 6, pvd.begin()) && label_is(pvd.data() + 40, 32, kBootLabel);
}

// What the first sectors of a node show; nothing, with the reason, when
// they cannot be read.
std::optional<Medium> medium_at(const std::string& node, std::string& why) {
  int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return std::nullopt;
  }
  unsigned char first[512];
  std::optional<Medium> m;
  if (::pread(fd, first, sizeof first, 0) < 0)
    why = std::strerror(errno);
  else
    m = medium_of(fd);
  ::close(fd);
  return m;
}
}  // namespace

Medium medium_of(int fd) {
  if (is_results_fat(fd)) return Medium::kResults;
  if (is_boot_iso(read_at(fd, kIsoDescriptor, 2048))) return Medium::kBoot;
  return Medium::kNone;
}

// A label that cannot be read might be either one, so a disk with a part
// that cannot be read is kept as well.
std::optional<std::string> medium_reason(const std::string& disk, dev_t dev, const Topology& topo,
                                         DevNodes& nodes) {
  auto unreadable = [&](const std::string& name, const std::string& why) {
    return name == disk ? "cannot be read (" + why + ")"
                        : "holds a partition that cannot be read (" + name + ": " + why + ")";
  };
  std::vector<std::pair<std::string, dev_t>> parts{{disk, dev}};
  for (auto& p : topo.partitions(disk)) parts.push_back(p);
  for (auto& [name, num] : parts)
    if (num == 0) return unreadable(name, "no device number in sysfs");
  if (!may_open(dev)) return std::nullopt;  // a fake machine's disk that is never written either
  for (auto& [name, num] : parts) {
    std::string why;
    std::optional<Medium> m;
    if (auto node = nodes.node(name, num, why)) m = medium_at(*node, why);
    if (!m) return unreadable(name, why);
    std::string where = name == disk ? "" : " on " + name;
    if (*m == Medium::kResults) return "holds the results stick (FAT label RUNDIAGS" + where + ")";
    if (*m == Medium::kBoot) return "holds the boot medium (volume RUNDIAGS_BOOT" + where + ")";
  }
  return std::nullopt;
}

}  // namespace diskburn
