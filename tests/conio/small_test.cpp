// The console layer and keyboard on a 20x8 terminal, where windows laid out
// for a larger screen do not fit: nothing may stop the program, and what lies
// off the screen or outside the window is simply not drawn.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "conhelpers.h"
#include "grid.h"
#include "marked.h"
#include "testterm.h"

namespace {

class Small : public ::testing::Test {
protected:
    void SetUp() override { reset_console(); }
};

TEST_F(Small, ScreenIsTwentyByEight)
{
    EXPECT_EQ(textinfo().screenwidth, 20);
    EXPECT_EQ(textinfo().screenheight, 8);
    EXPECT_EQ(console_state(), "(1,1)-(20,8) attr 07 cursor 1,1");
}

TEST_F(Small, WindowWiderThanTheScreenIsCut)
{
    window(1, 1, 80, 25);
    textattr(0x1e);
    cputs("0123456789abcdefghijKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(rowtext(0, 0, 20), "0123456789abcdefghij");
    EXPECT_EQ(cellat(0, 1).ch, 0);
    // The cursor goes on counting inside the window although the screen ends.
    EXPECT_EQ(ti.curx, 37);
    EXPECT_EQ(screen.getcurx(), 19);
    gettextinfo(nullptr);
    EXPECT_EQ(ti.curx, 37);
    cputs("\r\n");
    EXPECT_EQ(ti.curx, 1);
    EXPECT_EQ(ti.cury, 2);
    putch('z');
    EXPECT_EQ(cellat(0, 1).ch, 'z');
}

TEST_F(Small, GotoxyOffTheScreenIsKeptButDrawsNothing)
{
    gettextinfo(nullptr);
    fillbox(1, 1, 20, 8, '.', 0x07);
    const GridShot before = GridShot::take();
    gotoxy(30, 12);
    EXPECT_EQ(ti.curx, 30);
    EXPECT_EQ(ti.cury, 12);
    EXPECT_EQ(screen.getcurx(), 19);
    EXPECT_EQ(screen.getcury(), 7);
    putch('x');
    cputs("more text");
    clreol();
    EXPECT_TRUE(GridShot::take() == before);
    EXPECT_EQ(ti.curx, 30);
    gotoxy(-3, 0);
    putch('y');
    EXPECT_TRUE(GridShot::take() == before);
}

TEST_F(Small, TextStartingLeftOfTheWindowIsClipped)
{
    window(3, 2, 12, 4);
    gotoxy(-1, 1);
    cputs("abcdef");
    EXPECT_EQ(rowtext(0, 1, 8), std::string("\0\0cdef\0\0", 8));
}

TEST_F(Small, LineFeedOnTheLastScreenRowStaysThere)
{
    gettextinfo(nullptr);
    gotoxy(1, 8);
    cputs("a\r\nb\r\n\r\nc");
    EXPECT_EQ(cellat(0, 7).ch, 'c');
    EXPECT_EQ(ti.cury, 8);
    EXPECT_EQ(screen.getcury(), 7);
}

TEST_F(Small, LineFeedOnTheLastWindowRowStaysThere)
{
    window(2, 2, 10, 4);
    gotoxy(1, 3);
    cputs("x\r\ny\r\nz");
    EXPECT_EQ(cellat(1, 3).ch, 'z');
    EXPECT_EQ(cellat(1, 4).ch, 0);
    EXPECT_EQ(ti.cury, 3);
    putch('w');
    EXPECT_EQ(cellat(2, 3).ch, 'w');
}

TEST_F(Small, RectanglesAreCutAtTheScreen)
{
    fillbox(15, 5, 40, 20, '#', 0x07);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 20; x++)
            EXPECT_EQ(cellat(x, y).ch, (x >= 14 && y >= 4) ? '#' : 0) << x << "," << y;
    colorbox(-5, -5, 100, 100, 0x12);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 20; x++)
            ASSERT_EQ(cellat(x, y).attr, 0x12);
    fillbox(21, 1, 30, 3, '!', 0x07);
    fillbox(1, 9, 3, 9, '!', 0x07);
    fillbox(-10, -10, 0, 0, '!', 0x07);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 20; x++)
            ASSERT_NE(cellat(x, y).ch, '!');
}

TEST_F(Small, FramesLargerThanTheScreenDrawWhatFits)
{
    gettextinfo(nullptr);
    drawframe(5, 3, 60, 20, 1, 1, 1, 1);
    EXPECT_EQ(shown_row(1), "....................");
    EXPECT_EQ(shown_row(2), "....+---------------");
    EXPECT_EQ(shown_row(3), "....|...............");
    EXPECT_EQ(shown_row(7), "....|...............");
    // A corner just past the right edge does not wrap onto the next row.
    reset_console();
    gettextinfo(nullptr);
    drawframe(1, 1, 21, 9, 1, 1, 1, 1);
    EXPECT_EQ(shown_row(0), "+-------------------");
    EXPECT_EQ(shown_row(1), "|...................");
    EXPECT_EQ(shown_row(7), "|...................");
}

TEST_F(Small, WindowEntirelyOffTheScreen)
{
    fillbox(1, 1, 20, 8, '.', 0x07);
    const GridShot before = GridShot::take();
    window(30, 10, 50, 12);
    textattr(0x1e);
    clrscr();
    cputs("hello\r\nworld");
    cputs_marked(0x1e, 0x1f, 0x3e, OxString("\x08label\x08 \x07" "alert\x07\r\n"));
    clreol();
    drawframe(30, 10, 50, 12, 1, 1, 1, 1);
    EXPECT_TRUE(GridShot::take() == before);
}

TEST_F(Small, BackwardsWindowDrawsNothing)
{
    const GridShot before = GridShot::take();
    window(10, 5, 5, 3);
    cputs("abc\r\n\r\nxyz");
    clrscr();
    clreol();
    EXPECT_TRUE(GridShot::take() == before);
}

// The terminal goes away: key reads return at once with no key, and an
// unfinished sequence is not kept waiting for bytes that cannot come. The
// hangup cannot be undone, so this runs in a process of its own, which
// names every check that fails.
TEST(SmallKeys, EndOfInputGivesNoKeyWithoutBlocking)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            int failed = 0;
            auto check = [&](bool ok, const char *what) {
                if (!ok) {
                    fprintf(stderr, "failed: %s\n", what);
                    failed++;
                }
            };
            test_pty().write_keys("a\x1b[5");
            screen.select(2000, true);
            check(_getch() == 'a', "the key typed before the hangup");
            check(_getch() == KEY_NONE, "no key yet for the unfinished sequence");
            test_pty().hangup();
            const TimedKey k1 = timed(_getch);
            const TimedKey k2 = timed(getch);
            check(k1.key == KEY_NONE && k1.ms <= 500, "_getch gives no key at once");
            check(k2.key == KEY_NONE && k2.ms <= 500, "getch gives no key at once");
            check(!screen.isok(), "the screen sees the end of its input");
            const auto t0 = std::chrono::steady_clock::now();
            kbwait(1000);   // a read would not wait now, so neither does this
            check(std::chrono::steady_clock::now() - t0 <= std::chrono::milliseconds(500), "kbwait returns at once");
            _exit(failed);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
