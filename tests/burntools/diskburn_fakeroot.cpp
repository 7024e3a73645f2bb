#include "diskburn_fakeroot.h"


#include <algorithm>
#include <filesystem>
#include <fstream>

#include "sysroot.h"

namespace fs = std::filesystem;

namespace dbtest {

FakeRoot::FakeRoot() {
  for (const char* d : {"sys/block", "sys/dev/block", "sys/class/block", "proc/self", "dev"})
    fs::create_directories(dir_ + "/" + d);
  flush_proc();
  toolframe::set_root(dir_);
}

FakeRoot::~FakeRoot() { toolframe::set_root(""); }

void FakeRoot::write(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(dir_ + path).parent_path());
  std::ofstream(dir_ + path, std::ios::binary) << bytes;
}

void FakeRoot::link(const std::string& path, const std::string& target) {
  fs::create_directories(fs::path(dir_ + path).parent_path());
  fs::create_symlink(target, dir_ + path);
}

void FakeRoot::directory(const std::string& path) {
  fs::remove_all(dir_ + path);
  fs::create_directories(dir_ + path);
}

void FakeRoot::disk(const std::string& name, const std::string& devnum, bool hardware,
                    const std::string& sectors) {
  std::string b = "/sys/block/" + name;
  write(b + "/dev", devnum + "\n");
  write(b + "/size", sectors + "\n");
  write(b + "/ro", "0\n");
  if (hardware) fs::create_directories(dir_ + b + "/device");
  link("/sys/dev/block/" + devnum, "../../block/" + name);
  link("/sys/class/block/" + name, "../../block/" + name);
}

void FakeRoot::partition(const std::string& disk, const std::string& name, const std::string& devnum) {
  std::string b = "/sys/block/" + disk + "/" + name;
  write(b + "/dev", devnum + "\n");
  write(b + "/partition", "1\n");
  link("/sys/dev/block/" + devnum, "../../block/" + disk + "/" + name);
  link("/sys/class/block/" + name, "../../block/" + disk + "/" + name);
}

void FakeRoot::hold(const std::string& held, const std::string& holder) {
  int depth = 1 + static_cast<int>(std::count(held.begin(), held.end(), '/'));
  std::string up;
  for (int i = 0; i < depth + 1; ++i) up += "../";
  link("/sys/block/" + held + "/holders/" + holder, up + holder);
  std::string slave = held.substr(held.rfind('/') + 1);
  link("/sys/block/" + holder + "/slaves/" + slave, "../../" + held);
}

void FakeRoot::loop(const std::string& name, const std::string& devnum, const std::string& backing) {
  disk(name, devnum, false);
  write("/sys/block/" + name + "/loop/backing_file", backing + "\n");
}

void FakeRoot::mount(const std::string& devnum, const std::string& point, const std::string& source) {
  mounts_.push_back(std::to_string(20 + mounts_.size()) + " 1 " + devnum + " / " + point +
                    " rw,relatime shared:1 - ext4 " + source + " rw");
  flush_proc();
}

void FakeRoot::swap(const std::string& path) {
  swaps_.push_back(path + "  partition\t1048572\t0\t-2");
  flush_proc();
}

void FakeRoot::flush_proc() {
  std::string mi, sw = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n";
  for (auto& m : mounts_) mi += m + "\n";
  for (auto& s : swaps_) sw += s + "\n";
  write("/proc/self/mountinfo", mi);
  write("/proc/swaps", sw);
}

}  // namespace dbtest
