// Child processes read as streams: exit codes, output merging, PATH lookup
// and what the child inherits.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "childtools.h"

using namespace std::string_literals;
using Lines = std::vector<std::string>;

TEST(OxPipe, ExitCodesAndOutput)
{
    ScriptDir d;
    d.script("ok", "echo one; echo two; exit 0");
    d.script("bad", "echo x; exit 3");
    std::unique_ptr<OxPipe> p(start("ok"));
    EXPECT_EQ(drain_lines(*p), (Lines{"one", "two"}));
    EXPECT_FALSE(p->isok());
    EXPECT_TRUE(p->child_exited());
    EXPECT_TRUE(p->finish(true));
    EXPECT_EQ(p->exit_status(), 0);
    p.reset(start("bad"));
    EXPECT_EQ(drain_lines(*p), (Lines{"x"}));
    EXPECT_TRUE(p->finish(true));
    EXPECT_EQ(p->exit_status(), 3);
}

TEST(OxPipe, ArgumentsArePassed)
{
    ScriptDir d;
    d.script("args", "for a in \"$@\"; do echo \"[$a]\"; done");
    std::unique_ptr<OxPipe> p(start("args", {"-1", "two words", ""}));
    EXPECT_EQ(drain_lines(*p), (Lines{"[-1]", "[two words]", "[]"}));
}

TEST(OxPipe, SignalDeathReports128PlusSignal)
{
    ScriptDir d;
    d.script("die9", "echo before; kill -KILL $$");
    d.script("die15", "kill -TERM $$");
    std::unique_ptr<OxPipe> p(start("die9"));
    EXPECT_EQ(drain_lines(*p), (Lines{"before"}));
    ASSERT_TRUE(p->finish(true));
    EXPECT_EQ(p->exit_status(), 128 + SIGKILL);
    p.reset(start("die15"));
    drain_lines(*p);
    ASSERT_TRUE(p->finish(true));
    EXPECT_EQ(p->exit_status(), 128 + SIGTERM);
}

TEST(OxPipe, StderrMergedInOrder)
{
    ScriptDir d;
    d.script("mixed", "echo out1; echo err1 >&2; echo out2; echo err2 >&2");
    std::unique_ptr<OxPipe> p(start("mixed"));
    EXPECT_EQ(drain_lines(*p), (Lines{"out1", "err1", "out2", "err2"}));
}

TEST(OxPipe, MissingProgramSaysSoAndExits127)
{
    ScriptDir d;
    std::unique_ptr<OxPipe> p(start("netburn"));
    EXPECT_EQ(drain_lines(*p), (Lines{"netburn: No such file or directory"}));
    ASSERT_TRUE(p->finish(true));
    EXPECT_EQ(p->exit_status(), 127);
}

TEST(OxPipe, NotExecutableSaysSo)
{
    ScriptDir d;
    std::string path = d.script("noexec", "echo never");
    chmod(path.c_str(), 0644);
    std::unique_ptr<OxPipe> p(start("noexec"));
    EXPECT_EQ(drain_lines(*p), (Lines{"noexec: Permission denied"}));
    ASSERT_TRUE(p->finish(true));
    EXPECT_EQ(p->exit_status(), 127);
    p.reset(start(path.c_str()));
    EXPECT_EQ(drain_lines(*p), (Lines{path + ": Permission denied"}));
    EXPECT_EQ(p->exit_status(), 127);
}

TEST(OxPipe, RelativeAndEmptyPathEntriesSkipped)
{
    ScriptDir d;
    mkdir((d.dir + "/rel").c_str(), 0755);
    mkdir((d.dir + "/abs").c_str(), 0755);
    d.script("helper", "echo relative", d.dir + "/rel");
    d.script("helper", "echo absolute", d.dir + "/abs");
    d.script("helper", "echo cwd", d.dir);
    char oldcwd[4096];
    ASSERT_NE(getcwd(oldcwd, sizeof oldcwd), nullptr);
    ASSERT_EQ(chdir(d.dir.c_str()), 0);
    setenv("PATH", ("rel::./rel:" + d.dir + "/abs").c_str(), 1);
    std::unique_ptr<OxPipe> p(start("helper"));
    EXPECT_EQ(drain_lines(*p), (Lines{"absolute"}));
    setenv("PATH", "rel::.", 1);
    p.reset(start("helper"));
    EXPECT_EQ(drain_lines(*p), (Lines{"helper: No such file or directory"}));
    EXPECT_EQ(p->exit_status(), 127);
    ASSERT_EQ(chdir(oldcwd), 0);
}

