// diskburn: see nodes.h.

#include "nodes.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sysroot.h"
#include "toolframe/settings.h"
#include "toolframe/util.h"

namespace diskburn {

DevNodes::~DevNodes() { clear(); }

void DevNodes::clear() {
  for (auto& p : made_) ::unlink(p.c_str());
  made_.clear();
  if (!dir_.empty()) ::rmdir(dir_.c_str());
  dir_.clear();
}

// The first place that takes device nodes (no "nodev" mount) gets the
// private directory.
bool DevNodes::make_dir(std::string& why) {
  std::vector<std::string> bases;
  if (auto t = toolframe::SettingsReader::text("TMPDIR"); t && t->compare(0, 1, "/") == 0) bases.emplace_back(*t);
  for (const char* b : {"/tmp", "/dev/shm", "/run", "/dev"}) bases.emplace_back(b);
  for (auto& b : bases) {
    struct statvfs vfs;
    if (::statvfs(b.c_str(), &vfs) != 0 || (vfs.f_flag & (ST_NODEV | ST_RDONLY))) continue;
    std::string tmpl = b + "/diskburn-nodes.XXXXXX";
    if (::mkdtemp(tmpl.data())) {
      dir_ = tmpl;
      return true;
    }
  }
  why = "no directory to make a device node in";
  return false;
}

std::optional<std::string> DevNodes::node(const std::string& name, dev_t dev, std::string& why) {
  std::string std_node = rooted("/dev/" + name);
  struct stat st;
  if (::stat(std_node.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == dev) return std_node;
  if (dir_.empty() && !make_dir(why)) return std::nullopt;
  std::string label = printable(name, 32);
  for (auto& c : label)
    if (c == '/') c = '_';
  std::string p = dir_ + "/" + std::to_string(made_.size()) + "-" + label;
  if (::mknod(p.c_str(), S_IFBLK | 0600, dev) != 0) {
    why = toolframe::fmt("cannot make a device node (%s)", std::strerror(errno));
    return std::nullopt;
  }
  made_.push_back(p);
  return p;
}

}  // namespace diskburn
