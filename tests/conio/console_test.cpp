// The console drawing layer on an 80x25 screen: window, cursor, output,
// clearing and rectangles, cell by cell.
#include <gtest/gtest.h>

#include <string>

#include "conhelpers.h"
#include "grid.h"

namespace {

class Console : public ::testing::Test {
protected:
    void SetUp() override { reset_console(); }
    // A screen full of 'x' in grey, and a window at (10,5)-(30,8) drawing in `attr`.
    static void window_over_xs(int attr)
    {
        fillbox(1, 1, 80, 25, 'x', 0x07);
        window(10, 5, 30, 8);
        textattr(attr);
    }
};

TEST_F(Console, GettextinfoBeforeAnyWindowGivesTheWholeScreen)
{
    screen.gotoxy(4, 2);
    // The cursor is read back from the screen.
    EXPECT_EQ(console_state(), "(1,1)-(80,25) attr 07 cursor 5,3");
    EXPECT_EQ(ti.curx, 5);
    EXPECT_EQ(textinfo().screenwidth, 80);
    EXPECT_EQ(textinfo().screenheight, 25);
}

TEST_F(Console, WindowBeforeGettextinfoLeavesAttributeZero)
{
    window(10, 5, 30, 8);
    EXPECT_EQ(ti.attribute.get(), 0);
    EXPECT_EQ(console_state(), "(10,5)-(30,8) attr 00 cursor 1,1");
}

TEST_F(Console, WindowAndGotoxyMoveTheScreenCursor)
{
    window(10, 5, 30, 8);
    EXPECT_EQ(screen.getcurx(), 9);
    EXPECT_EQ(screen.getcury(), 4);
    gotoxy(3, 2);
    EXPECT_EQ(screen.getcurx(), 11);
    EXPECT_EQ(screen.getcury(), 5);
    gotoxy(1, 1);
    EXPECT_EQ(screen.getcurx(), 9);
    EXPECT_EQ(screen.getcury(), 4);
    // Outside the window but on the screen is allowed.
    gotoxy(25, 1);
    EXPECT_EQ(ti.curx, 25);
    EXPECT_EQ(screen.getcurx(), 33);
    abs_gotoxy(1, 1);
    EXPECT_EQ(ti.curx, -8);
    EXPECT_EQ(ti.cury, -3);
    EXPECT_EQ(screen.getcurx(), 0);
}

TEST_F(Console, ColoursSetTheirNibbles)
{
    gettextinfo(nullptr);
    textbackground(9);
    EXPECT_EQ(ti.attribute.get(), 0x97);
    textcolor(14);
    EXPECT_EQ(ti.attribute.get(), 0x9e);
    textcolor(0x31);
    EXPECT_EQ(ti.attribute.get(), 0x91);
    textattr(0x1e);
    EXPECT_EQ(ti.attribute.get(), 0x1e);
}

TEST_F(Console, PutchWritesCellAndAdvances)
{
    window(10, 5, 30, 8);
    textattr(0x1e);
    putch('Q');
    EXPECT_EQ(cellat(9, 4).ch, 'Q');
    EXPECT_EQ(cellat(9, 4).attr, 0x1e);
    EXPECT_EQ(ti.curx, 2);
    EXPECT_EQ(screen.getcurx(), 10);
}

TEST_F(Console, PutchAtLastColumnStaysThere)
{
    window(10, 5, 30, 8);   // W = 21
    gotoxy(21, 1);
    putch('A');
    EXPECT_EQ(cellat(29, 4).ch, 'A');
    EXPECT_EQ(ti.curx, 21);
    EXPECT_EQ(screen.getcurx(), 29);
    putch('B');
    EXPECT_EQ(cellat(29, 4).ch, 'B');
    EXPECT_EQ(cellat(30, 4).ch, 0);
    EXPECT_EQ(cellat(9, 5).ch, 0);
    EXPECT_EQ(ti.cury, 1);
}

TEST_F(Console, CarriageReturnAndLineFeed)
{
    window(10, 5, 30, 8);
    gotoxy(5, 2);
    putch(13);
    putch(10);
    EXPECT_EQ(ti.curx, 1);
    EXPECT_EQ(ti.cury, 3);
    EXPECT_EQ(screen.getcurx(), 9);
    EXPECT_EQ(screen.getcury(), 6);
    gotoxy(5, 2);
    putch(10);
    EXPECT_EQ(ti.curx, 5);
    EXPECT_EQ(ti.cury, 3);
    // Neither writes a cell.
    for (int x = 0; x < 80; x++)
        for (int y = 0; y < 25; y++)
            ASSERT_EQ(cellat(x, y).ch, 0);
}

TEST_F(Console, CursorJustRightOfWindowWrapsToNextRow)
{
    window(10, 5, 30, 8);
    gotoxy(22, 2);
    putch('x');
    EXPECT_EQ(cellat(9, 6).ch, 'x');   // window position (1, 3)
    EXPECT_EQ(ti.curx, 2);
    EXPECT_EQ(ti.cury, 3);
    EXPECT_EQ(cellat(30, 5).ch, 0);
}

TEST_F(Console, WrapOnLastRowRewritesThatRow)
{
    window(10, 5, 30, 8);
    gotoxy(22, 4);
    putch('y');
    EXPECT_EQ(cellat(9, 7).ch, 'y');
    EXPECT_EQ(ti.cury, 4);
}

TEST_F(Console, ControlCodesTakeACell)
{
    window(1, 1, 80, 25);
    putch(9);
    putch(0);
    putch(0x1b);
    EXPECT_EQ(cellat(0, 0).ch, 9);
    EXPECT_EQ(cellat(1, 0).ch, 0);
    EXPECT_EQ(cellat(2, 0).ch, 0x1b);
    EXPECT_EQ(ti.curx, 4);
    putch(0x1E9);   // only the low byte is kept
    EXPECT_EQ(cellat(3, 0).ch, 0xe9);
}

TEST_F(Console, CprintfFormatsAndStopsAtItsBuffer)
{
    window(1, 1, 80, 25);
    textattr(0x07);
    EXPECT_EQ(cprintf("%d-%s", 42, "ok"), 5);
    EXPECT_EQ(rowtext(0, 0, 5), "42-ok");

    reset_console();
    window(1, 1, 80, 25);
    std::string big;
    for (int i = 0; i < 2000; i++)
        big += char('A' + i % 26);
    EXPECT_EQ(cprintf("%s", big.c_str()), 1023);
    // No wrap at the edge: the last column holds the last character sent,
    // which is the 1023rd.
    EXPECT_EQ(rowtext(0, 0, 79), big.substr(0, 79));
    EXPECT_EQ(cellat(79, 0).ch, big[1022]);
    EXPECT_EQ(cellat(0, 1).ch, 0);
    EXPECT_EQ(ti.curx, 80);
}

TEST_F(Console, CputsCStringStopsAtNulButOxStringPrintsEveryByte)
{
    window(1, 1, 80, 25);
    cputs("ab");
    cputs(static_cast<const char *>(nullptr));
    EXPECT_EQ(ti.curx, 3);
    gotoxy(1, 2);
    cputs(OxString(std::string("a\0b", 3)));
    EXPECT_EQ(cellat(0, 1).ch, 'a');
    EXPECT_EQ(cellat(1, 1).ch, 0);
    EXPECT_EQ(cellat(2, 1).ch, 'b');
    gotoxy(1, 3);
    cputs(OxString("x\r\ny"));   // the program's own line ends keep their meaning
    EXPECT_EQ(cellat(0, 2).ch, 'x');
    EXPECT_EQ(cellat(0, 3).ch, 'y');
}

TEST_F(Console, HelperTextNeverMovesTheCursorByItsControls)
{
    window(1, 1, 80, 25);
    gotoxy(3, 2);
    cputs_text(OxString(std::string("a\r\nb\x1b[2J\x07\x08\0z", 12)));
    EXPECT_EQ(rowtext(2, 1, 12), std::string("a  b [2J   z"));
    EXPECT_EQ(ti.cury, 2);
    EXPECT_EQ(ti.curx, 15);
    for (int x = 0; x < 80; x++)
        EXPECT_EQ(cellat(x, 2).ch, 0);
}

TEST_F(Console, BlankControls)
{
    const OxString in(std::string("a\tb\x07" "c\x08" "d\r\n\x1b\0\x1f\x20\x7f\xe9", 15));
    EXPECT_EQ(blank_controls(in, false).str(), std::string("a b c d      \x7f\xe9", 15));
    EXPECT_EQ(blank_controls(in, true).str(), std::string("a b\x07" "c\x08" "d      \x7f\xe9", 15));
    EXPECT_EQ(blank_controls(OxString(""), true).str(), "");
}

TEST_F(Console, ClrscrFillsTheWindowAndHomesTheCursor)
{
    window_over_xs(0x1e);
    gotoxy(4, 3);
    clrscr();
    for (int y = 3; y <= 8; y++)
        for (int x = 8; x <= 30; x++) {
            const bool inside = x >= 9 && x <= 29 && y >= 4 && y <= 7;
            EXPECT_EQ(cellat(x, y).ch, inside ? ' ' : 'x') << x << "," << y;
            EXPECT_EQ(cellat(x, y).attr, inside ? 0x1e : 0x07) << x << "," << y;
        }
    EXPECT_EQ(ti.curx, 1);
    EXPECT_EQ(ti.cury, 1);
    EXPECT_EQ(screen.getcurx(), 9);
    EXPECT_EQ(screen.getcury(), 4);
}

TEST_F(Console, ClrscrBeforeAnyWindowClearsTheScreenInGrey)
{
    clrscr();
    EXPECT_EQ(cellat(0, 0).ch, ' ');
    EXPECT_EQ(cellat(79, 24).ch, ' ');
    EXPECT_EQ(cellat(79, 24).attr, 0x07);
}

TEST_F(Console, ClreolFillsToTheWindowsRightEdge)
{
    window_over_xs(0x2f);
    gotoxy(5, 2);
    clreol();
    EXPECT_EQ(cellat(12, 5).ch, 'x');   // column 13
    for (int x = 13; x <= 29; x++) {    // columns 14 to 30
        EXPECT_EQ(cellat(x, 5).ch, ' ');
        EXPECT_EQ(cellat(x, 5).attr, 0x2f);
    }
    EXPECT_EQ(cellat(30, 5).ch, 'x');
    EXPECT_EQ(cellat(20, 4).ch, 'x');
    EXPECT_EQ(cellat(20, 6).ch, 'x');
    EXPECT_EQ(ti.curx, 5);
    EXPECT_EQ(ti.cury, 2);
}

TEST_F(Console, FillboxIgnoresTheWindowAndEmptyRanges)
{
    window(10, 5, 30, 8);
    fillbox(5, 1, 4, 1, '#', 0x07);
    fillbox(1, 3, 2, 2, '#', 0x07);
    for (int x = 0; x < 80; x++)
        for (int y = 0; y < 25; y++)
            ASSERT_EQ(cellat(x, y).ch, 0);
    fillbox(2, 2, 3, 3, '#', 0x4f);
    EXPECT_EQ(rowtext(0, 1, 4), std::string("\0##\0", 4));
    EXPECT_EQ(rowtext(0, 2, 4), std::string("\0##\0", 4));
    EXPECT_EQ(cellat(2, 2).attr, 0x4f);
    EXPECT_EQ(ti.curx, 1);
}

TEST_F(Console, ColorboxKeepsCharacters)
{
    fillbox(1, 1, 10, 3, 'k', 0x07);
    colorbox(2, 2, 20, 2, 0x08);
    EXPECT_EQ(cellat(1, 1).ch, 'k');
    EXPECT_EQ(cellat(1, 1).attr, 0x08);
    EXPECT_EQ(cellat(15, 1).ch, 0);
    EXPECT_EQ(cellat(15, 1).attr, 0x08);
    EXPECT_EQ(cellat(0, 1).attr, 0x07);
    EXPECT_EQ(cellat(1, 0).attr, 0x07);
}

TEST_F(Console, DrawframeOnTheFullScreenWindow)
{
    gettextinfo(nullptr);
    textattr(0x4f);
    drawframe(1, 1, 10, 5, 1, 1, 1, 1);
    EXPECT_EQ(cellat(0, 0).ch, GLYPH_ULCORNER);
    for (int x = 1; x <= 8; x++) {
        EXPECT_EQ(cellat(x, 0).ch, GLYPH_HLINE);
        EXPECT_EQ(cellat(x, 4).ch, GLYPH_HLINE);
    }
    EXPECT_EQ(cellat(9, 0).ch, GLYPH_URCORNER);
    for (int y = 1; y <= 3; y++) {
        EXPECT_EQ(cellat(0, y).ch, GLYPH_VLINE);
        EXPECT_EQ(cellat(9, y).ch, GLYPH_VLINE);
        for (int x = 1; x <= 8; x++)
            EXPECT_EQ(cellat(x, y).ch, 0);
    }
    EXPECT_EQ(cellat(0, 4).ch, GLYPH_LLCORNER);
    EXPECT_EQ(cellat(9, 4).ch, GLYPH_LRCORNER);
    EXPECT_EQ(cellat(10, 0).ch, 0);
    EXPECT_EQ(cellat(0, 5).ch, 0);
    for (int y = 0; y < 5; y++)
        EXPECT_EQ(cellat(0, y).attr, 0x4f);
}

TEST_F(Console, DrawframeFirstSetsTheDefaultWindow)
{
    drawframe(3, 3, 6, 6, 2, 2, 2, 2);
    EXPECT_EQ(cellat(2, 2).ch, GLYPH_ULCORNER);
    EXPECT_EQ(cellat(5, 5).ch, GLYPH_LRCORNER);
    EXPECT_EQ(cellat(3, 2).attr, 0x07);
}

} // namespace
