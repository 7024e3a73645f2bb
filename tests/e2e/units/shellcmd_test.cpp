// The runner behind the floppy copy: the result as system() gives it, and
// the surroundings the command gets.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "shellcmd.h"

namespace {

TEST(ShellCmd, ResultIsTheWaitStatusOfTheShell)
{
    EXPECT_EQ(run_shell("exit 0"), 0);
    int st = run_shell("exit 3");
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 3);
    EXPECT_EQ(shell_error_number(st), 3);
    EXPECT_EQ(shell_error_number(run_shell("no-such-command-anywhere >/dev/null 2>/dev/null")), 127);
}

TEST(ShellCmd, ErrorNumbersOfSignalsAndOfNoShell)
{
    // The shell itself killed by a signal: bits 8-15 are 0.
    EXPECT_EQ(shell_error_number(run_shell("kill -KILL $$")), 0);
    EXPECT_EQ(shell_error_number(-1), 255);
}

TEST(ShellCmd, CommandGetsItsOwnGroupNoInputAndDefaultSigpipe)
{
    struct sigaction ign{}, old{};
    ign.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ign, &old);
    // Its own process group.
    EXPECT_EQ(run_shell("[ \"$(awk '{print $5}' /proc/$$/stat)\" = \"$$\" ]"), 0);
    // Standard input is /dev/null, whatever the caller's was.
    EXPECT_EQ(run_shell("[ \"$(readlink /proc/$$/fd/0)\" = /dev/null ]"), 0);
    // SIGPIPE (bit 13 of the ignored set) is not ignored in the command.
    EXPECT_EQ(run_shell("m=$(awk '/^SigIgn/ {print $2}' /proc/$$/status); [ $(( (0x$m >> 12) & 1 )) -eq 0 ]"), 0);
    // SIGTTIN and SIGTTOU (bits 20 and 21) are: its group is not the terminal's.
    EXPECT_EQ(run_shell("m=$(awk '/^SigIgn/ {print $2}' /proc/$$/status); [ $(( (0x$m >> 20) & 3 )) -eq 3 ]"), 0);
    sigaction(SIGPIPE, &old, nullptr);
    // The caller's own disposition is left as it was.
    struct sigaction now{};
    sigaction(SIGPIPE, nullptr, &now);
    EXPECT_EQ(now.sa_handler, old.sa_handler);
}

} // namespace
