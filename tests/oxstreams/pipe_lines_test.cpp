// Line delivery from child pipes: nothing lost, reordered or unbounded.
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "childtools.h"

using namespace std::string_literals;
using Lines = std::vector<std::string>;

TEST(OxPipeLines, BurstOfHundredThousandLinesOnePerCallInOrder)
{
    ScriptDir d;
    std::unique_ptr<OxPipe> p(start("seq", {"1", "100000"}));
    OxIStreamList list;
    list.append(p.get());
    OxString line;
    long expect = 1;
    bool inorder = true;
    while (p->isok()) {
        ASSERT_GT(list.runonce(10000), 0);
        // One line per pass, as the program's loops take them.
        if (p->getline(line, 0, '\n', 1024)) {
            if (line.str() != std::to_string(expect))
                inorder = false;
            ++expect;
        }
    }
    EXPECT_TRUE(inorder);
    EXPECT_EQ(expect, 100001);
    EXPECT_EQ(p->exit_status(), 0);
}

TEST(OxPipeLines, LastLineWithoutNewlineAndNulBytes)
{
    ScriptDir d;
    d.script("tail", "printf 'a\\000b\\n\\000\\nlast'");
    std::unique_ptr<OxPipe> p(start("tail"));
    EXPECT_EQ(drain_lines(*p), (Lines{"a\0b"s, "\0"s, "last"}));
}

TEST(OxPipeLines, LineLongerThanReadAheadComesWhole)
{
    ScriptDir d;
    d.script("long", "echo short; head -c 300000 /dev/zero | tr '\\0' x; echo; echo after");
    std::unique_ptr<OxPipe> p(start("long"));
    Lines l = drain_lines(*p);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0], "short");
    EXPECT_EQ(l[1], std::string(300000, 'x'));
    EXPECT_EQ(l[2], "after");
}

TEST(OxPipeLines, LineOfSeveralMegabytesComesInCapSizedPiecesWithNothingLost)
{
    ScriptDir d;
    d.script("huge", "head -c 3000000 /dev/zero | tr '\\0' y; echo; echo end");
    std::unique_ptr<OxPipe> p(start("huge"));
    Lines l = drain_lines(*p);
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[0].size(), OxStream::line_cap);
    EXPECT_EQ(l[1].size(), OxStream::line_cap);
    EXPECT_EQ(l[0] + l[1] + l[2], std::string(3000000, 'y'));
    EXPECT_EQ(l[3], "end");
}

TEST(OxPipeLines, NeverEndingLineIsHandedOutAtTheCap)
{
    ScriptDir d;
    // 1.5 MiB without a newline, then the child just waits.
    d.script("noeol", "head -c 1572864 /dev/zero | tr '\\0' z; exec sleep 1000");
    std::unique_ptr<OxPipe> p(start("noeol"));
    OxString line;
    ASSERT_TRUE(p->getline(line, 10000));
    EXPECT_EQ(line.len(), OxStream::line_cap);
    EXPECT_EQ(line.str(), std::string(OxStream::line_cap, 'z'));
    EXPECT_TRUE(p->isok());
    EXPECT_FALSE(p->getline(line, 200));                 // the rest waits for its newline
    EXPECT_TRUE(p->kill(SIGTERM));
    ASSERT_TRUE(p->finish(true));
    ASSERT_TRUE(p->getline(line, 5000));                  // and comes out at the end
    EXPECT_EQ(line.len(), 1572864 - OxStream::line_cap);
}

TEST(OxPipeLines, FastWriterIsHeldBackByItsFullPipe)
{
    ScriptDir d;
    d.script("flood", "head -c 5000000 /dev/zero | tr '\\0' '\\n'; echo done >&2");
    std::unique_ptr<OxPipe> p(start("flood"));
    OxString line;
    ASSERT_TRUE(p->getline(line, 10000));
    // We hold lines that have not been handed out, so we read no more; the
    // writer cannot get its 5 MB out.
    usleep(300000);
    EXPECT_FALSE(p->finish(false));
    size_t n = 1;
    while (p->getline(line, 10000) && line.len() == 0)
        ++n;
    EXPECT_EQ(n, 5000000u);
    EXPECT_EQ(line.str(), "done");
    EXPECT_TRUE(p->finish(true));
}

