// diskburn: see fatlabel.h.

#include "fatlabel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "toolframe/readfile.h"

namespace diskburn {

namespace {

using toolframe::read_at;

// The most a FAT directory holds: 65536 entries of 32 bytes.
constexpr size_t kMaxDirBytes = 65536 * 32;

unsigned le16(const unsigned char* p) { return p[0] | p[1] << 8; }
uint32_t le32(const unsigned char* p) { return le16(p) | static_cast<uint32_t>(le16(p + 2)) << 16; }

// Where a FAT filesystem keeps its tables and its root directory, in bytes.
struct Layout {
  bool fat32 = false;
  uint64_t fat = 0;         // the first FAT
  uint64_t root = 0;        // FAT12/16: the fixed root directory
  size_t root_bytes = 0;
  uint32_t root_cluster = 0;  // FAT32: the root directory's first cluster
  uint64_t data = 0;        // cluster 2
  size_t cluster_bytes = 0;
  uint64_t clusters = 0;
};

// The layout, if the boot sector is a FAT one by makefloppy's checks.
std::optional<Layout> layout(const std::vector<unsigned char>& bs) {
  if (bs.size() != 512 || bs[510] != 0x55 || bs[511] != 0xAA) return std::nullopt;
  const unsigned char* b = bs.data();
  const unsigned bps = le16(b + 11), spc = b[13], reserved = le16(b + 14), fats = b[16];
  if ((bps != 512 && bps != 1024 && bps != 2048 && bps != 4096) || spc == 0 || (spc & (spc - 1)) ||
      reserved == 0 || (fats != 1 && fats != 2))
    return std::nullopt;
  Layout l;
  l.fat32 = le16(b + 22) == 0;
  const uint64_t fat_sectors = l.fat32 ? le32(b + 36) : le16(b + 22);
  const uint64_t root = reserved + fats * fat_sectors;
  l.fat = uint64_t{reserved} * bps;
  l.root = root * bps;
  l.root_bytes = l.fat32 ? 0 : le16(b + 17) * size_t{32};
  l.root_cluster = le32(b + 44);
  const uint64_t data = root + (l.root_bytes + bps - 1) / bps;
  l.data = data * bps;
  l.cluster_bytes = size_t{spc} * bps;
  const uint64_t total = le16(b + 19) ? le16(b + 19) : le32(b + 32);
  l.clusters = total > data ? (total - data) / spc : 0;
  return l;
}

// The boot sector's label: trailing blanks dropped, "" without one.
std::string boot_label(const std::vector<unsigned char>& bs, const Layout& l) {
  const size_t sig = l.fat32 ? 66 : 38, at = l.fat32 ? 71 : 43;
  if (bs[sig] != 0x29) return "";
  std::string s(reinterpret_cast<const char*>(bs.data() + at), 11);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s == "NO NAME" ? "" : s;
}

// A label entry's name as mdir prints it and makefloppy takes it from
// there: up to a NUL, its first line, trailing white space dropped.
std::string entry_label(const unsigned char* d) {
  std::string s(reinterpret_cast<const char*>(d), 11);
  const size_t end = std::min(s.find('\0'), s.find('\n'));  // npos when neither is there
  if (end != std::string::npos) s.resize(end);
  while (!s.empty() && std::strchr(" \t\r\f\v", s.back())) s.pop_back();
  return s;
}

enum class Seen { kLabel, kEnd, kMore };

// Looks through one piece of a directory for its volume-label entry (what
// mtools takes for one: not deleted, not a long-name piece, the volume bit
// without the directory bit), stopping at the end-of-directory mark.
Seen look_through(const std::vector<unsigned char>& dir, std::string& label) {
  for (size_t e = 0; e + 32 <= dir.size(); e += 32) {
    const unsigned char* d = dir.data() + e;
    if (d[0] == 0) return Seen::kEnd;
    if (d[0] == 0xE5 || d[11] == 0x0F) continue;
    if ((d[11] & 0x08) && !(d[11] & 0x10)) {
      label = entry_label(d);
      return Seen::kLabel;
    }
  }
  return Seen::kMore;
}

// The root directory's label: nothing when it has none or cannot be read.
std::optional<std::string> fixed_root_label(int fd, const Layout& l) {
  auto dir = read_at(fd, l.root, l.root_bytes);
  if (dir.size() != l.root_bytes) return std::nullopt;
  std::string label;
  if (look_through(dir, label) == Seen::kLabel) return label;
  return std::nullopt;
}

// FAT32: the root directory is a chain of clusters, followed through the
// first FAT; a chain that leads outside the filesystem cannot be read.
std::optional<std::string> chained_root_label(int fd, const Layout& l) {
  uint32_t c = l.root_cluster;
  for (size_t looked = 0; looked < kMaxDirBytes; looked += l.cluster_bytes) {
    if (c < 2 || c - 2 >= l.clusters) return std::nullopt;
    auto dir = read_at(fd, l.data + uint64_t{c - 2} * l.cluster_bytes, l.cluster_bytes);
    if (dir.size() != l.cluster_bytes) return std::nullopt;
    std::string label;
    Seen seen = look_through(dir, label);
    if (seen == Seen::kLabel) return label;
    if (seen == Seen::kEnd) break;
    auto next = read_at(fd, l.fat + uint64_t{c} * 4, 4);
    if (next.size() != 4) return std::nullopt;
    c = le32(next.data()) & 0x0FFFFFFF;
    if (c >= 0x0FFFFFF8) break;  // the end of the chain
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> fat_labels_seen(int fd) {
  const auto bs = read_at(fd, 0, 512);
  const auto l = layout(bs);
  if (!l) return {};
  std::vector<std::string> seen;
  if (auto root = l->fat32 ? chained_root_label(fd, *l) : fixed_root_label(fd, *l)) seen.push_back(*root);
  if (std::string boot = boot_label(bs, *l); !boot.empty()) seen.push_back(boot);
  return seen;
}

}  // namespace diskburn
