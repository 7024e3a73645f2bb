// The message window: sizing to its text, line splitting and drawing.
#include "msgwin.h"
#include "selwin.h"
#include "wintest.h"

namespace {

using MsgWinTest = WinTest;

TEST_F(MsgWinTest, LinesEndAtRunsOfCarriageReturnsAndLineFeeds)
{
    EXPECT_EQ(countlines("a\r\nb"), 2);
    EXPECT_EQ(countlines("a\n\nb"), 2);
    EXPECT_EQ(countlines("a\n \nb"), 3);
    EXPECT_EQ(countlines("one line"), 1);
    EXPECT_EQ(countlines(""), 0);
    EXPECT_EQ(countlines("\r\n\r\n"), 0);
    EXPECT_EQ(maxlinelen("ab\r\nabcde\nabc"), 5);
    EXPECT_EQ(maxlinelen(""), 0);
    EXPECT_EQ(maxlinelen("\n\n"), 0);
}

TEST_F(MsgWinTest, QuitDialogGeometryTextTitleAndShadow)
{
    GridShot before = GridShot::take();
    {
        MsgWin m("Really quit? (y/n)", "Quit");
        PlRect f = m.framerect();
        EXPECT_EQ(corners(f), "(30,12)-(51,14)");
        m.show();

        EXPECT_EQ(row_text(13, 31, 50), " Really quit? (y/n) ");
        for (int x = 31; x <= 50; x++)
            EXPECT_EQ(cell_at(x, 13).attr, 0x3E) << "text 14 on 3, column " << x;
        EXPECT_EQ(cell_at(30, 13).ch, GLYPH_VLINE);
        EXPECT_EQ(cell_at(51, 13).ch, GLYPH_VLINE);
        EXPECT_EQ(cell_at(30, 13).attr, 0x3F);

        EXPECT_EQ(cell_at(37, 12).ch, GLYPH_HLINE);
        EXPECT_EQ(row_text(12, 38, 43), " Quit ");
        EXPECT_EQ(cell_at(44, 12).ch, GLYPH_HLINE);
        EXPECT_EQ(cell_at(40, 12).attr, 0x3F);

        for (int y = 11; y <= 16; y++)
            for (int x = 28; x <= 55; x++) {
                if (x >= 30 && x <= 51 && y >= 12 && y <= 14)
                    continue;
                bool shadow = ((x == 52 || x == 53) && y >= 13 && y <= 15) || (y == 15 && x >= 32 && x <= 53);
                EXPECT_EQ(cell_at(x, y).attr, shadow ? 0x08 : 0x07) << "(" << x << "," << y << ")";
                EXPECT_EQ(cell_at(x, y).ch, backdrop_char(x, y));
            }
    }
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == before) << diff_cells(before, after);
}

TEST_F(MsgWinTest, SevenLinesOfUpToFiftyOneCharacters)
{
    std::string longest(51, 'L');
    OxString text = OxString("first\r\n%s\r\nthird\r\n \r\nfifth\nsixth\r\nlast", longest);
    EXPECT_EQ(countlines(text), 7);
    EXPECT_EQ(maxlinelen(text), 51);
    MsgWin m(text, "Note");
    PlRect f = m.framerect();
    EXPECT_EQ(corners(f), "(13,9)-(67,17)");
    m.show();
    EXPECT_EQ(row_text(10, 14, 20), " first ");
    EXPECT_EQ(row_text(11, 14, 66), " " + longest + " ");
    EXPECT_EQ(row_text(12, 14, 20), " third ");
    EXPECT_EQ(row_text(13, 14, 20), "       ") << "a line of one blank";
    EXPECT_EQ(row_text(14, 14, 20), " fifth ");
    EXPECT_EQ(row_text(15, 14, 20), " sixth ");
    EXPECT_EQ(row_text(16, 14, 20), " last  ");
    EXPECT_EQ(cell_at(13, 17).ch, GLYPH_LLCORNER);
    EXPECT_EQ(row_text(17, 14, 20), std::string(7, char(GLYPH_HLINE))) << "nothing reaches the bottom border";
    // The console cursor stays after the last line: nothing follows it.
    EXPECT_EQ(screen.getcurx(), 18);
    EXPECT_EQ(screen.getcury(), 15);
}

TEST_F(MsgWinTest, DialogOverAListPutsTheListBack)
{
    SelectionWin list("Details", PlRect(5, 3, 70, 20), false);
    for (int i = 0; i < 30; i++)
        list.append(OxString("line %s", i));
    list.show();
    list.unfocus();
    GridShot withlist = GridShot::take();
    {
        MsgWin m("Stop the test?\r\n\r\n \r\n(y/n)", "Stop");
        EXPECT_EQ(countlines("Stop the test?\r\n\r\n \r\n(y/n)"), 3);
        m.show();
        EXPECT_FALSE(GridShot::take() == withlist);
    }
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == withlist) << diff_cells(withlist, after);
}

TEST_F(MsgWinTest, AnEmptyTextGivesAFrameWithoutClientRows)
{
    GridShot before = GridShot::take();
    {
        MsgWin m("\r\n", "Empty");
        PlRect f = m.framerect();
        EXPECT_EQ(f.width(), 4);
        EXPECT_EQ(f.height(), 2);
        m.show();
        EXPECT_EQ(cell_at(f.tl.x, f.tl.y).ch, GLYPH_ULCORNER);
        EXPECT_EQ(cell_at(f.br.x, f.br.y).ch, GLYPH_LRCORNER);
    }
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == before) << diff_cells(before, after);
}

// A message window whose focus bracket is switched off.
class UnfocusedMsg : public MsgWin {
public:
    UnfocusedMsg() : MsgWin("text", "title") { hasfocus = false; }
};

TEST(MsgWinDeath, DrawingWithoutVisibilityOrFocusIsAProgrammingError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            MsgWin m("text", "title");
            m.draw();
        },
        "visible");
    EXPECT_DEATH(
        {
            UnfocusedMsg m;
            m.show();
        },
        "hasfocus");
}

} // namespace
