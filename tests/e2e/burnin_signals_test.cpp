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

} // namespace
