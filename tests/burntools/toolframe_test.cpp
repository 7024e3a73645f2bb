// What netburn and diskburn share: reads that nothing found on disk can
// stop, lines that give way to a stop, their settings and test root, and
// the pass number from rundiags.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <regex>
#include <string>
#include <thread>

#include "tempdir.h"
#include "toolframe/emit.h"
#include "toolframe/protocol.h"
#include "toolframe/readfile.h"
#include "toolframe/root.h"
#include "toolframe/settings.h"
#include "toolframe/stopsignal.h"
#include "toolframe/util.h"

namespace {

using Clock = std::chrono::steady_clock;

class FrameRead : public ::testing::Test {
 protected:
  std::string put(const std::string& name, const std::string& bytes) {
    std::string p = dir + "/" + name;
    int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
    return p;
  }
  burntest::TempDir tmp{"toolframe"};
  const std::string dir = tmp.path();
};

TEST_F(FrameRead, ReadsAreBoundedAndNeverHang) {
  std::string huge = dir + "/huge";
  int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 64 << 20), 0);
  ::close(fd);
  ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
  EXPECT_EQ(toolframe::read_file(huge, 1000)->size(), 1000u) << "read_file cuts at its bound";
  EXPECT_FALSE(toolframe::read_text(huge, toolframe::Trim::kTrailing)) << "a cut value would read as another";
  EXPECT_FALSE(toolframe::read_file(dir + "/fifo", 100));
  EXPECT_FALSE(toolframe::read_file("/proc/self/mem", 100)) << "a read error (EIO) is no value";
  ASSERT_EQ(::symlink("/proc/self/mem", (dir + "/eio").c_str()), 0);
  EXPECT_FALSE(toolframe::read_text(dir + "/eio", toolframe::Trim::kBoth));
  EXPECT_FALSE(toolframe::read_file(dir, 100));
  EXPECT_FALSE(toolframe::read_text(dir, toolframe::Trim::kBoth));
  EXPECT_FALSE(toolframe::read_file(dir + "/missing", 100));
}

TEST_F(FrameRead, TextUpToTheLimitIsReadWhole) {
  std::string at = put("at", std::string(toolframe::kTextLimit - 1, 'x') + "\n");
  std::string over = put("over", std::string(toolframe::kTextLimit, 'x') + "\n");
  EXPECT_EQ(toolframe::read_text(at, toolframe::Trim::kTrailing)->size(), toolframe::kTextLimit - 1);
  EXPECT_FALSE(toolframe::read_text(over, toolframe::Trim::kTrailing));
}

// Binary bytes come back as they are: each caller checks or cleans them.
TEST_F(FrameRead, TextIsTrimmedAndKeepsItsBytes) {
  EXPECT_EQ(toolframe::read_text(put("a", " \t1000 \n"), toolframe::Trim::kBoth), "1000");
  EXPECT_EQ(toolframe::read_text(put("b", " /a b \n\n"), toolframe::Trim::kTrailing), " /a b");
  EXPECT_EQ(toolframe::read_text(put("c", ""), toolframe::Trim::kBoth), "");
  EXPECT_EQ(toolframe::read_text(put("d", std::string("\0\1\377\n", 4)), toolframe::Trim::kBoth),
            std::string("\0\1\377", 3));
}

// A device node is never opened: opening one can have effects of its own
// (or answer ENXIO, as a number without a driver does here).
TEST_F(FrameRead, DeviceNodesAreNotRead) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make device nodes";
  std::string node = dir + "/nodev";
  ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0600, makedev(4000, 0)), 0);
  EXPECT_FALSE(toolframe::read_file(node, 100));
  EXPECT_FALSE(toolframe::read_text(node, toolframe::Trim::kBoth));
  EXPECT_FALSE(toolframe::read_file("/dev/zero", 100)) << "a node that would answer is no file either";
}

