// The application frame on the drawing grid: backdrop, bars, the field
// arithmetic of a bar, setters under another window's focus, teardown.
#include <gtest/gtest.h>

#include <string>

#include "conio.h"
#include "grid.h"
#include "framewin.h"
#include "plscreen.h"
#include "win.h"

namespace {

const int W = 80, H = 25;
const int backdrop_attr = 0x01, bar_attr = 0x40;

// The attributes of row y, one byte a cell.
std::string row_attrs(int y)
{
    std::string s;
    for (int x = 1; x <= W; x++)
        s += char(cell_at(x, y).attr);
    return s;
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Start each test from a screen of zero cells and a full-screen console.
        screen.getcells().clear();
        window(1, 1, W, H);
        textattr(0x07);
        ASSERT_EQ(screen.getxsize(), W);
        ASSERT_EQ(screen.getysize(), H);
    }
};

TEST_F(FrameTest, BuildsBackdropAndBlankBarsAndHidesTheCursor)
{
    screen.setcursortype(1);
    FrameWin frame(&screen);
    EXPECT_EQ(screen.getcursortype(), 0);
    for (int y = 1; y <= H; y++) {
        for (int x = 1; x <= W; x++) {
            const PlCell &c = cell_at(x, y);
            if (y == 1 || y == H) {
                ASSERT_EQ(c.ch, ' ') << x << "," << y;
                ASSERT_EQ(c.attr, bar_attr) << x << "," << y;
            } else {
                ASSERT_EQ(c.ch, GLYPH_CHECKER) << x << "," << y;
                ASSERT_EQ(c.attr, backdrop_attr) << x << "," << y;
            }
        }
    }
    // The console state is the full screen again, not a bar's.
    EXPECT_EQ(console_state(), "(1,1)-(80,25) attr 07 cursor 1,1");
}

TEST_F(FrameTest, TitleAndVersionShareTheTopBar)
{
    FrameWin frame(&screen);
    frame.settitle("ORVEX Compatibility and Diagnostics");
    frame.setversion(OxString("Version %s", "3.75c #0"));
    EXPECT_EQ(row_text(1, 1, 1), " ");
    EXPECT_EQ(row_text(1, 2, 36), "ORVEX Compatibility and Diagnostics");
    EXPECT_EQ(row_text(1, 37, 63), std::string(27, ' '));
    EXPECT_EQ(row_text(1, 64, 79), "Version 3.75c #0");
    EXPECT_EQ(row_text(1, 80, 80), " ");
    EXPECT_EQ(row_attrs(1), std::string(W, char(bar_attr)));
    // The backdrop below is untouched.
    EXPECT_EQ(cell_at(40, 2).ch, GLYPH_CHECKER);
}

TEST_F(FrameTest, LongLeftTextGivesWayToTheRightOne)
{
    FrameWin frame(&screen);
    const std::string left(70, 'L'), right = "RRRRRRRRRRRRRRRRRRRR";   // 70 + 20 in w = 78
    frame.sethelp(left.c_str());
    frame.setstatus(right.c_str());
    EXPECT_EQ(row_text(H, 2, 59), std::string(58, 'L'));
    EXPECT_EQ(row_text(H, 60, 79), right);
    EXPECT_EQ(row_text(H, 80, 80), " ");
}

TEST_F(FrameTest, RightTextLongerThanTheBarGetsHalfAndShowsItsStart)
{
    FrameWin frame(&screen);
    std::string right;
    for (int i = 0; i < 100; i++)
        right += char('a' + i % 26);
    frame.settitle("title");
    frame.setversion(right.c_str());
    // w = 78: 39 columns each; the left text padded, the right cut to its start.
    EXPECT_EQ(row_text(1, 2, 40), "title" + std::string(34, ' '));
    EXPECT_EQ(row_text(1, 41, 79), right.substr(0, 39));
    EXPECT_EQ(row_text(1, 80, 80), " ");
}

TEST_F(FrameTest, EmptyStatusBlanksTheRightEndAndKeepsTheHelp)
{
    FrameWin frame(&screen);
    frame.sethelp("[ENTER] Select   [ESC] Go Back");
    frame.setstatus("[RUNNING]");
    EXPECT_EQ(row_text(H, 71, 79), "[RUNNING]");
    frame.setstatus("");
    EXPECT_EQ(row_text(H, 2, 31), "[ENTER] Select   [ESC] Go Back");
    EXPECT_EQ(row_text(H, 32, 80), std::string(49, ' '));
}

TEST_F(FrameTest, SetterUnderAnotherWindowsFocusLeavesItsConsoleState)
{
    FrameWin frame(&screen);
    PlWin other(PlRect(10, 5, 30, 8));
    other.show();
    textattr(0x1E);
    gotoxy(3, 2);
    frame.setstatus("[STOPPING]");
    EXPECT_EQ(row_text(H, 70, 79), "[STOPPING]");
    EXPECT_EQ(cell_at(75, H).attr, bar_attr);
    EXPECT_EQ(std::make_pair(ti.curx, ti.cury), std::make_pair(1, 1)) << "the console's own record";
    EXPECT_EQ(console_state(), "(10,5)-(30,8) attr 1e cursor 1,1");
    // Output goes on where the window expects it.
    putch('Z');
    EXPECT_EQ(cell_at(10, 5).ch, 'Z');
    EXPECT_EQ(cell_at(10, 5).attr, 0x1E);
}

TEST_F(FrameTest, ControlBytesInABarTextNeitherMoveNorBreakIt)
{
    FrameWin frame(&screen);
    frame.settitle("a\r\nb\x1b[2Jc");
    EXPECT_EQ(row_text(1, 2, 10), "a  b [2Jc");
    EXPECT_EQ(row_attrs(1), std::string(W, char(bar_attr)));
    EXPECT_EQ(cell_at(2, 2).ch, GLYPH_CHECKER);
}

TEST_F(FrameTest, BarsWithNoRoomForTextDrawNothing)
{
    FrameWin frame(&screen);
    for (int width : {1, 2, 3}) {
        PlWin bar(PlRect(5, 10, 4 + width, 10));
        bar.show();
        textattr(bar_attr);
        clreol();
        bar.unfocus();
        frame.drawbar(bar, "left", "right");
        const std::string row = row_text(10, 5, 4 + width);
        if (width == 3)
            EXPECT_EQ(row, " r ");   // w = 1: the right text's first character
        else
            EXPECT_EQ(row, std::string(size_t(width), ' '));
        EXPECT_EQ(cell_at(5 + width, 10).ch, GLYPH_CHECKER);
    }
}

TEST_F(FrameTest, DestructionLeavesOnlyBackdropAndShowsTheCursor)
{
    {
        FrameWin frame(&screen);
        frame.settitle("title");
        frame.setversion("version");
        frame.sethelp("help");
        frame.setstatus("status");
        EXPECT_EQ(screen.getcursortype(), 0);
    }
    EXPECT_EQ(screen.getcursortype(), 1);
    for (int y = 1; y <= H; y++)
        for (int x = 1; x <= W; x++) {
            ASSERT_EQ(cell_at(x, y).ch, GLYPH_CHECKER) << x << "," << y;
            ASSERT_EQ(cell_at(x, y).attr, backdrop_attr) << x << "," << y;
        }
}

} // namespace
