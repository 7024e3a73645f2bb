// The burn-in test end to end: the program under a pseudo-terminal with stub
// netburn and diskburn on PATH. These tests use the fixed /tmp/burnin.log and
// never run in parallel with each other.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "e2e.h"

namespace {

const char *const logpath = "/tmp/burnin.log";

// A helper that prints its lines and then runs until SIGTERM, on which it exits 0.
std::string runs_until_term(const std::string &lines)
{
    return "trap 'exit 0' TERM\n" + lines + "while :; do sleep 0.05; done\n";
}

class BurnIn : public ::testing::Test {
protected:
    void SetUp() override { unlink(logpath); }
    void TearDown() override { unlink(logpath); }

    // Opens the burn-in entry and answers the three questions.
    void start(bool answer_all = true)
    {
        run = start_rundiags(stubs);
        ASSERT_TRUE(wait_menu(*run));
        ASSERT_TRUE(open_burnin(*run, answer_all));
    }
    // A burn-in whose helpers run until told to end, over an old log; up to
    // the first question.
    void start_idle_over_old_log()
    {
        stubs.script("netburn", runs_until_term(""));
        stubs.script("diskburn", runs_until_term(""));
        write_file(logpath, "old log\n");
        start(false);
    }
    void expect_nothing_started()
    {
        EXPECT_EQ(stubs.runs_of("netburn") + stubs.runs_of("diskburn"), 0);
        EXPECT_EQ(read_file(logpath), "old log\n");
    }
    // From the finished test back to the menu, and out.
    void leave_and_quit()
    {
        run->send(keys::Enter);
        ASSERT_TRUE(wait_menu(*run));
        quit(*run);
    }
    void stop()
    {
        run->send("q");
        ASSERT_TRUE(run->wait_text("Stop the burn-in test now? (y/n)")) << run->dump();
        run->send("y");
    }
    // Screen row (0-based) that holds text, or -1.
    int rowof(const std::string &text)
    {
        for (int y = 0; y < run->rows(); y++)
            if (run->row(y).find(text) != std::string::npos)
                return y;
        return -1;
    }
    StubDir stubs;
    std::unique_ptr<PtyRun> run;
};

TEST_F(BurnIn, EveryRefusalStartsNothingAndLeavesTheOldLog)
{
    start_idle_over_old_log();
    // Escape at the first question; 'n' at the first; 'N' at the second;
    // Escape at the third. After each key, a text comes or goes.
    const struct {
        std::string_view key;
        const char *text;
        bool comes;
    } steps[] = {{keys::Esc, "THIS IS DANGEROUS", false},          {keys::Enter, "THIS IS DANGEROUS", true},
                 {"n", "THIS IS DANGEROUS", false},                {keys::Enter, "THIS IS DANGEROUS", true},
                 {keys::Enter, "THIS IS *VERY* DANGEROUS", true},  {"N", "THIS IS *VERY* DANGEROUS", false},
                 {keys::Enter, "THIS IS DANGEROUS", true},         {keys::Enter, "THIS IS *VERY* DANGEROUS", true},
                 {"Y", "Configure Hardware", true},                {keys::Esc, "Configure Hardware", false}};
    for (const auto &step : steps) {
        run->send(step.key);
        ASSERT_TRUE(step.comes ? run->wait_text(step.text) : run->wait_gone(step.text)) << step.text << "\n"
                                                                                       << run->dump();
        if (!step.comes) {
            ASSERT_TRUE(wait_menu(*run));   // every refusal leads back to the menu
        }
    }
    expect_nothing_started();
    quit(*run);
}

TEST_F(BurnIn, HangupAtTheLastQuestionStartsNothing)
{
    start_idle_over_old_log();
    run->send(keys::Enter);
    ASSERT_TRUE(run->wait_text("THIS IS *VERY* DANGEROUS"));
    run->send("y");
    ASSERT_TRUE(run->wait_text("Configure Hardware"));
    run->hangup();
    EXPECT_EQ(run->wait_exit(), 0);
    expect_nothing_started();
}

TEST_F(BurnIn, CleanPassesRestartUntilStoppedAndPass)
{
    stubs.script("netburn", "echo run >> " + stubs.file("net.runs") +
                                "\n[ \"$1\" = -1 ] || exit 9\nprintf '%s\\n' 'sending' '@1000 eth0=1000 eth1=1000'\nexit 0\n");
    stubs.script("diskburn", "echo run >> " + stubs.file("disk.runs") +
                                 "\n[ \"$1\" = --destroy ] || exit 9\nprintf '%s\\n' 'sda: pass' ' sda: 100%'\nexit 0\n");
    start();
    ASSERT_TRUE(run->wait_text("Loop:3", 10000)) << run->dump();
    EXPECT_TRUE(run->has_text("[RUNNING]"));
    EXPECT_TRUE(run->has_text("Sent:1000"));
    EXPECT_TRUE(run->has_text("Recv: eth0:100%  eth1:100%"));
    EXPECT_TRUE(run->has_text("Network: sending"));
    EXPECT_TRUE(run->has_text("   Disk: starting again."));
    stop();
    ASSERT_TRUE(run->wait_text("** PASSED - Press Enter When Done **", 10000)) << run->dump();
    EXPECT_FALSE(run->has_text("[RUNNING]"));
    int disk = rowof("DISK:"), net = rowof("NETWORK:");
    ASSERT_GE(disk, 0);
    EXPECT_NE(run->row(disk).find("Result:PASS | Stopped."), std::string::npos) << run->dump();
    EXPECT_NE(run->row(net).find("Result:PASS | Stopped."), std::string::npos) << run->dump();

    // The log holds exactly the lines shown, one newline each, no status lines.
    const std::string log = read_file(logpath);
    EXPECT_EQ(log.rfind("Running network and disk burn-in tests.\n\n", 0), 0u) << log;
    EXPECT_EQ(log.find("@"), std::string::npos);
    EXPECT_NE(log.find("\n\nTEST HALTED BY USER.\n\n"), std::string::npos) << log;
    EXPECT_NE(log.find("   Disk: sda: pass\n   Disk:  sda: 100%\n"), std::string::npos) << log;
    const std::string tail = "\n   Disk: PASSED\nNetwork: PASSED\n\n(All these log messages are in \"/tmp/burnin.log\")\n\n"
                             "** PASSED - Press Enter When Done **\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
    int loops = stubs.read("disk.runs").size() / 4;
    EXPECT_GE(loops, 3);
    // Each restart but the last logged "starting again".
    size_t again = 0;
    for (size_t p = 0; (p = log.find("   Disk: starting again.\n", p)) != std::string::npos; p++)
        again++;
    EXPECT_EQ(int(again), loops - 1);

    run->send(keys::Enter);
    ASSERT_TRUE(wait_menu(*run));
    EXPECT_EQ(menu_highlight_row(*run), rowof("Burn-in test"));
    quit(*run);
}

TEST_F(BurnIn, DiskFailureKeepsTheNetworkGoingAndFailsTheVerdict)
{
    stubs.script("netburn", "trap 'exit 0' TERM\necho run >> " + stubs.file("net.runs") +
                                "\necho '@10 eth0=10'\nsleep 0.2\nexit 0\n");
    stubs.script("diskburn", "echo 'sdb: verify error at 4096'\nexit 3\n");
    start();
    ASSERT_TRUE(run->wait_text("FAILED (code 3)", 10000)) << run->dump();
    int disk = rowof("DISK:");
    ASSERT_GE(disk, 0);
    int col = int(run->row(disk).find("FAIL"));
    ASSERT_GT(col, 0);
    EXPECT_EQ(run->vt().cell(col, disk).bg, ANSI_RED) << "FAIL stands in the alert colour";
    ASSERT_TRUE(run->wait_until([&] { return stubs.read("net.runs").size() >= 3 * 4; }, 10000));
    EXPECT_TRUE(run->has_text("[RUNNING]"));
    stop();
    ASSERT_TRUE(run->wait_text("** FAILED - Press Enter When Done **", 10000)) << run->dump();
    const std::string log = read_file(logpath);
    EXPECT_NE(log.find("\n   Disk: FAILED (code 3)\nNetwork: PASSED\n"), std::string::npos) << log;
    leave_and_quit();
}

TEST_F(BurnIn, BothFailingEndsWithoutAQuestion)
{
    stubs.script("netburn", "echo 'To pass the burn-in test, you need at least two network ports.'\nexit 2\n");
    stubs.script("diskburn", "echo 'no disks'\nexit 5\n");
    start();
    ASSERT_TRUE(run->wait_text("** FAILED - Press Enter When Done **", 10000)) << run->dump();
    EXPECT_FALSE(run->has_text("Stop Test"));
    EXPECT_FALSE(run->has_text("[RUNNING]"));
    const std::string log = read_file(logpath);
    EXPECT_NE(log.find("   Disk: FAILED (code 5)\nNetwork: FAILED (code 2)\n"), std::string::npos) << log;
    leave_and_quit();
}

TEST_F(BurnIn, NoAtTheStopQuestionChangesNothing)
{
    stubs.script("netburn", runs_until_term("echo 'net going'\n"));
    stubs.script("diskburn", runs_until_term("echo 'disk going'\n"));
    start();
    ASSERT_TRUE(run->wait_text("Network: net going"));
    for (const char *k : {"n", "\x1b"}) {
        run->send(keys::Enter);
        ASSERT_TRUE(run->wait_text("Stop the burn-in test now? (y/n)"));
        run->send(k);
        ASSERT_TRUE(run->wait_gone("Stop the burn-in test now? (y/n)"));
    }
    EXPECT_TRUE(run->has_text("[RUNNING]"));
    EXPECT_FALSE(run->has_text("TEST HALTED"));
    stop();
    ASSERT_TRUE(run->wait_text("** PASSED - Press Enter When Done **", 10000)) << run->dump();
    leave_and_quit();
}

TEST_F(BurnIn, LeavingEarlyEndsTheHelpers)
{
    // Helpers that ignore SIGTERM: a stop leaves them running, and leaving
    // the test must still end them.
    stubs.script("netburn", "echo $$ > " + stubs.file("net.pid") + "\ntrap '' TERM\necho up\nwhile :; do sleep 0.05; done\n");
    stubs.script("diskburn", "echo $$ > " + stubs.file("disk.pid") + "\ntrap '' TERM\necho up\nwhile :; do sleep 0.05; done\n");
    start();
    ASSERT_TRUE(run->wait_until([&] { return stubs.exists("net.pid") && stubs.exists("disk.pid"); }));
    stop();
    ASSERT_TRUE(run->wait_text("[STOPPING]"));
    run->send(keys::Enter);
    ASSERT_TRUE(wait_menu(*run, 15000));
    for (const char *f : {"net.pid", "disk.pid"}) {
        pid_t pid = std::stoi(stubs.read(f));
        EXPECT_NE(kill(pid, 0), 0) << f << " still running";
    }
    EXPECT_EQ(read_file(logpath).find("PASSED"), std::string::npos) << "no summary after an early leave";
    quit(*run);
}

// Keys that arrive together (one read) are all handled, even while the
// helpers are silent and nothing else wakes the program.
TEST_F(BurnIn, KeysTypedTogetherAreAllTakenWhileHelpersAreSilent)
{
    std::string lines;
    for (int i = 1; i <= 40; i++)
        lines += "echo 'line " + std::to_string(i) + "'\n";
    stubs.script("netburn", runs_until_term(lines));
    stubs.script("diskburn", runs_until_term(""));
    start();
    ASSERT_TRUE(run->wait_text("Network: line 40"));
    run->settle();
    auto highlighted = [&] {
        for (int y = 9; y < run->rows() - 2; y++)
            if (run->vt().cell(10, y).bg == ANSI_CYAN)
                return run->row(y);
        return std::string();
    };
    EXPECT_NE(highlighted().find("Network: line 40"), std::string::npos) << run->dump();
    run->send(std::string(keys::Up) + std::string(keys::Up) + std::string(keys::Up));
    ASSERT_TRUE(run->wait_until([&] { return highlighted().find("Network: line 37") != std::string::npos; }, 3000))
        << run->dump();
    // End puts the list back on its last line, so the summary comes into view.
    run->send(keys::End);
    ASSERT_TRUE(run->wait_until([&] { return highlighted().find("Network: line 40") != std::string::npos; }, 3000));
    stop();
    ASSERT_TRUE(run->wait_text("** PASSED - Press Enter When Done **", 10000)) << run->dump();
    leave_and_quit();
}

TEST_F(BurnIn, PlantedSymlinkIsNotFollowed)
{
    char tmpl[] = "/tmp/burnin-target-XXXXXX";
    int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    write_file(tmpl, "precious\n");
    ASSERT_EQ(symlink(tmpl, logpath), 0);
    stubs.script("netburn", runs_until_term("echo 'net going'\n"));
    stubs.script("diskburn", runs_until_term(""));
    start();
    ASSERT_TRUE(run->wait_text("Network: net going"));
    EXPECT_EQ(read_file(tmpl), "precious\n");
    struct stat st;
    ASSERT_EQ(lstat(logpath, &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_NE(read_file(logpath).find("Network: net going\n"), std::string::npos);
    stop();
    ASSERT_TRUE(run->wait_text("** PASSED - Press Enter When Done **", 10000));
    leave_and_quit();
    unlink(tmpl);
}

} // namespace
