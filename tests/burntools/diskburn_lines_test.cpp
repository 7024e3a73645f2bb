// diskburn's lines as the operator reads them: the DISK row shows about the
// first 35 characters of a message line, so the key fact comes first and no
// field is ever empty; progress goes to the log only at each tenth of a pass.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "report.h"
#include "toolframe/protocol.h"

namespace {

using namespace diskburn;

TEST(DiskburnLines, ProgressOnlyAtEachTenthWithNoEmptyField) {
  const uint64_t total = 4000000;
  auto t0 = Clock::now();
  Progress p(total, t0, std::chrono::milliseconds(0));
  std::vector<std::string> lines;
  for (uint64_t done = 0; done <= 2 * total; done += 1000) {
    Activity a;
    a.writing = done < total ? 2 : 0;
    a.flushing = done >= total && done < total + 8000 ? 1 : 0;
    a.verifying = done >= total ? 2 - a.flushing : 0;
    if (auto l = p.update(done, a, t0 + std::chrono::milliseconds(done / 1000))) lines.push_back(*l);
  }
  ASSERT_EQ(lines.size(), 9u);
  std::regex shape(R"(Pass [1-9]0% done at [0-9]+ MB/s: [0-9] disks? (writing|flushing|verifying)(, [0-9] (flushing|verifying))?\.)");
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], shape)) << lines[i];
    EXPECT_EQ(lines[i].substr(0, 14), "Pass " + std::to_string((i + 1) * 10) + "% done ");
  }
  EXPECT_EQ(lines[0], "Pass 10% done at 1 MB/s: 2 disks writing.");
  EXPECT_EQ(lines[5], "Pass 60% done at 1 MB/s: 2 disks verifying.");
}

// A pass of small disks takes seconds: its progress is not logged at every
// tenth, only once the gap has passed since the start or the last line.
TEST(DiskburnLines, ProgressNeverTwiceWithinTheGap) {
  auto t0 = Clock::now();
  Progress p(1000, t0);
  Activity a;
  a.writing = 1;
  EXPECT_FALSE(p.update(300, a, t0 + kProgressGap - std::chrono::milliseconds(1)));
  auto l = p.update(400, a, t0 + kProgressGap);
  ASSERT_TRUE(l);
  EXPECT_EQ(l->substr(0, 13), "Pass 20% done");
  EXPECT_FALSE(p.update(1000, a, t0 + kProgressGap + std::chrono::seconds(9)));
  EXPECT_TRUE(p.update(1000, a, t0 + 2 * kProgressGap));
}

TEST(DiskburnLines, ProgressWithNothingActiveHasNoTrailingField) {
  Progress p(100, Clock::now(), std::chrono::milliseconds(0));
  auto l = p.update(50, Activity{}, Clock::now());
  ASSERT_TRUE(l);
  EXPECT_TRUE(std::regex_match(*l, std::regex(R"(Pass 25% done at [0-9]+ MB/s\.)"))) << *l;
}

TEST(DiskburnLines, StopLineSaysHowFarItGot) {
  EXPECT_EQ(toolframe::disk_stopped(1, 0, 0), "Stopped in pass 1 at 0%: no pass completed, nothing verified yet.");
  EXPECT_EQ(toolframe::disk_stopped(2, 73, 1000000000000ull + 460000000000ull),
            "Stopped in pass 2 at 73%: 1 pass completed, 1.5 TB written and verified without error.");
  EXPECT_EQ(toolframe::disk_stopped(3, 41, 1200000000000ull),
            "Stopped in pass 3 at 41%: 2 passes completed, 1.2 TB written and verified without error.");
  EXPECT_EQ(toolframe::disk_stopped(4, 0, std::nullopt), "Stopped in pass 4 at 0%: 3 passes completed.");
}

TEST(DiskburnLines, DiskLineNamesModelSerialAndSize) {
  Target t;
  t.name = "sda";
  t.is_block = true;
  t.model = "ST4000NM0035";
  t.serial = "ZC1234AB";
  EXPECT_EQ(disk_line(t, 4000787030016ull), "Disk sda: ST4000NM0035, serial ZC1234AB, 4.0 TB.");
  t.serial = "unknown";
  t.wwid = "naa.5000c500a1b2c3d4";
  EXPECT_EQ(disk_line(t, 512), "Disk sda: ST4000NM0035, serial naa.5000c500a1b2c3d4, 512 bytes.");
  EXPECT_EQ(toolframe::disk_rate("sda", "written", 412.0, 82935600000ull), " sda: written in 412.0 s, 201.3 MB/s.");
}

}  // namespace
