// diskburn: see classify.h.

#include "classify.h"

#include <cstring>

#include "describe.h"
#include "sysroot.h"
#include "toolio.h"

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
  std::string base = sys("/sys/block/" + name);
  bool loop = name.rfind("loop", 0) == 0;
  for (auto& k : kinds)
    if (name.rfind(k.p, 0) == 0 && !(loop && listed_by_operator)) return std::string(k.why);
  if (attr(base + "/hidden").value_or("") == "1") return std::string("hidden path device (multipath leg)");
  if (attr(base + "/device/type").value_or("") == "5") return std::string("optical drive");
  if (!loop && !toolio::path_exists(base + "/device"))
    return std::string("virtual device (no hardware behind it)");
  return std::nullopt;
}

std::optional<std::string> state_reason(const std::string& name, const InUse& in_use) {
  std::string base = sys("/sys/block/" + name);
  if (auto it = in_use.find(name); it != in_use.end()) return it->second.text;
  if (auto h = holder_of(name)) return "in use by " + printable(*h);
  if (attr(base + "/ro").value_or("") == "1") return std::string("read-only");
  auto bytes = disk_bytes(name);
  if (!bytes) return std::string("size unknown (its size attribute is missing or odd)");
  if (*bytes == 0) return std::string("no medium");
  return std::nullopt;
}

}  // namespace diskburn
