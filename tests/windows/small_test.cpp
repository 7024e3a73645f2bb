// Windows laid out for a full-size console on a 20 x 8 terminal: nothing may
// stop the program, and every window still gives back what it covered.
#include "msgwin.h"
#include "selwin.h"
#include "testterm.h"
#include "wintest.h"

namespace {

using Small = WinTest;

TEST_F(Small, GeometryIsClampedToTheSmallScreen)
{
    PlRect r = PlRect::centred(PlPoint(40, 8));
    EXPECT_EQ(r.tl.x, 1);
    EXPECT_EQ(r.br.x, 20);
    EXPECT_EQ(r.tl.y, 1);
    EXPECT_EQ(r.br.y, 8);
    PlRect q = PlRect::centred(PlPoint(22, 3));
    EXPECT_EQ(q.width(), 20);
    EXPECT_EQ(q.tl.y, 3);
}

TEST_F(Small, DialogTooBigForTheScreenIsCutToItsClientArea)
{
    GridShot before = GridShot::take();
    {
        std::string longest(51, 'L');
        MsgWin m(OxString("line one\r\n%s\r\nthree\r\nfour\r\nfive\r\nsix\r\nseven", longest), "A long title here");
        winstyle.explode = 1;
        m.show();
        PlRect f = m.framerect();
        EXPECT_EQ(corners(f), "(1,1)-(18,7)");
        EXPECT_EQ(row_text(2, 2, 17), " line one       ");
        EXPECT_EQ(row_text(3, 2, 17), " LLLLLLLLLLLLLLL");
        EXPECT_EQ(row_text(6, 2, 7), " five ");
        // The bottom border and the right border are whole: no line fed below
        // the client area, no character past its right edge.
        EXPECT_EQ(cell_at(1, 7).ch, GLYPH_LLCORNER);
        for (int x = 2; x <= 17; x++)
            EXPECT_EQ(cell_at(x, 7).ch, GLYPH_HLINE) << "bottom border, column " << x;
        EXPECT_EQ(cell_at(18, 7).ch, GLYPH_LRCORNER);
        for (int y = 2; y <= 6; y++)
            EXPECT_EQ(cell_at(18, y).ch, GLYPH_VLINE) << "right border, row " << y;
        // The title is cut to the border's room (14 of 18 columns).
        EXPECT_EQ(cell_at(1, 1).ch, GLYPH_ULCORNER);
        EXPECT_EQ(cell_at(18, 1).ch, GLYPH_URCORNER);
        EXPECT_EQ(row_text(1, 2, 17), " A long title h ");
        EXPECT_EQ(cell_at(20, 8).attr, 0x08);
        m.unfocus();
        m.focus();
        // Seeing it on the terminal does not stop the program either.
        Seen s;
        EXPECT_TRUE(s.vt.is_glyph(0, 6, 'm')) << s.vt.dump();
    }
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == before) << diff_cells(before, after);
}

TEST_F(Small, QuitDialogFitsAndAnswers)
{
    MsgWin m("Really quit? (y/n)", "Quit");
    PlRect f = m.framerect();
    EXPECT_EQ(f.width(), 18) << "the screen's width less the shadow's margin";
    test_pty().write_keys("n");
    EXPECT_EQ(m.waitkey("yn\x1b"), 'n');
    EXPECT_EQ(row_text(f.tl.y + 1, 2, 17), " Really quit? (y") << "cut, with the spare column kept";
    EXPECT_EQ(cell_at(18, f.tl.y + 1).ch, GLYPH_VLINE);
}

TEST_F(Small, MenuListOnASmallScreenScrollsThroughAllItems)
{
    GridShot before = GridShot::take();
    {
        SelectionWin w("Main Menu", PlPoint(40, 8), false);
        for (int i = 0; i < 6; i++)
            w.append(OxString("Menu entry number %s", i));
        w.show();
        PlRect f = w.framerect();
        EXPECT_EQ(f.height(), 7);
        for (int i = 0; i < 10; i++)
            w.handlekey(KEY_DOWN);
        EXPECT_EQ(w.current(), 5);
        EXPECT_EQ(w.gettop(), 1);
        EXPECT_EQ(w.choicestr(w.current()), OxString("Menu entry number 5"));
        w.handlekey(KEY_PGUP);
        w.handlekey(KEY_HOME);
        EXPECT_EQ(w.current(), 0);
    }
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == before) << diff_cells(before, after);
}

// Frames of height 1 and 2 have no client rows.
TEST_F(Small, ListsWithoutClientRowsNeitherStopNorLoop)
{
    GridShot before = GridShot::take();
    for (int h = 1; h <= 3; h++)
        for (int wdt = 1; wdt <= 4; wdt++) {
            SCOPED_TRACE("frame " + std::to_string(wdt) + "x" + std::to_string(h));
            SelectionWin w("Log", PlRect(3, 3, 3 + wdt - 1, 3 + h - 1), false);
            w.show();
            for (int key : {KEY_DOWN, KEY_UP, KEY_PGDN, KEY_PGUP, KEY_END, KEY_HOME})
                EXPECT_EQ(w.handlekey(key), 0) << "empty list";
            w.setcur(5);
            for (int i = 0; i < 5; i++)
                w.append(OxString("entry %s", i));
            w.setcur(10);
            EXPECT_EQ(w.current(), 4);
            w.append("one more");
            EXPECT_EQ(w.current(), 5) << "follows the end";
            for (int key : {KEY_PGUP, KEY_PGUP, KEY_UP, KEY_HOME, KEY_PGDN, KEY_PGDN, KEY_DOWN, KEY_END})
                w.handlekey(key);
            EXPECT_EQ(w.current(), 5);
            EXPECT_GE(w.gettop(), 0);
            EXPECT_LE(w.gettop(), w.current());
        }
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == before) << diff_cells(before, after);
}

TEST_F(Small, EmptyTextDialogOnASmallScreen)
{
    MsgWin m("", "");
    m.show();
    EXPECT_TRUE(m.isvisible());
}

} // namespace
