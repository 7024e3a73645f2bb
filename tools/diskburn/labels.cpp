// diskburn: see labels.h.

#include "labels.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

#include "sysroot.h"

namespace diskburn {

namespace {
constexpr char kResultsLabel[] = "RUNDIAGS";
constexpr char kBootLabel[] = "RUNDIAGS_BOOT";
constexpr size_t kIsoDescriptor = 16 * 2048;  // the primary volume descriptor

unsigned le16(const unsigned char* p) { return p[0] | p[1] << 8; }
uint32_t le32(const unsigned char* p) { return le16(p) | static_cast<uint32_t>(le16(p + 2)) << 16; }

bool label_is(const unsigned char* p, size_t n, const char* want) {
  std::string s(reinterpret_cast<const char*>(p), n);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  std::string w = want;
  return s.size() == w.size() &&
         std::equal(s.begin(), s.end(), w.begin(), [](char a, char b) { return std::toupper(a) == b; });
}

std::vector<unsigned char> read_at(int fd, uint64_t off, size_t n) {
  std::vector<unsigned char> b(n);
  ssize_t got = ::pread(fd, b.data(), n, static_cast<off_t>(off));
  b.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return b;
}

// The volume label entry of the root directory (what mlabel changes).
bool fat_root_label(int fd, const unsigned char* bs) {
  unsigned bps = le16(bs + 11), spc = bs[13], reserved = le16(bs + 14), fats = bs[16];
  unsigned root_entries = le16(bs + 17);
  uint64_t fat_sectors = le16(bs + 22) ? le16(bs + 22) : le32(bs + 36);
  uint64_t root = reserved + fats * fat_sectors;
  size_t bytes = root_entries * 32u;
  if (root_entries == 0) {  // FAT32: the root directory is a cluster chain
    uint32_t cluster = le32(bs + 44);
    if (cluster < 2) return false;
    root += uint64_t{cluster - 2} * spc;
    bytes = spc * bps;
  }
  auto dir = read_at(fd, root * bps, std::min<size_t>(bytes, 64 << 10));
  for (size_t e = 0; e + 32 <= dir.size(); e += 32) {
    const unsigned char* d = dir.data() + e;
    if (d[0] == 0) break;
    if (d[0] == 0xE5 || d[11] == 0x0F) continue;  // deleted, long-name piece
    if ((d[11] & 0x08) && !(d[11] & 0x10)) return label_is(d, 11, kResultsLabel);
  }
  return false;
}

bool is_results_fat(int fd, const std::vector<unsigned char>& bs) {
  if (bs.size() < 512 || bs[510] != 0x55 || bs[511] != 0xAA) return false;
  unsigned bps = le16(bs.data() + 11), spc = bs[13];
  if ((bps != 512 && bps != 1024 && bps != 2048 && bps != 4096) || spc == 0 || (spc & (spc - 1)) ||
      bs[16] == 0)
    return false;
  bool fat32 = le16(bs.data() + 22) == 0 && le16(bs.data() + 17) == 0;
  size_t sig = fat32 ? 66 : 38, label = fat32 ? 71 : 43;
  if (bs[sig] == 0x29 && label_is(bs.data() + label, 11, kResultsLabel))
    return true;
  return fat_root_label(fd, bs.data());
}

bool is_boot_iso(const std::vector<unsigned char>& pvd) {
  static const unsigned char kId[] = {1, 'C', 'D', '0', '0', '1'};
  return pvd.size() >= 72 && std::equal(kId, kId + 6, pvd.begin()) && label_is(pvd.data() + 40, 32, kBootLabel);
}

Medium medium_at(const std::string& node) {
  int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Medium::kNone;
  Medium m = medium_of(fd);
  ::close(fd);
  return m;
}
}  // namespace

Medium medium_of(int fd) {
  if (is_results_fat(fd, read_at(fd, 0, 512))) return Medium::kResults;
  if (is_boot_iso(read_at(fd, kIsoDescriptor, 2048))) return Medium::kBoot;
  return Medium::kNone;
}

std::optional<std::string> medium_reason(const std::string& disk, dev_t dev, const Topology& topo,
                                         DevNodes& nodes) {
  std::vector<std::pair<std::string, dev_t>> parts{{disk, dev}};
  for (auto& p : topo.partitions(disk)) parts.push_back(p);
  for (auto& [name, num] : parts) {
    std::string why;
    auto node = nodes.node(name, num, why);
    if (!node) continue;
    Medium m = medium_at(*node);
    std::string where = name == disk ? "" : " on " + name;
    if (m == Medium::kResults) return "holds the results stick (FAT label RUNDIAGS" + where + ")";
    if (m == Medium::kBoot) return "holds the boot medium (volume RUNDIAGS_BOOT" + where + ")";
  }
  return std::nullopt;
}

}  // namespace diskburn