TEST(OxPipeLines, ChildClosingOutputButRunningIsStillOk)
{
    ScriptDir d;
    d.script("closer", "echo hi; exec >&- 2>&-; while [ ! -e \"$1\" ]; do sleep 0.02; done; exit 4");
    std::string go = d.dir + "/go";
    std::unique_ptr<OxPipe> p(start("closer", {go.c_str()}));
    OxIStreamList list;
    list.append(p.get());
    OxString line;
    ASSERT_TRUE(p->getline(line, 10000));
    EXPECT_EQ(line.str(), "hi");
    // Its output has ended, but it has not: the list must not spin on the
    // ended descriptor, and the pipe stays ok.
    for (int i = 0; i < 3; ++i) {
        list.runonce(100);
        EXPECT_TRUE(p->isok());
        EXPECT_FALSE(p->getline(line));
    }
    int wakeups = 0;
    long long t0 = ox_monotonic_ms();
    while (ox_monotonic_ms() - t0 < 300)
        if (list.runonce(300) > 0)
            ++wakeups;
    EXPECT_EQ(wakeups, 0);
    EXPECT_TRUE(p->isok());
    std::ofstream(go) << "";
    // The list wakes for the exit itself.
    EXPECT_EQ(list.runonce(10000), 1);
    EXPECT_TRUE(p->child_exited());
    EXPECT_FALSE(p->isok());
    EXPECT_EQ(p->exit_status(), 4);
}

TEST(OxPipeLines, GrandchildHoldingThePipeDoesNotKeepItOpen)
{
    ScriptDir d;
    d.script("bg", "(sleep 0.3; echo late; exec sleep 30) & echo $!; echo early; exit 0");
    std::unique_ptr<OxPipe> p(start("bg"));
    long long t0 = ox_monotonic_ms();
    Lines l = drain_lines(*p);
    long long took = ox_monotonic_ms() - t0;
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[1], "early");
    EXPECT_EQ(l[2], "late");                  // within the grace after the exit
    EXPECT_FALSE(p->isok());
    EXPECT_GE(took, OxPipe::output_grace_ms - 50);
    EXPECT_LT(took, 4000);
    EXPECT_EQ(p->exit_status(), 0);
    kill(atoi(l[0].c_str()), SIGKILL);
}

TEST(OxPipeLines, LinesStillInThePipeAfterTheGraceAreNotLost)
{
    ScriptDir d;
    // A grandchild keeps the pipe open; the child's whole output (under the
    // 64 KiB a pipe holds) waits in the pipe while we are busy for longer
    // than the grace.
    std::string holderfile = d.dir + "/holder";
    d.script("slowreader", "(exec sleep 30) & echo $! >\"$1\"; seq 1 10000; exit 0");
    std::unique_ptr<OxPipe> p(start("slowreader", {holderfile.c_str()}));
    ASSERT_TRUE(p->finish(true));
    usleep((OxPipe::output_grace_ms + 200) * 1000);
    long long t0 = ox_monotonic_ms();
    Lines l = drain_lines(*p);
    EXPECT_LT(ox_monotonic_ms() - t0, 3000);
    ASSERT_EQ(l.size(), 10000u);
    EXPECT_EQ(l.front(), "1");
    EXPECT_EQ(l.back(), "10000");
    std::ifstream in(holderfile);
    pid_t holder = 0;
    in >> holder;
    if (holder > 0)
        kill(holder, SIGKILL);
}

TEST(OxPipeLines, ChildWithoutOutputWakesTheListWhenItExits)
{
    ScriptDir d;
    d.script("quiet", "exec >&- 2>&-; sleep 0.2; exit 2");
    std::unique_ptr<OxPipe> p(start("quiet"));
    OxIStreamList list;
    list.append(p.get());
    long long t0 = ox_monotonic_ms();
    while (p->isok() && ox_monotonic_ms() - t0 < 10000)
        list.runonce(-1);
    EXPECT_TRUE(p->child_exited());
    EXPECT_EQ(p->exit_status(), 2);
    // finish(true) after the end returns at once.
    long long t1 = ox_monotonic_ms();
    EXPECT_TRUE(p->finish(true));
    EXPECT_LT(ox_monotonic_ms() - t1, 100);
}
