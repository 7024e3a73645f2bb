// diskburn: see targets.h.

#include "targets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "classify.h"
#include "describe.h"
#include "identity.h"
#include "labels.h"
#include "sysroot.h"
#include "toolframe/readfile.h"
#include "toolframe/settings.h"
#include "toolframe/util.h"

namespace diskburn {

namespace {
// Where the disk sits in sysfs (its bus, host, port...), below the root.
std::string sysfs_path_of(const std::string& name) {
  char* r = ::realpath(rooted("/sys/block/" + name).c_str(), nullptr);
  if (!r) return "";
  std::string s = r;
  std::free(r);
  return s.rfind(toolframe::root(), 0) == 0 ? s.substr(toolframe::root().size()) : "";
}

std::unique_ptr<Target> block_target(const std::string& name, dev_t dev) {
  auto t = std::make_unique<Target>();
  t->name = name;
  t->is_block = true;
  t->dev = dev;
  t->sysfs_size = disk_bytes(name).value_or(0);
  t->model = disk_model(name);
  t->serial = disk_serial(name);
  t->wwid = disk_wwid(name);
  t->sysfs_path = sysfs_path_of(name);
  return t;
}
}  // namespace

std::optional<int> Chooser::choose(Targets& out) {
  const auto list = toolframe::SettingsReader::text("DISKBURN_TARGETS");
  const char* env = list ? list->c_str() : nullptr;
  topo_ = std::make_unique<Topology>(read_mounts());
  in_use_ = UseFinder(*topo_, nodes_, interest(env)).find();
  learn_boot();
  if (env) {
    // Set at all, even empty, it replaces the scan: a test that lost its
    // list must never fall through to the machine's own disks.
    if (auto rc = listed(env, out)) return rc;
  } else {
    scan(out);
  }
  drop_duplicates(out);
  return std::nullopt;
}

// With a list, what its entries are: whole disks, and the loop devices a
// listed file backs.
Interest Chooser::interest(const char* list) const {
  if (!list) return std::nullopt;
  std::set<std::string> names;
  for (auto& p : toolframe::split(list, ':')) {
    struct stat st;
    if (p.empty() || ::stat(p.c_str(), &st) != 0) continue;
    if (S_ISBLK(st.st_mode))
      if (auto n = topo_->whole_disk(st.st_rdev)) names.insert(*n);
    if (S_ISREG(st.st_mode))
      for (auto& l : topo_->loops_backed_by(st)) names.insert(l);
  }
  return names;
}

// The medium rundiags booted from, as its start-up found it.
void Chooser::learn_boot() {
  const auto env = toolframe::SettingsReader::text("DISKBURN_BOOT_DEVICE");
  if (!env || env->empty()) return;
  boot_path_ = *env;
  std::string shown = printable(boot_path_, 64);
  struct stat st;
  bool known = boot_path_[0] == '/' && ::lstat(rooted(boot_path_).c_str(), &st) == 0;
  if (!known && boot_path_[0] == '/')
    if (auto name = topo_->dev_name_of(boot_path_)) known = topo_->sysdir_of_name(*name).has_value();
  if (!known) {
    say_("Boot medium " + shown + " not found: nothing left out for it.");
    return;
  }
  topo_->of_path(boot_path_, boot_);
  if (boot_.empty()) say_("Boot medium " + shown + " is on no disk found here: nothing left out for it.");
}

// What is left out in both modes: media rundiags itself needs.
std::optional<std::string> Chooser::keep_reason(const std::string& name, dev_t dev) {
  if (auto it = boot_.find(name); it != boot_.end()) {
    std::string t = "holds the boot medium (" + printable(boot_path_, 64) + ")";
    return it->second.empty() || it->second == name ? t : "backs loop device " + it->second + ", which " + t;
  }
  return medium_reason(name, dev, *topo_, nodes_);
}

// Why a disk found in the scan is left out, or nothing.
std::optional<Use> Chooser::scan_reason(const std::string& name, dev_t& dev) {
  auto keep = [&]() -> std::optional<Use> {
    if (auto r = keep_reason(name, dev)) return Use{*r, *r};
    return std::nullopt;
  };
  auto d = parse_devnum(attr(rooted("/sys/block/" + name + "/dev")).value_or(""));
  if (!d) return Use{"no device number in sysfs", "has no device number in sysfs"};
  dev = *d;
  if (boot_.count(name)) return keep();
  if (auto r = state_reason(name, in_use_)) return r;
  if (auto r = keep()) return r;
  return busy_reason(name, dev);
}

// Held exclusively by another program (a mount in another mount namespace
// shows nowhere else).  Asked of every path here, before the paths to one
// disk are reduced to one: the path kept must not be the free-looking
// second path of a disk in use.
std::optional<Use> Chooser::busy_reason(const std::string& name, dev_t dev) {
  std::string why;
  auto node = may_open(dev) ? nodes_.node(name, dev, why) : std::nullopt;
  if (!node) return std::nullopt;
  int fd = ::open(node->c_str(), O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
  if (fd >= 0 || errno != EBUSY) return std::nullopt;
  return Use{"in use (busy when opened)", "is in use (busy when opened)"};
}

// Every entry of /sys/block that is a disk at all is described, kept or
// not, so that another path to a disk left out is left out too.
void Chooser::scan(Targets& out) {
  for (auto& name : toolframe::list_dir(rooted("/sys/block"))) {
    if (auto kind = kind_reason(name, false)) {
      say_("Leaving out " + printable(name) + ": " + *kind + ".");
      continue;
    }
    dev_t dev = 0;
    auto why = scan_reason(name, dev);
    auto t = block_target(name, dev);
    seen_.insert(burn_key(*t));
    if (why) {
      say_("Leaving out " + printable(name) + ": " + why->text + ".");
      left_.push_back({std::move(t), *why});
    } else {
      out.push_back(std::move(t));
    }
  }
  leave_out_other_paths(out);
}

void Chooser::leave_out_other_paths(Targets& out) {
  Targets kept;
  for (auto& t : out) {
    auto same = std::find_if(left_.begin(), left_.end(), [&](const LeftOut& l) { return same_identity(*l.disk, *t); });
    if (same == left_.end()) {
      kept.push_back(std::move(t));
      continue;
    }
    say_("Leaving out " + printable(t->name) + ": another path to " + printable(same->disk->name) + ", which " +
         same->why.phrase + ".");
    Use why = same->why;
    left_.push_back({std::move(t), why});
  }
  out = std::move(kept);
}

std::optional<int> Chooser::listed(const std::string& list, Targets& out) {
  for (auto& p : toolframe::split(list, ':')) {
    if (p.empty()) continue;
    struct stat st;
    std::optional<int> rc;
    if (::stat(p.c_str(), &st) != 0) {
      say_(fmt("Cannot use %s: %s.", p.c_str(), std::strerror(errno)));
      rc = kExitOpen;
    } else if (S_ISBLK(st.st_mode)) {
      rc = listed_device(p, st.st_rdev, out);
    } else if (S_ISREG(st.st_mode)) {
      rc = listed_file(p, st, out);
    } else {
      say_(fmt("Cannot use %s: not a regular file or a block device.", p.c_str()));
      rc = kExitOpen;
    }
    if (rc) return rc;
  }
  return std::nullopt;
}

std::optional<int> Chooser::listed_device(const std::string& p, dev_t dev, Targets& out) {
  auto name = topo_->whole_disk(dev);
  std::optional<std::string> why;
  if (!name) why = "not a whole disk";
  if (!why) why = kind_reason(*name, true);
  if (!why) seen_.insert(burn_key(*block_target(*name, dev)));
  if (!why)
    if (auto keep = keep_reason(*name, dev)) {
      say_("Leaving out " + *name + ": " + *keep + ".");
      return std::nullopt;
    }
  if (!why)
    if (auto use = state_reason(*name, in_use_)) why = use->text;
  if (why) {
    say_("Cannot use " + p + ": " + *why + ".");
    return kExitOpen;
  }
  auto t = block_target(*name, dev);
  t->path = p;
  t->listed = true;
  out.push_back(std::move(t));
  return std::nullopt;
}

// A file that backs a loop device in use holds that device's data.
std::optional<int> Chooser::listed_file(const std::string& p, const struct stat& st, Targets& out) {
  for (auto& loop : topo_->loops_backed_by(st))
    if (auto it = in_use_.find(loop); it != in_use_.end()) {
      say_("Cannot use " + p + ": backs loop device " + loop + ", which " + it->second.phrase + ".");
      return kExitOpen;
    }
  auto t = std::make_unique<Target>();
  t->name = t->path = p;
  t->listed = true;
  t->dev = st.st_dev;
  t->ino = st.st_ino;
  t->sysfs_size = static_cast<uint64_t>(st.st_size);
  t->model = "regular file";
  seen_.insert(burn_key(*t));
  out.push_back(std::move(t));
  return std::nullopt;
}

void Chooser::drop_duplicates(Targets& out) {
  Targets kept;
  for (auto& t : out) {
    std::optional<std::string> why;
    for (auto& k : kept)
      if (!why) why = same_disk(*k, *t);
    if (why) {
      say_("Leaving out " + t->name + ": " + *why + ".");
      continue;
    }
    kept.push_back(std::move(t));
  }
  out = std::move(kept);
}

}  // namespace diskburn
