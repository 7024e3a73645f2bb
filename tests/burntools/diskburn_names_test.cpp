// How diskburn names a disk, over the table it shares with the test of
// makefloppy's record: both must name every disk alike.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "describe.h"
#include "diskburn_fakeroot.h"
#include "toolframe/util.h"

namespace {

// "\x20" and the like as bytes.
std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s.compare(i, 2, "\\x") == 0 && i + 3 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

TEST(DiskburnNames, EveryDiskOfTheSharedTable) {
  std::ifstream table(DISK_NAMES);
  ASSERT_TRUE(table) << DISK_NAMES;
  dbtest::FakeRoot root;
  std::string line;
  int n = 0;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    auto f = toolframe::split(line, '|');
    ASSERT_EQ(f.size(), 4u) << line;
    const std::string disk = "sd" + std::to_string(n);
    root.disk(disk, "60:" + std::to_string(16 * n++));
    const char* attrs[] = {"vendor", "model", "name"};
    for (int k = 0; k < 3; ++k)
      if (f[k] != "-") root.write("/sys/block/" + disk + "/device/" + attrs[k], unescape(f[k]) + "\n");
    EXPECT_EQ(diskburn::disk_model(disk), unescape(f[3])) << line;
  }
  EXPECT_GT(n, 10);
}

}  // namespace
