// Waiting without spinning, the wake descriptor, and pipes destroyed while
// their child still runs.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "childtools.h"

namespace {
long cpu_ms()
{
    rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000;
}
} // namespace

TEST(OxIStreamList, EndedPipeWakesUntilSeenThenNeverAgain)
{
    ScriptDir d;
    std::unique_ptr<OxPipe> p(start("true"));
    int idle[2];
    ASSERT_EQ(pipe2(idle, O_CLOEXEC), 0);
    OxFDStream other(idle[0], -1);
    OxIStreamList list;
    list.append(p.get());
    list.append(&other);
    // Until the caller has seen the end, the list reports it every time.
    long long t0 = ox_monotonic_ms();
    while (!p->child_exited() && ox_monotonic_ms() - t0 < 10000)
        list.runonce(-1);
    ASSERT_TRUE(p->child_exited());
    EXPECT_EQ(list.runonce(-1), 1);
    EXPECT_EQ(list.runonce(-1), 1);
    EXPECT_FALSE(p->isok());
    // Now an ended pipe must not keep the list awake: a timed wait runs out
    // once, and costs next to no processor time.
    long cpu0 = cpu_ms();
    long long w0 = ox_monotonic_ms();
    int wakeups = 0;
    while (ox_monotonic_ms() - w0 < 500)
        if (list.runonce(500) > 0)
            ++wakeups;
    EXPECT_EQ(wakeups, 0);
    EXPECT_LT(cpu_ms() - cpu0, 100);
    // The other member still wakes it.
    ASSERT_EQ(::write(idle[1], "k\n", 2), 2);
    EXPECT_EQ(list.runonce(-1), 1);
    OxString line;
    EXPECT_TRUE(other.getline(line));
    close(idle[1]);
}

TEST(OxIStreamList, WakesForHeldLinesAndUnlinks)
{
    int a[2], b[2];
    ASSERT_EQ(pipe2(a, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(b, O_CLOEXEC), 0);
    auto *sa = new OxFDStream(a[0], -1);
    OxFDStream sb(b[0], -1);
    OxIStreamList list;
    list.append(sa, true);
    list.append(&sb);
    EXPECT_EQ(list.count(), 2u);
    EXPECT_EQ(list.runonce(50), 0);
    ASSERT_EQ(::write(a[1], "1\n2\n3\n", 6), 6);
    OxString line;
    for (const char *want : {"1", "2", "3"}) {
        EXPECT_EQ(list.runonce(-1), 1);
        ASSERT_TRUE(sa->getline(line));
        EXPECT_EQ(line.str(), want);
    }
    EXPECT_EQ(list.runonce(50), 0);
    list.unlink(&sb);
    EXPECT_EQ(list.count(), 1u);
    ASSERT_EQ(::write(b[1], "x\n", 2), 2);
    EXPECT_EQ(list.runonce(50), 0);            // no longer watched
    EXPECT_TRUE(sb.getline(line));
    close(a[1]);
    close(b[1]);
}

TEST(OxIStreamList, TerminalStyleInputIsReportedUntilRead)
{
    int a[2];
    ASSERT_EQ(pipe2(a, O_CLOEXEC), 0);
    OxFDStream keys(a[0], -1);
    OxIStreamList list;
    list.append(&keys);
    ASSERT_EQ(::write(a[1], "\x1b[A", 3), 3);
    OxDynBuf buf(1024, 1048576);
    EXPECT_EQ(list.runonce(-1), 1);
    EXPECT_TRUE(keys.isreadable());
    EXPECT_EQ(keys.read(buf, 2048), 3u);
    EXPECT_FALSE(keys.isreadable());
    EXPECT_EQ(list.runonce(50), 0);
    close(a[1]);
}

TEST(OxPipeDestroy, RunningChildAndItsWorkersAreStoppedAndReaped)
{
    ScriptDir d;
    d.script("busy", "sleep 1000 & echo $!; wait");
    auto *p = start("busy");
    OxString line;
    ASSERT_TRUE(p->getline(line, 10000));
    pid_t child = p->getpid(), worker = atoi(line.cstr());
    long long t0 = ox_monotonic_ms();
    delete p;
    EXPECT_LT(ox_monotonic_ms() - t0, 1500);
    // Reaped by us: not even a zombie is left.
    EXPECT_EQ(kill(child, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_TRUE(wait_for([&] { return process_gone(worker); }, 5000));
}

TEST(OxPipeDestroy, ChildIgnoringTermIsKilledAfterGrace)
{
    ScriptDir d;
    d.script("stubborn", "trap '' TERM; echo $$; while :; do sleep 0.05; done");
    auto *p = start("stubborn");
    OxString line;
    ASSERT_TRUE(p->getline(line, 10000));
    pid_t child = p->getpid();
    ASSERT_EQ(atoi(line.cstr()), child);
    long long t0 = ox_monotonic_ms();
    delete p;
    long long took = ox_monotonic_ms() - t0;
    EXPECT_GE(took, 1900);
    EXPECT_LT(took, 4000);
    EXPECT_EQ(kill(child, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST(OxPipeDestroy, ExitedChildIsReapedWithoutDelay)
{
    ScriptDir d;
    auto *p = start("true");
    pid_t child = p->getpid();
    ASSERT_TRUE(wait_for([&] { return process_gone(child); }, 5000));
    long long t0 = ox_monotonic_ms();
    delete p;
    EXPECT_LT(ox_monotonic_ms() - t0, 500);
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}