// A FIFO is not even opened: a writer waiting for a reader stays waiting.
TEST_F(FrameRead, FifoIsNotOpened) {
  std::string fifo = dir + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> opened{false};
  std::thread writer([&] {
    int fd = ::open(fifo.c_str(), O_WRONLY);  // returns once a reader opens it
    opened = true;
    if (fd >= 0) ::close(fd);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the writer is waiting by then
  EXPECT_FALSE(toolframe::read_file(fifo, 100));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(opened.load());
  int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // lets the writer go
  writer.join();
  ::close(fd);
}

TEST(Frame, PassNumberFromTheProgram) {
  struct Case {
    const char* value;
    uint64_t want;
  } cases[] = {{nullptr, 1},
               {"", 1},
               {"3", 3},
               {"007", 7},
               {"0", 1},
               {"-2", 1},
               {"+2", 1},
               {"2x", 1},
               {" 2", 1},
               {"2 ", 1},
               {"99999999999", 99999999999ull},
               {"18446744073709551615", UINT64_MAX},
               {"18446744073709551616", 1}};
  for (auto& c : cases) {
    if (c.value) ::setenv("RUNDIAGS_PASS", c.value, 1);
    else ::unsetenv("RUNDIAGS_PASS");
    EXPECT_EQ(toolframe::pass_number(), c.want) << (c.value ? c.value : "(unset)");
  }
  ::unsetenv("RUNDIAGS_PASS");
  EXPECT_TRUE(std::regex_match(toolframe::pass_started(12),
                               std::regex(R"(Pass 12 started 20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9] UTC\.)")))
      << toolframe::pass_started(12);
}

void set(const char* name, const char* value) {
  if (value) ::setenv(name, value, 1);
  else ::unsetenv(name);
}

// One rule for every setting: unset or empty keeps the default; anything
// else must be a value of its kind within its bounds, or that setting's
// usage line (the first one's only) is the error.  Decimal always: "010"
// is ten, never an octal eight.
TEST(FrameSettings, OneRuleForEverySetting) {
  auto power_of_two = [](uint64_t v) { return (v & (v - 1)) == 0; };
  struct Case {
    const char* value;
    std::optional<uint64_t> number;  // from 1 to 64, a power of two
    std::optional<double> seconds;   // above 0, at most 100
  } cases[] = {{nullptr, {}, {}},      {"", {}, {}},          {"1", 1, 1},          {"08", 8, 8},
               {"010", {}, 10},        {"0", {}, {}},         {"128", {}, {}},      {"12", {}, 12},
               {" 8", {}, 8},          {"8 ", {}, {}},        {"+8", {}, 8},        {"-8", {}, {}},
               {"0x8", {}, 8},         {"1.5", {}, 1.5},      {"nan", {}, {}},      {"1e2", {}, 100},
               {"18446744073709551616", {}, {}}};
  for (auto& c : cases) {
    set("FRAME_N", c.value);
    toolframe::SettingsReader n, secs;
    EXPECT_EQ(n.number("FRAME_N", 1, 64, "FRAME_N, not \"%s\".", power_of_two), c.number) << c.value;
    EXPECT_EQ(secs.seconds("FRAME_N", 100, "FRAME_N: seconds."), c.seconds) << c.value;
    const bool taken = !c.value || !*c.value;
    EXPECT_EQ(n.error(), c.number || taken ? "" : toolframe::fmt("FRAME_N, not \"%s\".", c.value)) << c.value;
    EXPECT_EQ(secs.error(), c.seconds || taken ? "" : "FRAME_N: seconds.") << c.value;
  }
  EXPECT_EQ(toolframe::SettingsReader::text("FRAME_N"), "18446744073709551616");
  set("FRAME_N", "");
  EXPECT_EQ(toolframe::SettingsReader::text("FRAME_N"), "") << "set empty is no unset text";
  set("FRAME_N", nullptr);
  EXPECT_EQ(toolframe::SettingsReader::text("FRAME_N"), std::nullopt);
  set("FRAME_A", "x");
  set("FRAME_B", "y");
  toolframe::SettingsReader both;
  EXPECT_FALSE(both.number("FRAME_A", 0, 9, "A") || both.number("FRAME_B", 0, 9, "B"));
  EXPECT_EQ(both.error(), "A") << "the first bad setting's line";
  set("FRAME_A", nullptr);
  set("FRAME_B", nullptr);
}

// The test root: RUNDIAGS_ROOT, or its other name DISKBURN_ROOT.
TEST(FrameSettings, OneTestRootByEitherName) {
  struct Case {
    const char *rundiags, *diskburn, *want;
  } cases[] = {{nullptr, nullptr, ""}, {"/a/", nullptr, "/a"}, {nullptr, "/b", "/b"}, {"/a", "/b", "/a"},
               {"", "/b//", "/b"},    {"/", nullptr, ""}};
  for (auto& c : cases) {
    set("RUNDIAGS_ROOT", c.rundiags);
    set("DISKBURN_ROOT", c.diskburn);
    EXPECT_EQ(toolframe::root_setting(), c.want) << (c.rundiags ? c.rundiags : "-") << (c.diskburn ? c.diskburn : "-");
  }
  set("RUNDIAGS_ROOT", nullptr);
  set("DISKBURN_ROOT", nullptr);
  toolframe::set_root("/r");
  EXPECT_TRUE(toolframe::fake_root());
  EXPECT_EQ(toolframe::rooted("/sys/block"), "/r/sys/block");
  toolframe::set_root("");
  EXPECT_EQ(toolframe::rooted("/sys/block"), "/sys/block");
}

// Threads started under SignalsBlocked never take a stop signal; the
// starting thread takes them again afterwards.
TEST(Frame, WorkersStartedWithStopSignalsBlocked) {
  auto blocked = [](int sig) {
    sigset_t now;
    ::pthread_sigmask(SIG_BLOCK, nullptr, &now);
    return ::sigismember(&now, sig) == 1;
  };
  bool in_worker[3] = {};
  {
    toolframe::SignalsBlocked only_main;
    std::thread([&] {
      in_worker[0] = blocked(SIGTERM);
      in_worker[1] = blocked(SIGINT);
      in_worker[2] = blocked(SIGHUP);
    }).join();
  }
  EXPECT_TRUE(in_worker[0] && in_worker[1] && in_worker[2]);
  EXPECT_FALSE(blocked(SIGTERM) || blocked(SIGINT) || blocked(SIGHUP));
}

// Standard output into a pipe of one page (4096 bytes, PIPE_BUF on Linux)
// for the lifetime of the object; the test plays the reader.
class PipedStdout {
 public:
  PipedStdout() {
    EXPECT_EQ(::pipe(p_), 0);
    EXPECT_EQ(::fcntl(p_[1], F_SETPIPE_SZ, 4096), 4096);
    ::fcntl(p_[0], F_SETFL, O_NONBLOCK);
    saved_ = ::dup(1);
    ::dup2(p_[1], 1);
  }
  ~PipedStdout() {
    ::dup2(saved_, 1);
    ::close(saved_);
    ::close(p_[0]);
    ::close(p_[1]);
  }
  // Leaves the pipe full, as a reader that stopped reading does.
  void fill() {
    ::fcntl(p_[1], F_SETFL, O_NONBLOCK);
    std::string junk(4096, 'x');
    while (::write(p_[1], junk.data(), junk.size()) > 0) {
    }
    ::fcntl(p_[1], F_SETFL, 0);
  }
  // Everything in the pipe now, or its first max bytes.
  std::string drain(size_t max = SIZE_MAX) {
    std::string got;
    char buf[4096];
    for (ssize_t n; got.size() < max && (n = ::read(p_[0], buf, std::min(sizeof buf, max - got.size()))) > 0;)
      got.append(buf, static_cast<size_t>(n));
    return got;
  }

 private:
  int p_[2] = {-1, -1};
  int saved_ = -1;
};

// Sets g_signalled after a while, as a stop that comes while a line waits.
class LateStop {
 public:
  explicit LateStop(std::chrono::milliseconds after)
      : th_([after] {
          std::this_thread::sleep_for(after);
          toolframe::g_signalled = true;
        }) {}
  ~LateStop() {
    th_.join();
    toolframe::g_signalled = false;
  }

 private:
  std::thread th_;
};

// Output that nobody reads never holds the program: a line waits for room
// only until its deadline, or until a stop signal.
TEST(FrameEmit, FullOutputGivesWay) {
  PipedStdout out;
  out.fill();
  auto t0 = Clock::now();
  bool wrote = toolframe::emit_before("late line", t0 + std::chrono::milliseconds(200));
  auto waited = Clock::now() - t0;
  bool wrote2;
  std::chrono::nanoseconds waited2;
  {
    LateStop stop(std::chrono::milliseconds(100));
    auto t1 = Clock::now();
    wrote2 = toolframe::emit_or_stop("stopped line");
    waited2 = Clock::now() - t1;
  }
  EXPECT_FALSE(wrote);
  EXPECT_GE(waited, std::chrono::milliseconds(200));
  EXPECT_LT(waited, std::chrono::milliseconds(400));
  EXPECT_FALSE(wrote2);
  EXPECT_GE(waited2, std::chrono::milliseconds(100));
  EXPECT_LT(waited2, std::chrono::milliseconds(500));
  EXPECT_EQ(out.drain(), std::string(4096, 'x')) << "no part of a dropped line goes out";
}

// A message line waits for the reader however long it takes, stop or no
// stop, and goes out whole.
TEST(FrameEmit, MessageWaitsForTheReaderEvenAfterAStop) {
  PipedStdout out;
  out.fill();
  toolframe::g_signalled = true;
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    out.drain(4096);  // what filled it
  });
  auto t0 = Clock::now();
  toolframe::emit("Port p0: received 10 of 10 frames (100%).");
  auto waited = Clock::now() - t0;
  reader.join();
  toolframe::g_signalled = false;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_EQ(out.drain(), "Port p0: received 10 of 10 frames (100%).\n");
}

// A line longer than the pipe takes at once goes out in pieces; a stop
// between them drops the rest, and the next line starts on a line of its
// own, so the reader still finds it whole.
TEST(FrameEmit, LineCutShortByAStopLeavesTheNextOneWhole) {
  PipedStdout out;
  const std::string longline(6000, 'L');
  {
    LateStop stop(std::chrono::milliseconds(100));
    EXPECT_FALSE(toolframe::emit_or_stop(longline));  // the first 4096 bytes fit
  }
  EXPECT_EQ(out.drain(), longline.substr(0, 4096));
  const auto soon = Clock::now() + std::chrono::milliseconds(300);
  EXPECT_TRUE(toolframe::emit_before("Stopped in pass 1 at 3%: no pass completed.", soon));
  EXPECT_TRUE(toolframe::emit_or_stop("next"));
  EXPECT_EQ(out.drain(), "\nStopped in pass 1 at 3%: no pass completed.\nnext\n");
}

}  // namespace
