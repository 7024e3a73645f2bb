// What a person sees: the windows' terminal output rendered by a terminal
// emulator, checked for text, colours and line-drawing glyphs.
#include "msgwin.h"
#include "selwin.h"
#include "wintest.h"

namespace {

using Seen80x25 = WinTest;

// Cells are 1-based here, as in the windows.
bool glyph(const VtScreen &vt, int x, int y, char dec)
{
    return vt.is_glyph(x - 1, y - 1, dec);
}
std::string shown(const VtScreen &vt, int y, int x1, int x2)
{
    std::string s;
    for (int x = x1; x <= x2; x++)
        s += vt.cell(x - 1, y - 1).text;
    return s;
}

TEST_F(Seen80x25, FramedWindowWithTitleAndShadow)
{
    OvlWin w("Main Menu", PlPoint(40, 8), 14, 1, 15, false);
    w.show();
    Seen s;
    const VtScreen &vt = s.vt;
    EXPECT_TRUE(glyph(vt, 21, 9, 'l')) << vt.dump();
    EXPECT_TRUE(glyph(vt, 60, 9, 'k'));
    EXPECT_TRUE(glyph(vt, 60, 16, 'j'));
    EXPECT_TRUE(glyph(vt, 21, 16, 'm'));
    EXPECT_TRUE(glyph(vt, 34, 9, 'q'));
    EXPECT_TRUE(glyph(vt, 46, 9, 'q'));
    EXPECT_TRUE(glyph(vt, 21, 12, 'x'));
    EXPECT_TRUE(glyph(vt, 60, 12, 'x'));
    EXPECT_EQ(shown(vt, 9, 35, 45), " Main Menu ");
    expect_shown_attr(vt, 36, 9, 0x1F, "title");
    expect_shown_attr(vt, 21, 9, 0x1F, "frame");
    expect_shown_attr(vt, 30, 12, 0x1E, "client area");
    EXPECT_EQ(shown(vt, 12, 22, 59), std::string(38, ' '));
    // The shadow: the backdrop's letters, dark grey on black.
    const std::string under_shadow = {backdrop_char(61, 10), backdrop_char(62, 10)};
    EXPECT_EQ(shown(vt, 10, 61, 62), under_shadow);
    expect_shown_attr(vt, 61, 10, 0x08, "right shadow");
    expect_shown_attr(vt, 40, 17, 0x08, "bottom shadow");
    expect_shown_attr(vt, 22, 17, 0x07, "left of the bottom shadow");
    expect_shown_attr(vt, 61, 9, 0x07, "above the right shadow");
}

TEST_F(Seen80x25, SelectionListWithScrollMarksAndHighlight)
{
    selcolors.fg = 14;
    selcolors.bg = 1;
    selcolors.selfg = 0;
    selcolors.selbg = 6;
    SelectionWin w("Details", PlPoint(40, 8), false);
    for (int i = 0; i < 12; i++)
        w.append(OxString("result line %s", i));
    w.show();
    w.handlekey(KEY_DOWN);
    w.handlekey(KEY_DOWN);
    Seen s;
    const VtScreen &vt = s.vt;
    EXPECT_EQ(shown(vt, 10, 22, 35), " result line 0") << vt.dump();
    EXPECT_EQ(shown(vt, 12, 22, 35), " result line 2");
    EXPECT_EQ(shown(vt, 15, 22, 35), " result line 5");
    expect_shown_attr(vt, 22, 10, 0x1E, "item");
    expect_shown_attr(vt, 59, 10, 0x1E, "end of an item row");
    expect_shown_attr(vt, 22, 12, 0x60, "highlight");
    expect_shown_attr(vt, 59, 12, 0x60, "end of the highlight bar");
    EXPECT_EQ(shown(vt, 9, 36, 44), " Details ");
    EXPECT_TRUE(glyph(vt, 60, 10, '`'));
    EXPECT_TRUE(glyph(vt, 60, 15, '`'));
    for (int y = 11; y <= 14; y++) {
        EXPECT_TRUE(glyph(vt, 60, y, 'a')) << "row " << y;
        expect_shown_attr(vt, 60, y, 0x1C, "scroll mark");
    }
    EXPECT_TRUE(glyph(vt, 60, 9, 'k'));
    EXPECT_TRUE(glyph(vt, 60, 16, 'j'));
}

TEST_F(Seen80x25, MessageDialogOverAnotherWindow)
{
    OvlWin panel("Summary", PlRect(3, 3, 76, 22), 14, 1, 15, true);
    panel.show();
    for (int i = 1; i <= 18; i++) {
        gotoxy(1, i);
        cputs(OxString("panel row %s ............................................................", i));
    }
    panel.unfocus();
    {
        MsgWin m("Really quit? (y/n)", "Quit");
        m.show();
        Seen s;
        const VtScreen &vt = s.vt;
        EXPECT_EQ(shown(vt, 13, 31, 50), " Really quit? (y/n) ") << vt.dump();
        expect_shown_attr(vt, 35, 13, 0x3E, "dialog text");
        EXPECT_TRUE(glyph(vt, 30, 12, 'l'));
        EXPECT_TRUE(glyph(vt, 51, 14, 'j'));
        expect_shown_attr(vt, 30, 12, 0x3F, "dialog frame");
        EXPECT_EQ(shown(vt, 12, 38, 43), " Quit ");
        // Beside and under the dialog the panel shows through; its shadow darkens the panel text.
        EXPECT_EQ(shown(vt, 13, 4, 16), "panel row 10 ");
        expect_shown_attr(vt, 4, 13, 0x1E, "panel");
        EXPECT_EQ(shown(vt, 15, 32, 33), "..");
        expect_shown_attr(vt, 32, 15, 0x08, "dialog shadow over the panel");
    }
    Seen after;
    EXPECT_EQ(shown(after.vt, 13, 4, 60), std::string("panel row 10 ") + std::string(44, '.'));
    expect_shown_attr(after.vt, 32, 15, 0x1E, "panel after the dialog went");
}

} // namespace
