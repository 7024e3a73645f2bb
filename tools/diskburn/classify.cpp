// diskburn: see classify.h.

#include "classify.h"

#include <cstring>

#include "describe.h"
#include "sysroot.h"
#include "toolframe/readfile.h"

namespace diskburn {

std::optional<std::string> kind_reason(const std::string& name, bool listed_by_operator) {
  struct Prefix {
    const char* p;
    const char* why;
  };
  static const Prefix kinds[] = {
      {"ram", "RAM disk"},
      {"zram", "compressed RAM disk"},
      {"dm-", "device-mapper device"},
      {"md", "software RAID (md) device"},
      {"sr", "optical drive"},
      {"fd", "floppy drive"},
      {"nbd", "network block device"},
      {"rbd", "network block device (Ceph RBD)"},
      {"drbd", "network-replicated device"},
      {"mtdblock", "flash memory (MTD) device"},
      {"ubiblock", "flash memory (UBI) volume"},
      {"bcache", "bcache cache device"},
      {"zd", "ZFS volume"},
      {"loop", "loop device"},
  };
  std::string base = rooted("/sys/block/" + name);
  bool loop = name.rfind("loop", 0) == 0;
  for (auto& k : kinds)
    if (name.rfind(k.p, 0) == 0 && !(loop && listed_by_operator)) return std::string(k.why);
  if (attr(base + "/hidden").value_or("") == "1") return std::string("hidden path device (multipath leg)");
  if (attr(base + "/device/type").value_or("") == "5") return std::string("optical drive");
  if (!loop && !toolframe::path_exists(base + "/device"))
    return std::string("virtual device (no hardware behind it)");
  return std::nullopt;
}

namespace {
// A host-managed zoned disk (SMR, ZNS) refuses writes out of order, and
// the pass's requests in flight may land out of order; a host-aware one
// takes any write, as an ordinary disk does.
std::optional<Use> zoned_reason(const std::string& name) {
  std::string z = printable(attr(rooted("/sys/block/" + name + "/queue/zoned")).value_or("none"), 32);
  if (z == "none" || z == "host-aware") return std::nullopt;
  return Use{"zoned disk (" + z + "); the burn-in writes out of order", "is a zoned disk (" + z + ")"};
}
}  // namespace

std::optional<Use> state_reason(const std::string& name, const InUse& in_use) {
  std::string base = rooted("/sys/block/" + name);
  if (auto it = in_use.find(name); it != in_use.end()) return it->second;
  if (auto h = holder_of(name)) return Use{"in use by " + printable(*h), "is in use by " + printable(*h)};
  if (attr(base + "/ro").value_or("") == "1") return Use{"read-only", "is read-only"};
  auto bytes = disk_bytes(name);
  if (!bytes) return Use{"size unknown (its size attribute is missing or odd)", "has no size that can be read"};
  if (*bytes == 0) return Use{"no medium", "has no medium"};
  return zoned_reason(name);
}

}  // namespace diskburn
