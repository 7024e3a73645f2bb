// diskburn: see topology.h.

#include "topology.h"

#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>

#include "sysroot.h"
#include "toolframe/readfile.h"
#include "toolframe/util.h"

namespace diskburn {

using toolframe::fmt;
using toolframe::list_dir;
using toolframe::path_exists;

namespace {
// Stacks deeper than this are loops in the description, not in the machine.
constexpr int kMaxDepth = 16;

std::string normalize(const std::string& path) {
  std::vector<std::string> parts;
  for (auto& p : toolframe::split(path, '/')) {
    if (p.empty() || p == ".") continue;
    if (p == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(p);
    }
  }
  std::string out;
  for (auto& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

std::optional<std::string> real_path(const std::string& p) {
  char* r = ::realpath(p.c_str(), nullptr);
  if (!r) return std::nullopt;
  std::string s = r;
  std::free(r);
  // A fake root must never lead into the real machine's sysfs.
  if (fake_root() && s.compare(0, toolframe::root().size() + 1, toolframe::root() + "/") != 0) return std::nullopt;
  return s;
}
}  // namespace

std::string loop_backing_path(const std::string& sysdir) {
  auto bf = toolframe::read_text(sysdir + "/loop/backing_file", toolframe::Trim::kTrailing);
  if (!bf) return "";
  const std::string deleted = " (deleted)";
  if (bf->size() > deleted.size() && bf->compare(bf->size() - deleted.size(), deleted.size(), deleted) == 0)
    bf->resize(bf->size() - deleted.size());
  return *bf;
}

std::optional<std::string> Topology::sysdir_of(dev_t dev) const {
  std::string p = rooted(fmt("/sys/dev/block/%u:%u", major(dev), minor(dev)));
  if (!path_exists(p)) return std::nullopt;
  return p;
}

std::optional<std::string> Topology::sysdir_of_name(const std::string& name) const {
  if (name.empty() || name.find('/') != std::string::npos || name[0] == '.') return std::nullopt;
  for (const char* base : {"/sys/class/block/", "/sys/block/"})
    if (path_exists(rooted(base + name))) return rooted(base + name);
  for (auto& d : list_dir(rooted("/sys/block")))
    if (path_exists(rooted("/sys/block/" + d + "/" + name + "/partition"))) return rooted("/sys/block/" + d + "/" + name);
  return std::nullopt;
}

std::optional<std::string> Topology::whole_disk(dev_t dev) const {
  auto dir = sysdir_of(dev);
  if (!dir) return std::nullopt;
  auto real = real_path(*dir);
  if (!real || path_exists(*real + "/partition")) return std::nullopt;
  return real->substr(real->rfind('/') + 1);
}

std::vector<std::pair<std::string, dev_t>> Topology::partitions(const std::string& disk) const {
  std::vector<std::pair<std::string, dev_t>> out;
  std::string base = rooted("/sys/block/" + disk);
  for (auto& p : list_dir(base)) {
    if (!path_exists(base + "/" + p + "/partition")) continue;
    out.emplace_back(p, parse_devnum(attr(base + "/" + p + "/dev").value_or("")).value_or(0));
  }
  return out;
}

std::vector<std::string> Topology::loops_backed_by(const struct stat& file) const {
  std::vector<std::string> out;
  for (auto& name : list_dir(rooted("/sys/block"))) {
    std::string bf = loop_backing_path(rooted("/sys/block/" + name));
    struct stat st;
    if (!bf.empty() && ::stat(rooted(bf).c_str(), &st) == 0 && st.st_dev == file.st_dev &&
        st.st_ino == file.st_ino)
      out.push_back(name);
  }
  return out;
}

std::optional<std::string> Topology::dev_name_of(std::string abs) const {
  for (int i = 0; i < kMaxDepth; ++i) {
    char buf[4096];
    ssize_t n = ::readlink(rooted(abs).c_str(), buf, sizeof buf - 1);
    if (n <= 0) break;
    std::string target(buf, static_cast<size_t>(n));
    abs = target[0] == '/' ? target : abs.substr(0, abs.rfind('/') + 1) + target;
  }
  abs = normalize(abs);
  if (abs.rfind("/dev/", 0) != 0 || abs.find('/', 5) != std::string::npos) return std::nullopt;
  return abs.substr(5);
}

void Topology::of_path(const std::string& abs, DiskSet& out, const std::string& via, int depth) const {
  if (depth > kMaxDepth || abs.empty() || abs[0] != '/') return;
  struct stat st;
  if (::stat(rooted(abs).c_str(), &st) == 0) {
    std::optional<std::string> d = sysdir_of(S_ISBLK(st.st_mode) ? st.st_rdev : st.st_dev);
    if (d) return under(*d, out, via, depth + 1);
    if (S_ISBLK(st.st_mode)) return;
  } else if (auto name = dev_name_of(abs)) {  // no node here: the kernel's name for it
    if (auto d = sysdir_of_name(*name)) return under(*d, out, via, depth + 1);
  }
  // A file on a filesystem without a device number of its own (btrfs), or
  // one that is gone: the mount it lives under.
  if (const Mount* m = mount_of(normalize(abs), mounts_)) of_mount(*m, out, via, depth + 1);
}

void Topology::of_mount(const Mount& m, DiskSet& out, const std::string& via, int depth) const {
  if (depth > kMaxDepth) return;
  if (major(m.dev) != 0)
    if (auto d = sysdir_of(m.dev)) under(*d, out, via, depth + 1);
  if (m.source.rfind("/dev/", 0) == 0) of_path(m.source, out, via, depth + 1);
}

void Topology::under(const std::string& dir, DiskSet& out, const std::string& via, int depth) const {
  if (depth > kMaxDepth) return;
  auto real = real_path(dir);
  if (!real) return;
  if (path_exists(*real + "/partition")) *real = real->substr(0, real->rfind('/'));
  std::string name = real->substr(real->rfind('/') + 1);
  auto slaves = list_dir(*real + "/slaves");
  if (slaves.empty()) out.emplace(name, via);
  for (auto& s : slaves) under(*real + "/slaves/" + s, out, via, depth + 1);
  std::string backing = loop_backing_path(*real);
  if (!backing.empty()) of_path(backing, out, via.empty() ? name : via, depth + 1);
}

}  // namespace diskburn
