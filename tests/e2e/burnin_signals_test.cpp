// The burn-in helpers never outlive the program, however it ends. Uses the
// fixed /tmp/burnin.log: these suites never run in parallel with the others
// that do.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "hostile.h"

namespace {

using hostile::process_gone;

class BurnInSignals : public ::testing::Test {
protected:
    void SetUp() override { unlink("/tmp/burnin.log"); }
    void TearDown() override
    {
        // Whatever the outcome, no stub may be left running.
        for (pid_t pid : {helper_pid("net"), helper_pid("disk")})
            if (pid > 0 && !process_gone(pid))
                kill(pid, SIGKILL);
        unlink("/tmp/burnin.log");
    }

    // Helpers that say who they are and then run until a signal ends them;
    // they answer SIGTERM (noted in <name>.term) and nothing else.
    void start_helpers(bool trap_term)
    {
        for (const char *name : {"net", "disk"}) {
            const std::string base = stubs.file(name);
            std::string body = "echo $$ > '" + base + ".pid'\n";
            if (trap_term)
                body += "trap 'echo TERM > \"" + base + ".term\"; exit 0' TERM\n";
            body += "echo going\nwhile :; do sleep 0.05; done\n";
            stubs.script(std::string(name) + "burn", body);
        }
        run = start_rundiags(stubs);
        ASSERT_TRUE(wait_menu(*run));
        ASSERT_TRUE(open_burnin(*run));
        ASSERT_TRUE(run->wait_until([&] { return helper_pid("net") > 0 && helper_pid("disk") > 0; }))
            << run->dump();
        ASSERT_TRUE(run->wait_text("Network: going")) << run->dump();
    }
    pid_t helper_pid(const char *name) const
    {
        const std::string text = stubs.read(std::string(name) + ".pid");
        return text.empty() ? -1 : pid_t(std::stol(text));
    }
    // Waits for both helpers to end (the program may be gone already).
    bool helpers_gone(int timeout_ms)
    {
        const pid_t net = helper_pid("net"), disk = helper_pid("disk");
        for (int waited = 0; !(process_gone(net) && process_gone(disk)); waited += 10) {
            if (waited >= timeout_ms)
                return false;
            usleep(10000);
        }
        return true;
    }

    StubDir stubs;
    std::unique_ptr<PtyRun> run;
};

// Killed outright, the program cannot end its helpers itself: the kernel
// must tell them. Left running, a disk helper would go on writing and hold
// the disks "in use" for the next run.
TEST_F(BurnInSignals, KilledProgramTakesItsHelpersAlong)
{
    start_helpers(false);
    ASSERT_FALSE(process_gone(helper_pid("net")));
    ASSERT_FALSE(process_gone(helper_pid("disk")));
    run->signal(SIGKILL);
    EXPECT_EQ(run->wait_exit(), 128 + SIGKILL);
    EXPECT_TRUE(helpers_gone(3000)) << "helpers outlived the program";
}

// Every signal that would end the program takes the path of SIGTERM: the
// helpers are told to end and are waited for, the terminal is given back
// and the exit status is 0.
class BurnInEndingSignal : public BurnInSignals, public ::testing::WithParamInterface<int> {};

TEST_P(BurnInEndingSignal, EndsTheHelpersAndRestoresTheTerminal)
{
    start_helpers(true);
    run->signal(GetParam());
    EXPECT_EQ(run->wait_exit(), 0);
    EXPECT_TRUE(stubs.exists("net.term") && stubs.exists("disk.term")) << "helpers not told to end";
    EXPECT_TRUE(helpers_gone(0)) << "helpers left running";
    const std::string &out = run->output();
    const std::string tail = "\x0f\x1b)B\x1b(B" + restore_tail(run->rows());
    EXPECT_TRUE(out.size() >= tail.size() && out.compare(out.size() - tail.size(), tail.size(), tail) == 0)
        << "no orderly teardown";
    const termios now = run->slave_settings();
    EXPECT_EQ(now.c_lflag, run->initial_settings().c_lflag);
    EXPECT_EQ(now.c_iflag, run->initial_settings().c_iflag);
    EXPECT_EQ(now.c_oflag, run->initial_settings().c_oflag);
    EXPECT_TRUE(run->vt().cursor_visible());
}

INSTANTIATE_TEST_SUITE_P(BurnInSignals, BurnInEndingSignal,
                         ::testing::Values(SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
                                           SIGPROF, SIGXCPU, SIGXFSZ, SIGSYS, SIGTRAP, SIGPOLL, SIGPWR, SIGSTKFLT),
                         [](const auto &p) { return std::string(sigabbrev_np(p.param)); });

} // namespace
