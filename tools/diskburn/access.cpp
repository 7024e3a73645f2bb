// diskburn: see access.h.

#include "access.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "sysroot.h"
#include "toolframe/readfile.h"

namespace diskburn {

namespace {
// Where the node to open comes from.  A fake root (tests) may lead only to
// loop devices, whatever numbers its sysfs gives.
bool find_node(Target& t, DevNodes& nodes, Failure& f) {
  if (!may_open(t.dev)) {
    f = {kExitOpen, fmt("Cannot use %s: a fake DISKBURN_ROOT may lead only to loop devices.", t.name.c_str())};
    return false;
  }
  if (!t.path.empty()) return true;
  std::string why;
  auto node = nodes.node(t.name, t.dev, why);
  if (!node) {
    f = {kExitOpen, fmt("Cannot open %s: %s.", t.name.c_str(), why.c_str())};
    return false;
  }
  t.path = *node;
  return true;
}

bool learn_size(Target& t, const struct stat& st, Failure& f) {
  if (S_ISBLK(st.st_mode)) {
    uint64_t bytes = 0;
    int lbs = 512;
    if (::ioctl(t.fd, BLKGETSIZE64, &bytes) != 0 || ::ioctl(t.fd, BLKSSZGET, &lbs) != 0) {
      f = {kExitOpen, fmt("Cannot learn the size of %s: %s.", t.name.c_str(), std::strerror(errno))};
      return false;
    }
    t.full = bytes;
    t.align = static_cast<size_t>(std::max(lbs, 512));
  } else {
    t.full = static_cast<uint64_t>(st.st_size);
    t.align = 4096;
    t.ino = st.st_ino;
  }
  t.size = t.full / t.align * t.align;
  if (t.size == 0) {
    f = {kExitOpen, fmt("Cannot use %s: it is empty or smaller than one block.", t.name.c_str())};
    return false;
  }
  return true;
}
}  // namespace

Opened open_target(Target& t, DevNodes& nodes, Failure& f) {
  if (t.is_block && !find_node(t, nodes, f)) return Opened::kNo;
  int flags = O_RDWR | O_DIRECT | O_CLOEXEC;
  if (t.is_block) flags |= O_EXCL;  // refused while anything else holds it
  t.fd = ::open(t.path.c_str(), flags);
  if (t.fd < 0 && errno == EBUSY) return Opened::kBusy;
  if (t.fd < 0) {
    f = {kExitOpen, fmt("Cannot open %s for direct I/O: %s.", t.name.c_str(), std::strerror(errno))};
    return Opened::kNo;
  }
  struct stat st;
  if (::fstat(t.fd, &st) != 0 || bool(S_ISBLK(st.st_mode)) != t.is_block || (t.is_block && st.st_rdev != t.dev)) {
    f = {kExitOpen, fmt("Cannot use %s: it changed while it was being opened.", t.name.c_str())};
    return Opened::kNo;
  }
  return learn_size(t, st, f) ? Opened::kYes : Opened::kNo;
}

std::optional<std::string> vanished(Target& t) {
  struct stat st;
  if (::fstat(t.fd, &st) != 0) return std::string(std::strerror(errno));
  if (!t.is_block) {
    if (st.st_nlink == 0) return std::string("the file was deleted");
    if (static_cast<uint64_t>(st.st_size) < t.size)
      return fmt("the file shrank to %" PRIu64 " bytes", static_cast<uint64_t>(st.st_size));
    return std::nullopt;
  }
  uint64_t bytes = 0;
  if (::ioctl(t.fd, BLKGETSIZE64, &bytes) != 0) return std::string(std::strerror(errno));
  if (bytes < t.size)
    return bytes == 0 ? std::string("the device went away (size 0)")
                      : fmt("the device shrank to %" PRIu64 " bytes", bytes);
  return std::nullopt;
}

}  // namespace diskburn
