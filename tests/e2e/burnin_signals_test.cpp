// The burn-in helpers never outlive the program, however it ends. Uses the
// fixed /tmp/burnin.log: these suites never run in parallel with the others
// that do.
#include <signal.h>
#include <unistd.h>

#include <string>

#include "hostile.h"

namespace {

using namespace hostile;

class BurnInSignals : public ::testing::Test {
protected:
    void SetUp() override { unlink("/tmp/burnin.log"); }
    void TearDown() override
    {
        // Whatever the outcome, no stub may be left running.
        for (pid_t pid : pids_in(pidfile()))
            if (!process_gone(pid))
                kill(pid, SIGKILL);
        unlink("/tmp/burnin.log");
    }

    // Helpers that note their pids and then run until a signal ends them;
    // with trap_term they answer SIGTERM (noted in <name>.term) and exit 0.
    void start_helpers(bool trap_term)
    {
        for (const std::string name : {"netburn", "diskburn"}) {
            std::string body = "echo $$ >> " + sh_quote(pidfile()) + "\n";
            if (trap_term)
                body += "trap 'echo TERM > " + sh_quote(stubs.file(name + ".term")) + "; exit 0' TERM\n";
            body += "echo going\nwhile :; do sleep 0.05; done\n";
            stubs.script(name, body);
        }
        run = start_rundiags(stubs);
        ASSERT_TRUE(wait_menu(*run));
        ASSERT_TRUE(open_burnin(*run));
        ASSERT_TRUE(run->wait_until([&] { return pids_in(pidfile()).size() == 2; })) << run->dump();
        ASSERT_TRUE(run->wait_text("Network: going")) << run->dump();
    }
    std::string pidfile() const { return stubs.file("helpers.pids"); }

    StubDir stubs;
    std::unique_ptr<PtyRun> run;
};

// Killed outright, the program cannot end its helpers itself: the kernel
// must tell them. Left running, a disk helper would go on writing and hold
// the disks "in use" for the next run.
TEST_F(BurnInSignals, KilledProgramTakesItsHelpersAlong)
{
    start_helpers(false);
    ASSERT_EQ(survivors(pids_in(pidfile())).empty(), false);
    run->signal(SIGKILL);
    EXPECT_EQ(run->wait_exit(), 128 + SIGKILL);
    expect_helpers_gone(pidfile());
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
    EXPECT_TRUE(stubs.exists("netburn.term") && stubs.exists("diskburn.term")) << "helpers not told to end";
    EXPECT_EQ(survivors(pids_in(pidfile())), "") << "helpers left running";
    expect_restored(*run, "\x0f\x1b)B\x1b(B");
    EXPECT_TRUE(run->vt().cursor_visible());
}

INSTANTIATE_TEST_SUITE_P(BurnInSignals, BurnInEndingSignal,
                         ::testing::Values(SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
                                           SIGPROF, SIGXCPU, SIGXFSZ, SIGSYS, SIGTRAP, SIGPOLL, SIGPWR, SIGSTKFLT),
                         [](const auto &p) { return std::string(sigabbrev_np(p.param)); });

} // namespace
