// What netburn and diskburn share: reads that nothing found on disk can
// stop, lines that give way to a stop, and the pass number from rundiags.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "emit.h"
#include "readfile.h"
#include "stopsignal.h"
#include "toolio.h"

namespace {

using Clock = std::chrono::steady_clock;

class ToolioRead : public ::testing::Test {
 protected:
  void SetUp() override {
    char d[] = "/tmp/toolio.XXXXXX";
    ASSERT_TRUE(::mkdtemp(d));
    dir = d;
  }
  void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
  std::string put(const std::string& name, const std::string& bytes) {
    std::string p = dir + "/" + name;
    int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
    return p;
  }
  std::string dir;
};

TEST_F(ToolioRead, ReadsAreBoundedAndNeverHang) {
  std::string huge = dir + "/huge";
  int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 64 << 20), 0);
  ::close(fd);
  ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
  EXPECT_EQ(toolio::read_file(huge, 1000)->size(), 1000u) << "read_file cuts at its bound";
  EXPECT_FALSE(toolio::read_text(huge, toolio::Trim::kTrailing)) << "a cut value would read as another";
  EXPECT_FALSE(toolio::read_file(dir + "/fifo", 100));
  EXPECT_FALSE(toolio::read_file("/proc/self/mem", 100)) << "a read error (EIO) is no value";
  ASSERT_EQ(::symlink("/proc/self/mem", (dir + "/eio").c_str()), 0);
  EXPECT_FALSE(toolio::read_text(dir + "/eio", toolio::Trim::kBoth));
  EXPECT_FALSE(toolio::read_file(dir, 100));
  EXPECT_FALSE(toolio::read_text(dir, toolio::Trim::kBoth));
  EXPECT_FALSE(toolio::read_file(dir + "/missing", 100));
}

TEST_F(ToolioRead, TextUpToTheLimitIsReadWhole) {
  std::string at = put("at", std::string(toolio::kTextLimit - 1, 'x') + "\n");
  std::string over = put("over", std::string(toolio::kTextLimit, 'x') + "\n");
  EXPECT_EQ(toolio::read_text(at, toolio::Trim::kTrailing)->size(), toolio::kTextLimit - 1);
  EXPECT_FALSE(toolio::read_text(over, toolio::Trim::kTrailing));
}

// Binary bytes come back as they are: each caller checks or cleans them.
TEST_F(ToolioRead, TextIsTrimmedAndKeepsItsBytes) {
  EXPECT_EQ(toolio::read_text(put("a", " \t1000 \n"), toolio::Trim::kBoth), "1000");
  EXPECT_EQ(toolio::read_text(put("b", " /a b \n\n"), toolio::Trim::kTrailing), " /a b");
  EXPECT_EQ(toolio::read_text(put("c", ""), toolio::Trim::kBoth), "");
  EXPECT_EQ(toolio::read_text(put("d", std::string("\0\1\377\n", 4)), toolio::Trim::kBoth),
            std::string("\0\1\377", 3));
}

// A device node is never opened: opening one can have effects of its own
// (or answer ENXIO, as a number without a driver does here).
TEST_F(ToolioRead, DeviceNodesAreNotRead) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make device nodes";
  std::string node = dir + "/nodev";
  ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0600, makedev(4000, 0)), 0);
  EXPECT_FALSE(toolio::read_file(node, 100));
  EXPECT_FALSE(toolio::read_text(node, toolio::Trim::kBoth));
  EXPECT_FALSE(toolio::read_file("/dev/zero", 100)) << "a node that would answer is no file either";
}

// A FIFO is not even opened: a writer waiting for a reader stays waiting.
TEST_F(ToolioRead, FifoIsNotOpened) {
  std::string fifo = dir + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> opened{false};
  std::thread writer([&] {
    int fd = ::open(fifo.c_str(), O_WRONLY);  // returns once a reader opens it
    opened = true;
    if (fd >= 0) ::close(fd);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the writer is waiting by then
  EXPECT_FALSE(toolio::read_file(fifo, 100));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(opened.load());
  int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // lets the writer go
  writer.join();
  ::close(fd);
}

TEST(Toolio, PassNumberFromTheProgram) {
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

// Output that nobody reads never holds the program: a line waits for room
// only until its deadline, or until a stop signal.
TEST(ToolioEmit, FullOutputGivesWay) {
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
