// The screen comes back whole after something garbled it: Ctrl-L wherever
// keys are awaited, and a resize of the terminal window, even while the
// program is idle. The Burn-in cases use the fixed /tmp/burnin.log.
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "e2e.h"

namespace {

// Every cell as a person sees it: character, colours, brightness, blink.
std::vector<std::string> picture(PtyRun &run)
{
    std::vector<std::string> rows;
    for (int y = 0; y < run.rows(); y++) {
        std::string r = run.row(y) + " |";
        for (int x = 0; x < run.cols(); x++) {
            const VtCell c = run.vt().cell(x, y);
            r += char('a' + c.fg + 2) + std::string(1, char('a' + c.bg + 2)) + (c.bold ? "B" : "") +
                 (c.blink ? "K" : "") + ",";
        }
        rows.push_back(r);
    }
    return rows;
}

// What a kernel message does to a console: plain text at the cursor,
// scrolling the screen at the bottom.
void kernel_message(PtyRun &run)
{
    for (int i = 0; i < 4; i++)
        run.vt().feed("\r\n[  812.34567" + std::to_string(i) +
                      "] sd 2:0:0:0: [sdb] tag#0 FAILED Result: hostbyte=DID_OK driverbyte=DRIVER_SENSE");
}

::testing::AssertionResult shows(PtyRun &run, const std::vector<std::string> &want)
{
    if (run.wait_until([&] { return picture(run) == want; }, 5000))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the screen did not come back:\n" << run.dump();
}

// Shrinks the window to 40 x 12 and grows it back: each resize reaches the
// program as its only event (no key, no helper output), and it repaints.
::testing::AssertionResult shrink_and_grow(PtyRun &run, const std::vector<std::string> &want)
{
    for (auto [cols, rows] : {std::pair{40, 12}, std::pair{80, 25}}) {
        const size_t mark = run.output().size();
        run.resize(cols, rows);
        if (!run.wait_until([&] { return run.output_since(mark).find("\x1b[?7l\x1b(B\x1b[0m\x1b[2J") !=
                                         std::string::npos; }))
            return ::testing::AssertionFailure() << "no repaint at " << cols << "x" << rows;
        run.settle();
        // Rows too long for the narrow window are cut, not wrapped into the
        // next row (which would scroll the title away at the bottom).
        if (run.row(0).find("ORVEX Compatibility") == std::string::npos)
            return ::testing::AssertionFailure() << "garbled at " << cols << "x" << rows << ":\n" << run.dump();
    }
    return shows(run, want);
}

// What the screen shows now comes back after a shrink and a grow, and after
// a kernel message and Ctrl-L.
::testing::AssertionResult survives_resize_and_garbling(PtyRun &run)
{
    run.settle();
    const std::vector<std::string> before = picture(run);
    if (auto r = shrink_and_grow(run, before); !r)
        return r;
    kernel_message(run);
    run.send("\x0c");
    return shows(run, before);
}

class Repaint : public ::testing::Test {
protected:
    void SetUp() override
    {
        run = start_rundiags(stubs);
        ASSERT_TRUE(wait_menu(*run));
    }
    // Leaves through the quit question; the terminal gets autowrap back
    // (only) when a repaint switched it off.
    void leave(bool repainted)
    {
        quit(*run);
        expect_restored(*run, repainted ? "\x1b[?7h" : "");
        EXPECT_EQ(run->output().find("\x1b[?7h") == std::string::npos, !repainted);
    }

    StubDir stubs;
    std::unique_ptr<PtyRun> run;
};

TEST_F(Repaint, CtrlLAfterAKernelMessageGivesTheMenuBack)
{
    type(*run, keys::Down);
    const std::vector<std::string> before = picture(*run);
    const int highlight = menu_highlight_row(*run);
    kernel_message(*run);
    ASSERT_NE(picture(*run), before);
    run->send("\x0c");
    EXPECT_TRUE(shows(*run, before));
    // Consumed: the highlight stayed, and the menu still answers.
    EXPECT_EQ(menu_highlight_row(*run), highlight);
    type(*run, keys::Down);
    EXPECT_EQ(menu_highlight_row(*run), highlight + 1);
    leave(true);
}

TEST_F(Repaint, CtrlLAnswersNoQuestion)
{
    run->send(keys::Esc);
    ASSERT_TRUE(run->wait_text("Really quit? (y/n)"));
    run->settle();
    const std::vector<std::string> before = picture(*run);
    kernel_message(*run);
    run->send("\x0c");
    EXPECT_TRUE(shows(*run, before));
    EXPECT_TRUE(run->running());
    run->send("n");
    ASSERT_TRUE(run->wait_gone("Really quit? (y/n)"));
    leave(true);
}

TEST_F(Repaint, ResizeWakesTheIdleMenu)
{
    const std::vector<std::string> before = picture(*run);
    EXPECT_TRUE(shrink_and_grow(*run, before));
    leave(true);
}

TEST_F(Repaint, AbortAfterARepaintGivesAutowrapBackToo)
{
    const std::vector<std::string> before = picture(*run);
    ASSERT_TRUE(shrink_and_grow(*run, before));
    const size_t mark = run->output().size();
    run->signal(SIGABRT);
    EXPECT_EQ(run->wait_exit(), 128 + SIGABRT);
    EXPECT_NE(run->output_since(mark).find("\x1b[?7h\x0f\x1b)B\x1b(B\x1b[0;37;40m\x1b[?25h"), std::string::npos);
}

TEST_F(Repaint, NoRepaintNoAutowrapSequence)
{
    EXPECT_EQ(run->output().find("\x1b[?7"), std::string::npos);
    leave(false);
}

// In the test screens' own loops, which wait on their helpers and the
// terminal at once and take keys only when the terminal has some.
class BurnInRepaint : public Repaint {};
class CompatRepaint : public Repaint {};

TEST_F(CompatRepaint, ScreenComesBackAfterResizeAndCtrlL)
{
    StubDir::Stub probe;
    probe.lines = {"CPU: Example CPU 2.0GHz", "   Status: SUPPORTED", "Probing on"};
    probe.sleep = 30;
    stubs.stub("compat.pl", probe);
    run->send(keys::Enter);
    ASSERT_TRUE(run->wait_text("Press ENTER to begin..."));
    run->send(keys::Enter);
    ASSERT_TRUE(run->wait_text("Probing on")) << run->dump();
    EXPECT_TRUE(survives_resize_and_garbling(*run));
    run->send(keys::Enter);
    ASSERT_TRUE(wait_menu(*run));
    leave(true);
}

TEST_F(BurnInRepaint, ScreenComesBackAfterResizeAndCtrlL)
{
    unlink("/tmp/burnin.log");
    stubs.script("netburn", "trap 'exit 0' TERM\necho 'net going'\nwhile :; do sleep 0.05; done\n");
    stubs.script("diskburn", "trap 'exit 0' TERM\necho 'disk going'\nwhile :; do sleep 0.05; done\n");
    ASSERT_TRUE(open_burnin(*run));
    ASSERT_TRUE(run->wait_text("Network: net going"));
    EXPECT_TRUE(survives_resize_and_garbling(*run));
    EXPECT_FALSE(run->has_text("Stop Test"));
    run->send("q");
    ASSERT_TRUE(run->wait_text("Stop the burn-in test now? (y/n)"));
    run->send("y");
    ASSERT_TRUE(run->wait_text("** PASSED - Press Enter When Done **", 10000)) << run->dump();
    run->send(keys::Enter);
    ASSERT_TRUE(wait_menu(*run));
    leave(true);
    unlink("/tmp/burnin.log");
}

} // namespace
