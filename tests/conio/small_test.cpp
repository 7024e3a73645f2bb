// The console layer and keyboard on a 20x8 terminal, where windows laid out
// for a larger screen do not fit: nothing may stop the program, and what lies
// off the screen or outside the window is simply not drawn.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "conhelpers.h"
#include "marked.h"
#include "testterm.h"

namespace {

std::vector<PlCell> snapshot()
{
    std::vector<PlCell> v;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 20; x++)
            v.push_back(cellat(x, y));
    return v;
}

bool same(const std::vector<PlCell> &a, const std::vector<PlCell> &b)
{
    return a.size() == b.size() && memcmp(a.data(), b.data(), a.size() * sizeof(PlCell)) == 0;
}

class Small : public ::testing::Test {
protected:
    void SetUp() override { reset_console(); }
};

TEST_F(Small, ScreenIsTwentyByEight)
{
    text_info r{};
    gettextinfo(&r);
    EXPECT_EQ(r.screenwidth, 20);
    EXPECT_EQ(r.screenheight, 8);
    EXPECT_EQ(r.winright, 20);
    EXPECT_EQ(r.winbottom, 8);
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
    const auto before = snapshot();
    gotoxy(30, 12);
    EXPECT_EQ(ti.curx, 30);
    EXPECT_EQ(ti.cury, 12);
    EXPECT_EQ(screen.getcurx(), 19);
    EXPECT_EQ(screen.getcury(), 7);
    putch('x');
    cputs("more text");
    clreol();
    EXPECT_TRUE(same(before, snapshot()));
    EXPECT_EQ(ti.curx, 30);
    gotoxy(-3, 0);
    putch('y');
    EXPECT_TRUE(same(before, snapshot()));
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

TEST_F(Small, FrameLargerThanTheScreenDrawsWhatFits)
{
    gettextinfo(nullptr);
    drawframe(5, 3, 60, 20, 1, 1, 1, 1);
    EXPECT_EQ(cellat(4, 2).ch, GLYPH_ULCORNER);
    EXPECT_EQ(cellat(19, 2).ch, GLYPH_HLINE);
    EXPECT_EQ(cellat(4, 7).ch, GLYPH_VLINE);
    EXPECT_EQ(cellat(5, 3).ch, 0);
}

TEST_F(Small, CornerJustPastTheRightEdgeDoesNotWrap)
{
    gettextinfo(nullptr);
    drawframe(1, 1, 21, 9, 1, 1, 1, 1);
    EXPECT_EQ(cellat(0, 0).ch, GLYPH_ULCORNER);
    EXPECT_EQ(cellat(19, 0).ch, GLYPH_HLINE);
    EXPECT_EQ(cellat(0, 1).ch, GLYPH_VLINE);
    EXPECT_EQ(cellat(0, 7).ch, GLYPH_VLINE);
}

TEST_F(Small, WindowEntirelyOffTheScreen)
{
    fillbox(1, 1, 20, 8, '.', 0x07);
    const auto before = snapshot();
    window(30, 10, 50, 12);
    textattr(0x1e);
    clrscr();
    cputs("hello\r\nworld");
    cputs_marked(0x1e, 0x1f, 0x3e, OxString("\x08label\x08 \x07" "alert\x07\r\n"));
    clreol();
    drawframe(30, 10, 50, 12, 1, 1, 1, 1);
    EXPECT_TRUE(same(before, snapshot()));
}

TEST_F(Small, BackwardsWindowDrawsNothing)
{
    const auto before = snapshot();
    window(10, 5, 5, 3);
    cputs("abc\r\n\r\nxyz");
    clrscr();
    clreol();
    EXPECT_TRUE(same(before, snapshot()));
}

// Random windows, positions and output, many of them far off the screen:
// none may reach a contract check, and no cell outside the screen is touched
// (the grid's own checks would stop the program).
TEST_F(Small, RandomDrawingNeverStops)
{
    std::mt19937 rng(20240607);
    auto pos = [&] { return int(rng() % 60) - 20; };
    for (int i = 0; i < 20000; i++) {
        switch (rng() % 9) {
        case 0: window(pos(), pos(), pos(), pos()); break;
        case 1: gotoxy(pos(), pos()); break;
        case 2: abs_gotoxy(pos(), pos()); break;
        case 3: putch(int(rng() % 256)); break;
        case 4: cputs(rng() % 2 ? "some text\r\n" : "\n\n\n\rxy"); break;
        case 5: clreol(); break;
        case 6: clrscr(); break;
        case 7: drawframe(pos(), pos(), pos(), pos(), 1, 1, 1, 1); break;
        case 8: fillbox(pos(), pos(), pos(), pos(), '*', 0x70); break;
        }
        gettextinfo(nullptr);
    }
    SUCCEED();
}

// The terminal goes away: key reads return at once with no key, and an
// unfinished sequence is not kept waiting for bytes that cannot come.
TEST(SmallKeys, EndOfInputGivesNoKeyWithoutBlocking)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            test_pty().write_keys("a\x1b[5");
            screen.select(2000, true);
            int bad = 0;
            bad |= _getch() != 'a';
            bad |= (_getch() != KEY_NONE) << 1;
            test_pty().hangup();
            const TimedKey k1 = timed(_getch);
            const TimedKey k2 = timed(getch);
            bad |= (k1.key != KEY_NONE || k1.ms > 500) << 2;
            bad |= (k2.key != KEY_NONE || k2.ms > 500) << 3;
            bad |= screen.isok() << 4;
            const auto t0 = std::chrono::steady_clock::now();
            kbwait(1000);   // a read would not wait now, so neither does this
            bad |= (std::chrono::steady_clock::now() - t0 > std::chrono::milliseconds(500)) << 5;
            _exit(bad);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
