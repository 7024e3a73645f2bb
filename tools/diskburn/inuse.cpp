// diskburn: see inuse.h.

#include "inuse.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sysroot.h"
#include "toolframe/readfile.h"
#include "toolframe/util.h"

namespace diskburn {

using toolframe::list_dir;
using toolframe::path_exists;

std::optional<std::string> holder_of(const std::string& disk) {
  std::string base = rooted("/sys/block/" + disk);
  auto h = list_dir(base + "/holders");
  if (!h.empty()) return h[0];
  for (auto& part : list_dir(base)) {
    if (!path_exists(base + "/" + part + "/partition")) continue;
    auto ph = list_dir(base + "/" + part + "/holders");
    if (!ph.empty()) return ph[0];
  }
  return std::nullopt;
}

InUse UseFinder::find() {
  why_.clear();
  mounts();
  swaps();
  command_line();
  holders();
  busy_loops();
  return why_;
}

void UseFinder::mark(const DiskSet& disks, const Use& use) {
  for (auto& [disk, via] : disks) {
    if (via.empty() || via == disk) {
      why_.emplace(disk, use);
    } else {
      std::string t = "backs loop device " + via + ", which " + use.phrase;
      why_.emplace(disk, Use{t, t});
    }
  }
}

void UseFinder::mounts() {
  for (auto& m : topo_.mounts()) {
    DiskSet d;
    topo_.of_mount(m, d);
    std::string t = "holds a mounted filesystem (" + printable(m.point) + ")";
    mark(d, {t, t});
  }
}

void UseFinder::swaps() {
  for (auto& path : read_swaps()) {
    DiskSet d;
    topo_.of_path(path, d);
    mark(d, {"holds active swap space", "holds active swap space"});
  }
}

namespace {
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
}  // namespace

void UseFinder::command_line() {
  auto cmd = attr(rooted("/proc/cmdline"));
  if (!cmd) return;
  const std::string t = "holds the system's boot medium or root filesystem";
  for (auto& arg : toolframe::split(*cmd, ' ')) {
    for (const char* key : {"root=", "live-media=", "bootfrom=", "fromiso=", "resume="}) {
      if (arg.rfind(key, 0) != 0) continue;
      if (auto dev = resolve_dev_ref(arg.substr(std::strlen(key)))) {
        DiskSet d;
        topo_.of_path(*dev, d);
        mark(d, {t, t});
      }
    }
  }
}

// A device with holders is in use, and so is all that lies beneath it
// (a loop device's backing disk among them).
void UseFinder::holders() {
  for (auto& name : list_dir(rooted("/sys/block"))) {
    auto h = holder_of(name);
    if (!h) continue;
    DiskSet d;
    topo_.of_sysdir(rooted("/sys/block/" + name), d);
    std::string who = printable(*h);
    mark(d, {"in use by " + who, "is in use by " + who});
  }
}

// A loop device that another program holds open exclusively (a mount in
// another mount namespace, for one) shows nowhere else.
void UseFinder::busy_loops() {
  for (auto& name : list_dir(rooted("/sys/block"))) {
    std::string dir = rooted("/sys/block/" + name);
    if (loop_backing_path(dir).empty() || why_.count(name)) continue;
    DiskSet d;
    topo_.of_sysdir(dir, d);
    bool matters = !interest_;
    for (auto& kv : d) matters = matters || interest_->count(kv.first);
    if (!matters) continue;
    auto dev = parse_devnum(attr(dir + "/dev").value_or(""));
    std::string why;
    auto node = dev ? nodes_.node(name, *dev, why) : std::nullopt;
    if (!node) continue;
    int fd = ::open(node->c_str(), O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      ::close(fd);
      continue;
    }
    if (errno != EBUSY) continue;
    mark(d, {"open exclusively by another program", "is open exclusively by another program"});
  }
}

}  // namespace diskburn
