// diskburn: device nodes by number.  A disk is opened through the device
// number its sysfs entry gives, never by guessing "/dev/" + its name: the
// node under /dev is used only when it is a block device with that number,
// and otherwise one is made in a private directory (and removed again).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace diskburn {

class DevNodes {
 public:
  DevNodes() = default;
  ~DevNodes();
  DevNodes(const DevNodes&) = delete;
  DevNodes& operator=(const DevNodes&) = delete;

  // A block device node for dev, or nothing with the reason in why.
  std::optional<std::string> node(const std::string& name, dev_t dev, std::string& why);
  // Removes what was made; also done on destruction.
  void clear();

 private:
  bool make_dir(std::string& why);

  std::string dir_;
  std::vector<std::string> made_;
};

}  // namespace diskburn
