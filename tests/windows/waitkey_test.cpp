// MsgWin::waitkey with keys typed at a pseudo-terminal.
#include <unistd.h>

#include <thread>

#include "msgwin.h"
#include "testterm.h"
#include "wintest.h"

namespace {

using WaitKey = WinTest;

TEST_F(WaitKey, UpperCaseAnswerIsTakenForItsLowerCaseLetter)
{
    MsgWin m("Really quit? (y/n)", "Quit");
    test_pty().write_keys("Y");
    EXPECT_EQ(m.waitkey("yn\x1b"), 'y');
    EXPECT_TRUE(m.isvisible()) << "the dialog stays until the caller destroys it";
    EXPECT_EQ(row_text(13, 32, 49), "Really quit? (y/n)");
}

TEST_F(WaitKey, EscapeReturnsItsCode)
{
    MsgWin m("Really quit? (y/n)", "Quit");
    test_pty().write_keys("\x1b");
    EXPECT_EQ(m.waitkey("yn\x1b"), KEY_ESC);
}

TEST_F(WaitKey, KeysOutsideTheSetArrowsAndNulAreIgnored)
{
    MsgWin m("Really quit? (y/n)", "Quit");
    static const char typed[] = "x\x1b[A\x1bOB\0\x1b[5~q\rN";
    test_pty().write_keys(std::string_view(typed, sizeof typed - 1));
    EXPECT_EQ(m.waitkey("yn\x1b"), 'n');
}

TEST_F(WaitKey, TheWaitGoesOnUntilAKeyOfTheSetArrives)
{
    MsgWin m("Insert a floppy disk", "Insert Floppy Disk");
    test_pty().wait_quiet(20, 2000);
    test_pty().clear_output();
    std::thread typist([] {
        // Type only once the wait has begun: it brings the terminal up to date first.
        EXPECT_TRUE(test_pty().wait_for_bytes(REFRESH_TAIL, 5000));
        test_pty().write_keys("a");
        test_pty().write_keys("\r");
    });
    EXPECT_EQ(m.waitkey("\r\x1b"), '\r');
    typist.join();
}

TEST_F(WaitKey, HighBytesMatchAsTheyAre)
{
    MsgWin m("?", "?");
    test_pty().write_keys("\xc9\xe9");
    EXPECT_EQ(m.waitkey("\xe9"), 0xe9);
}

TEST(WaitKeyDeath, ReturnsZeroWhenTheTerminalGoesAway)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child hangs up its own pseudo-terminal: with the master gone the
    // program's reads fail, which is what a closed console looks like.
    EXPECT_EXIT(
        {
            MsgWin m("Really quit? (y/n)", "Quit");
            test_pty().write_keys("x");
            test_pty().hangup();
            int key = m.waitkey("yn\x1b");
            _exit(key == 0 ? 0 : 100);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(WaitKeyDeath, ReturnsZeroWhenTheTerminalInputEnds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            MsgWin m("Really quit? (y/n)", "Quit");
            int fds[2];
            if (pipe(fds) != 0)
                _exit(2);
            close(fds[1]);
            dup2(fds[0], screen.getfd());       // input now ends at once
            int key = m.waitkey("yn\x1b");
            _exit(key == 0 ? 0 : 100);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
