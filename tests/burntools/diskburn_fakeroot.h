// A fake machine for diskburn's scan: a directory with the sys, proc and dev
// entries diskburn reads, laid out the way the kernel lays them out (sysfs
// links relative, so they stay inside the fake root).  Device numbers use
// the majors set aside for local and experimental use, so that nothing here
// names a device of the machine running the tests.
#pragma once

#include <string>
#include <vector>

namespace dbtest {

class FakeRoot {
 public:
  FakeRoot();
  ~FakeRoot();
  FakeRoot(const FakeRoot&) = delete;
  FakeRoot& operator=(const FakeRoot&) = delete;

  const std::string& dir() const { return dir_; }

  // A whole disk /sys/block/<name> with a "device" directory (hardware) or
  // without (virtual), 2 GB unless size says otherwise.
  void disk(const std::string& name, const std::string& devnum, bool hardware = true,
            const std::string& sectors = "4194304");
  void partition(const std::string& disk, const std::string& name, const std::string& devnum);
  // holder (dm-0, md0) holds the block device at sysfs path below /sys/block.
  void hold(const std::string& held, const std::string& holder);
  // A loop device backed by path.
  void loop(const std::string& name, const std::string& devnum, const std::string& backing);
  // Creates the file at path below the root with these bytes.
  void write(const std::string& path, const std::string& bytes);
  void link(const std::string& path, const std::string& target);
  // Puts a directory where the path is (an attribute that cannot be read).
  void directory(const std::string& path);
  // A line of /proc/self/mountinfo for a mount of devnum from source at point.
  void mount(const std::string& devnum, const std::string& point, const std::string& source);
  void swap(const std::string& path);

 private:
  void flush_proc();

  std::string dir_;
  std::vector<std::string> mounts_, swaps_;
};

}  // namespace dbtest
