// diskburn: disk discovery.  Which whole disks the machine has, which of
// them hold something in use (mounted filesystems, swap, the boot medium,
// another kernel user) and so must never be written, and what the report
// says about each one (model, serial).

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "diskburn.h"

namespace diskburn {

using toolio::list_dir;
using toolio::path_exists;

// Whole-disk sysfs names under a block device number: a partition leads to
// its disk, a device-mapper or md device to the disks beneath it.
void disks_under(const std::string& sysdir, std::set<std::string>& out, int depth = 0) {
  if (depth > 16) return;
  char buf[4096];
  ssize_t n = ::readlink(sysdir.c_str(), buf, sizeof buf - 1);
  std::string real;
  if (n > 0) {
    buf[n] = 0;
    std::string link(buf);
    if (link[0] != '/') link = sysdir.substr(0, sysdir.rfind('/') + 1) + link;
    char* r = ::realpath(link.c_str(), nullptr);
    if (!r) return;
    real = r;
    std::free(r);
  } else {
    char* r = ::realpath(sysdir.c_str(), nullptr);
    if (!r) return;
    real = r;
    std::free(r);
  }
  if (path_exists(real + "/partition")) real = real.substr(0, real.rfind('/'));
  std::string name = real.substr(real.rfind('/') + 1);
  auto slaves = list_dir(real + "/slaves");
  if (slaves.empty()) {
    out.insert(name);
    return;
  }
  for (auto& s : slaves) disks_under(real + "/slaves/" + s, out, depth + 1);
}

void disks_of_devnum(dev_t dev, std::set<std::string>& out) {
  disks_under(fmt("/sys/dev/block/%u:%u", major(dev), minor(dev)), out);
}

void disks_of_path(const std::string& path, std::set<std::string>& out) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return;
  if (S_ISBLK(st.st_mode)) disks_of_devnum(st.st_rdev, out);
  else disks_of_devnum(st.st_dev, out);  // a swap file: its filesystem's disk
}

// The device named by a root=/boot-media style argument.
std::optional<std::string> resolve_dev_ref(const std::string& v) {
  auto starts = [&](const char* p) { return v.rfind(p, 0) == 0; };
  if (starts("UUID=")) return "/dev/disk/by-uuid/" + v.substr(5);
  if (starts("PARTUUID=")) return "/dev/disk/by-partuuid/" + v.substr(9);
  if (starts("LABEL=")) return "/dev/disk/by-label/" + v.substr(6);
  if (starts("PARTLABEL=")) return "/dev/disk/by-partlabel/" + v.substr(10);
  if (starts("/dev/")) return v;
  return std::nullopt;
}

std::string unescape_mount(const std::string& s) {
  std::string o;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      o += static_cast<char>(std::strtol(s.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      o += s[i];
    }
  }
  return o;
}

// disk name -> why it must be left alone
std::map<std::string, std::string> disks_in_use() {
  std::map<std::string, std::string> why;
  auto mark = [&](const std::set<std::string>& disks, const std::string& reason) {
    for (auto& d : disks) why.emplace(d, reason);
  };
  std::ifstream mi("/proc/self/mountinfo");
  std::string line;
  while (std::getline(mi, line)) {
    // id parent maj:min root mountpoint opts ... - fstype source superopts
    char mm[64], root[4096], mnt[4096];
    unsigned id, parent;
    if (std::sscanf(line.c_str(), "%u %u %63s %4095s %4095s", &id, &parent, mm, root, mnt) != 5)
      continue;
    std::set<std::string> d;
    unsigned ma = 0, mn = 0;
    if (std::sscanf(mm, "%u:%u", &ma, &mn) == 2 && ma != 0) disks_of_devnum(makedev(ma, mn), d);
    size_t dash = line.find(" - ");
    if (dash != std::string::npos) {
      char fstype[256], source[4096];
      if (std::sscanf(line.c_str() + dash + 3, "%255s %4095s", fstype, source) == 2 &&
          std::strncmp(source, "/dev/", 5) == 0)
        disks_of_path(unescape_mount(source), d);
    }
    mark(d, "holds a mounted filesystem (" + unescape_mount(mnt) + ")");
  }
  std::ifstream sw("/proc/swaps");
  std::getline(sw, line);  // heading
  while (std::getline(sw, line)) {
    char path[4096];
    if (std::sscanf(line.c_str(), "%4095s", path) != 1) continue;
    std::set<std::string> d;
    disks_of_path(unescape_mount(path), d);
    mark(d, "holds active swap space");
  }
  if (auto cmd = read_text("/proc/cmdline")) {
    size_t pos = 0;
    while (pos < cmd->size()) {
      size_t end = cmd->find(' ', pos);
      if (end == std::string::npos) end = cmd->size();
      std::string arg = cmd->substr(pos, end - pos);
      pos = end + 1;
      for (const char* key : {"root=", "live-media=", "bootfrom=", "fromiso=", "resume="}) {
        if (arg.rfind(key, 0) != 0) continue;
        if (auto dev = resolve_dev_ref(arg.substr(std::strlen(key)))) {
          std::set<std::string> d;
          disks_of_path(*dev, d);
          mark(d, "holds the system's boot medium or root filesystem");
        }
      }
    }
  }
  return why;
}

