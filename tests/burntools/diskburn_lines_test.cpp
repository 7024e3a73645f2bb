// diskburn's lines as the operator reads them: the DISK row shows about the
// first 35 characters of a message line, so the key fact comes first and no
// field is ever empty; progress goes to the log only at each tenth of a pass.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "report.h"
#include "toolio.h"

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
  EXPECT_EQ(stop_line(1, 0, 0), "Stopped in pass 1 at 0%: no pass completed, nothing verified yet.");
  EXPECT_EQ(stop_line(2, 73, 1000000000000ull + 460000000000ull),
            "Stopped in pass 2 at 73%: 1 pass completed, 1.5 TB written and verified without error.");
  EXPECT_EQ(stop_line(3, 41, 1200000000000ull),
            "Stopped in pass 3 at 41%: 2 passes completed, 1.2 TB written and verified without error.");
  EXPECT_EQ(stop_line(4, 0, std::nullopt), "Stopped in pass 4 at 0%: 3 passes completed.");
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
  EXPECT_EQ(rate_line("sda", "written", 412.0, 82935600000ull), " sda: written in 412.0 s, 201.3 MB/s.");
}

TEST(DiskburnLines, PassNumberFromTheProgram) {
  struct Case {
    const char* value;
    int want;
  } cases[] = {{nullptr, 1}, {"", 1}, {"3", 3}, {"007", 7}, {"0", 1}, {"-2", 1}, {"+2", 1},
               {"2x", 1},    {" 2", 1}, {"99999999999", 1}, {"2147483647", 2147483647}};
  for (auto& c : cases) {
    if (c.value) ::setenv("RUNDIAGS_PASS", c.value, 1);
    else ::unsetenv("RUNDIAGS_PASS");
    EXPECT_EQ(toolio::pass_number(), c.want) << (c.value ? c.value : "(unset)");
  }
  ::unsetenv("RUNDIAGS_PASS");
  EXPECT_TRUE(std::regex_match(toolio::utc_now(), std::regex(R"(20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9])")));
}

// What the helpers read from sysfs and proc: bounded, and never an
// exception or a hang whatever is there.
TEST(DiskburnLines, ReadsAreBoundedAndNeverHang) {
  char d[] = "/tmp/dbread.XXXXXX";
  ASSERT_TRUE(::mkdtemp(d));
  std::string dir = d;
  int fd = ::open((dir + "/huge").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 64 << 20), 0);
  ::close(fd);
  ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
  EXPECT_EQ(toolio::read_file(dir + "/huge", 1000)->size(), 1000u);
  EXPECT_EQ(toolio::read_text(dir + "/huge", toolio::Trim::kTrailing)->size(), toolio::kTextLimit);
  EXPECT_FALSE(toolio::read_file(dir + "/fifo", 100));
  EXPECT_FALSE(toolio::read_file("/proc/self/mem", 100)) << "a read error is no value";
  EXPECT_FALSE(toolio::read_file(dir, 100));
  EXPECT_FALSE(toolio::read_file(dir + "/missing", 100));
  std::system(("rm -rf " + dir).c_str());
}

// Output that nobody reads never holds the program: a line waits for room
// only until its deadline, or until a stop signal.
TEST(DiskburnLines, FullOutputGivesWay) {
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  ::fcntl(p[1], F_SETFL, O_NONBLOCK);
  std::string junk(4096, 'x');
  while (::write(p[1], junk.data(), junk.size()) > 0) {
  }
  ::fcntl(p[1], F_SETFL, 0);
  int saved = ::dup(1);
  ::dup2(p[1], 1);
  auto t0 = Clock::now();
  bool wrote = toolio::emit_before("late line", t0 + std::chrono::milliseconds(200));
  auto waited = Clock::now() - t0;
  toolio::g_signalled = true;
  bool wrote2 = toolio::emit_or_stop("stopped line");
  auto waited2 = Clock::now() - t0 - waited;
  toolio::g_signalled = false;
  ::dup2(saved, 1);
  ::close(saved);
  ::close(p[0]);
  ::close(p[1]);
  EXPECT_FALSE(wrote);
  EXPECT_GE(waited, std::chrono::milliseconds(200));
  EXPECT_LT(waited, std::chrono::milliseconds(400));
  EXPECT_FALSE(wrote2);
  EXPECT_LT(waited2, std::chrono::milliseconds(100));
}

}  // namespace