TEST(OxPipe, ChildGetsCleanEnvironment)
{
    ScriptDir d;
    // A descriptor of ours that is not close-on-exec must not reach the child.
    int leak = fcntl(open("/dev/null", O_RDONLY | O_CLOEXEC), F_DUPFD, 57);
    ASSERT_GE(leak, 57);
    signal(SIGUSR1, SIG_IGN);
    sigset_t blk;
    sigemptyset(&blk);
    sigaddset(&blk, SIGUSR2);
    sigprocmask(SIG_BLOCK, &blk, nullptr);

    std::unique_ptr<OxPipe> p(start("ls", {"/proc/self/fd"}));
    Lines fds = drain_lines(*p);
    EXPECT_EQ(fds, (Lines{"0", "1", "2", "3"}));          // 3 is ls's own directory
    p.reset(start("readlink", {"/proc/self/fd/0"}));
    EXPECT_EQ(drain_lines(*p), (Lines{"/dev/null"}));
    p.reset(start("grep", {"-E", "^Sig(Blk|Ign)", "/proc/self/status"}));
    EXPECT_EQ(drain_lines(*p), (Lines{"SigBlk:\t0000000000000000", "SigIgn:\t0000000000000000"}));
    p.reset(start("cat", {"/proc/self/stat"}));
    Lines stat = drain_lines(*p);
    ASSERT_EQ(stat.size(), 1u);
    std::string rest = stat[0].substr(stat[0].rfind(')') + 2);
    int ppid = 0, pgrp = 0;
    char state = 0;
    ASSERT_EQ(sscanf(rest.c_str(), "%c %d %d", &state, &ppid, &pgrp), 3);
    EXPECT_EQ(pgrp, p->getpid());                            // a group of its own
    EXPECT_NE(pgrp, getpgrp());

    sigprocmask(SIG_UNBLOCK, &blk, nullptr);
    signal(SIGUSR1, SIG_DFL);
    close(leak);
}

TEST(OxPipe, KillReachesGrandchild)
{
    ScriptDir d;
    d.script("worker", "sleep 1000 & echo $!; wait");
    std::unique_ptr<OxPipe> p(start("worker"));
    OxString line;
    ASSERT_TRUE(p->getline(line, 10000));
    pid_t grandchild = atoi(line.cstr());
    ASSERT_GT(grandchild, 0);
    EXPECT_FALSE(process_gone(grandchild));
    EXPECT_FALSE(p->finish(false));
    EXPECT_TRUE(p->kill(SIGTERM));
    ASSERT_TRUE(p->finish(true));
    EXPECT_EQ(p->exit_status(), 128 + SIGTERM);
    EXPECT_TRUE(wait_for([&] { return process_gone(grandchild); }, 5000));
    drain_lines(*p);
    EXPECT_FALSE(p->isok());
}

// A helper that exits and leaves a worker in its group: the worker is still
// reached by a stop, and does not outlive the pipe.
TEST(OxPipe, WorkersLeftBehindAreStoppedAndEndWithThePipe)
{
    ScriptDir d;
    d.script("leaver", "sleep 1000 >/dev/null 2>&1 & echo $!; exit 0");
    for (bool bykill : {true, false}) {
        std::unique_ptr<OxPipe> p(start("leaver"));
        OxString line;
        ASSERT_TRUE(p->getline(line, 10000));
        pid_t worker = atoi(line.cstr());
        ASSERT_GT(worker, 0);
        ASSERT_TRUE(p->finish(true));
        EXPECT_EQ(p->exit_status(), 0);
        EXPECT_FALSE(process_gone(worker));
        if (bykill)
            EXPECT_TRUE(p->kill(SIGTERM));
        else
            p.reset();
        EXPECT_TRUE(wait_for([&] { return process_gone(worker); }, 5000)) << (bykill ? "kill" : "destroy");
    }
}

// A child whose stdin is a pipe we write to.
OxSpawnOptions both_ways(const char *program, const char *const argv[])
{
    OxSpawnOptions o = OxPipe::reading(program, argv);
    o.stdio[0] = OxStdio::pipe();
    return o;
}

TEST(OxPipe, ReaderOfClosedWritablePipeDoesNotKillUs)
{
    ScriptDir d;
    d.script("quitter", "exit 0");
    const char *argv[] = {"quitter", nullptr};
    OxPipe p(both_ways("quitter", argv));
    ASSERT_TRUE(p.finish(true));
    // SIGPIPE would end the test process here.
    EXPECT_FALSE(p.write("data\n"));
    EXPECT_EQ(p.geterr(), EPIPE);
}

TEST(OxPipe, WritableChildReadsWhatWeWrite)
{
    ScriptDir d;
    d.script("echoer", "read a; echo \"got $a\"");
    const char *argv[] = {"echoer", nullptr};
    OxPipe p(both_ways("echoer", argv));
    EXPECT_TRUE(p.write("hello\n"));
    OxString line;
    ASSERT_TRUE(p.getline(line, 10000));
    EXPECT_EQ(line.str(), "got hello");
}