// Another kernel user (an md array, device mapper, bcache...) has claimed it.
std::optional<std::string> holder_of(const std::string& disk) {
  std::string base = "/sys/block/" + disk;
  auto h = list_dir(base + "/holders");
  if (!h.empty()) return h[0];
  for (auto& part : list_dir(base)) {
    if (!path_exists(base + "/" + part + "/partition")) continue;
    auto ph = list_dir(base + "/" + part + "/holders");
    if (!ph.empty()) return ph[0];
  }
  return std::nullopt;
}

// Why a whole disk must never be written, or nothing if it may.
std::optional<std::string> never_touch(const std::string& name,
                                       const std::map<std::string, std::string>& in_use,
                                       bool listed_by_operator) {
  struct Prefix {
    const char* p;
    const char* why;
  };
  static const Prefix kinds[] = {
      {"ram", "RAM disk"},           {"zram", "compressed RAM disk"},
      {"dm-", "device-mapper device"}, {"md", "software RAID (md) device"},
      {"sr", "optical drive"},       {"fd", "floppy drive"},
      {"nbd", "network block device"}, {"drbd", "network-replicated device"},
      {"loop", "loop device"},
  };
  std::string base = "/sys/block/" + name;
  for (auto& k : kinds) {
    if (name.rfind(k.p, 0) != 0) continue;
    if (listed_by_operator && std::strcmp(k.p, "loop") == 0) break;  // named on purpose
    return std::string(k.why);
  }
  if (auto t = read_text(base + "/device/type"); t && *t == "5") return std::string("optical drive");
  if (auto it = in_use.find(name); it != in_use.end()) return it->second;
  if (auto h = holder_of(name)) return "in use by " + *h;
  if (auto ro = read_text(base + "/ro"); ro && *ro == "1") return std::string("read-only");
  if (auto sz = read_text(base + "/size"); !sz || std::strtoull(sz->c_str(), nullptr, 10) == 0)
    return std::string("no medium");
  return std::nullopt;
}

std::string disk_model(const std::string& name) {
  std::string base = "/sys/block/" + name;
  if (auto bf = read_text(base + "/loop/backing_file")) return "loop device on " + *bf;
  std::string vendor = read_text(base + "/device/vendor").value_or("");
  std::string model = read_text(base + "/device/model").value_or("");
  if (vendor == "ATA") vendor.clear();
  std::string s = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
  return s.empty() ? "unknown model" : s;
}

std::string disk_serial(const std::string& name) {
  std::string base = "/sys/block/" + name;
  for (const char* f : {"/device/serial", "/serial"})
    if (auto s = read_text(base + f); s && !s->empty()) return *s;
  // SCSI and SATA disks: the unit serial number VPD page (4-byte header).
  if (auto v = read_text(base + "/device/vpd_pg80"); v && v->size() > 4) {
    std::string s;
    for (char c : v->substr(4))
      if (c > ' ' && c < 127) s += c;
    if (!s.empty()) return s;
  }
  if (auto w = read_text(base + "/device/wwid"); w && !w->empty()) return *w;
  return "unknown";
}

}  // namespace diskburn
