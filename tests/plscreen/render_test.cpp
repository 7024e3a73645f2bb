// What the operator sees: refresh output rendered by a terminal emulator.
#include <gtest/gtest.h>

#include "testterm.h"
#include "vtscreen.h"

namespace {

void put(PlScreen &s, int x, int y, int ch, int attr)
{
    *s.cell(x, y) = PlCell(ch, PlAttr(attr));
}

void puts_at(PlScreen &s, int x, int y, const char *text, int attr)
{
    for (; *text; text++)
        put(s, x++, y, (unsigned char)*text, attr);
}

// A framed box from (x0, y0) to (x1, y1) with a title inside.
void draw_box(PlScreen &s, int x0, int y0, int x1, int y1, int attr)
{
    put(s, x0, y0, GLYPH_ULCORNER, attr);
    put(s, x1, y0, GLYPH_URCORNER, attr);
    put(s, x0, y1, GLYPH_LLCORNER, attr);
    put(s, x1, y1, GLYPH_LRCORNER, attr);
    for (int x = x0 + 1; x < x1; x++) {
        put(s, x, y0, GLYPH_HLINE, attr);
        put(s, x, y1, GLYPH_HLINE, attr);
    }
    for (int y = y0 + 1; y < y1; y++) {
        put(s, x0, y, GLYPH_VLINE, attr);
        put(s, x1, y, GLYPH_VLINE, attr);
        for (int x = x0 + 1; x < x1; x++)
            put(s, x, y, ' ', attr);
    }
}

} // namespace

TEST(Render, FramedBoxAndColouredText)
{
    MemScreen m(false);
    PlScreen &s = *m.scr;
    for (int x = 0; x < 80; x++)
        put(s, x, 0, GLYPH_CHECKER, PlAttr(1, 0, false).get());
    draw_box(s, 10, 3, 30, 7, PlAttr(15, 1, false).get());
    puts_at(s, 12, 4, "Main Menu", PlAttr(14, 1, false).get());
    puts_at(s, 12, 5, "Alert", PlAttr(14, 3, false).get());
    put(s, 12, 6, GLYPH_DIAMOND, PlAttr(12, 1, true).get());
    s.gotoxy(13, 6);

    VtScreen vt(24, 80);
    vt.feed(m.refresh());

    EXPECT_TRUE(vt.is_glyph(10, 3, 'l'));
    EXPECT_TRUE(vt.is_glyph(30, 3, 'k'));
    EXPECT_TRUE(vt.is_glyph(10, 7, 'm'));
    EXPECT_TRUE(vt.is_glyph(30, 7, 'j'));
    for (int x = 11; x < 30; x++) {
        EXPECT_TRUE(vt.is_glyph(x, 3, 'q')) << x;
        EXPECT_TRUE(vt.is_glyph(x, 7, 'q')) << x;
    }
    for (int y = 4; y < 7; y++) {
        EXPECT_TRUE(vt.is_glyph(10, y, 'x')) << y;
        EXPECT_TRUE(vt.is_glyph(30, y, 'x')) << y;
    }
    EXPECT_TRUE(vt.is_glyph(0, 0, 'a'));
    EXPECT_TRUE(vt.is_glyph(79, 0, 'a'));
    EXPECT_TRUE(vt.is_glyph(12, 6, '`'));
    EXPECT_EQ(vt.plain(3).substr(10, 21), "+-------------------+");
    EXPECT_EQ(vt.plain(4).substr(10, 21), "| Main Menu         |");
    int fx, fy;
    ASSERT_TRUE(vt.find("Main Menu", &fx, &fy)) << vt.dump();
    EXPECT_EQ(fx, 12);
    EXPECT_EQ(fy, 4);

    // Console 14 on 1 is bright yellow on blue; 14 on 3 bright yellow on red;
    // the frame 15 on 1 bright white on blue; the checkerboard blue on black.
    VtCell t = vt.cell(12, 4);
    EXPECT_EQ(t.fg, 3);
    EXPECT_EQ(t.bg, 4);
    EXPECT_TRUE(t.bold);
    EXPECT_FALSE(t.blink);
    VtCell a = vt.cell(12, 5);
    EXPECT_EQ(a.fg, 3);
    EXPECT_EQ(a.bg, 1);
    VtCell f = vt.cell(10, 3);
    EXPECT_EQ(f.fg, 7);
    EXPECT_EQ(f.bg, 4);
    EXPECT_TRUE(f.bold);
    VtCell b = vt.cell(40, 0);
    EXPECT_EQ(b.fg, 4);
    EXPECT_EQ(b.bg, 0);
    EXPECT_FALSE(b.bold);
    VtCell d = vt.cell(12, 6);
    EXPECT_EQ(d.fg, 6);    // console 12 is bright colour 4, shown as cyan
    EXPECT_TRUE(d.bold);
    EXPECT_TRUE(d.blink);

    EXPECT_EQ(vt.cursor_x(), 13);
    EXPECT_EQ(vt.cursor_y(), 6);
    EXPECT_TRUE(vt.cursor_visible());
    s.setcursortype(0);
    put(s, 0, 23, 'z', 7);
    vt.feed(m.refresh());
    EXPECT_FALSE(vt.cursor_visible());
    // Text after the box is plain ASCII again: the shift state was put back.
    EXPECT_EQ(vt.cell(0, 23).text, "z");
}

TEST(Render, DifferenceUpdatesKeepTheTerminalInStep)
{
    MemScreen m(false);
    PlScreen &s = *m.scr;
    VtScreen vt(24, 80);
    draw_box(s, 0, 0, 79, 23, 0x1F);
    vt.feed(m.refresh());
    // Overwrite part of the frame and some text; the emulator must match the grid.
    puts_at(s, 40, 0, "Title", 0x40);
    put(s, 79, 12, 'R', 0x07);
    put(s, 0, 13, 'L', 0x07);
    puts_at(s, 5, 10, "hello", 0x4E);
    vt.feed(m.refresh());
    EXPECT_TRUE(vt.find("Title"));
    EXPECT_TRUE(vt.is_glyph(39, 0, 'q'));
    EXPECT_TRUE(vt.is_glyph(45, 0, 'q'));
    EXPECT_EQ(vt.cell(79, 12).text, "R");
    EXPECT_EQ(vt.cell(0, 13).text, "L");
    EXPECT_TRUE(vt.is_glyph(0, 12, 'x'));
    EXPECT_TRUE(vt.is_glyph(79, 13, 'x'));
    EXPECT_EQ(vt.cell(5, 10).fg, 3);     // console 14 -> yellow, bright
    EXPECT_EQ(vt.cell(5, 10).bg, 6);     // console 4 -> cyan
}

TEST(Render, EveryCellValueShowsAsPrintableOrGlyph)
{
    MemScreen m(false);
    for (int c = 0; c < 256; c++)
        put(*m.scr, c % 64, c / 64, c, 0x07);
    VtScreen vt(24, 80);
    vt.feed(m.refresh());
    for (int c = 0; c < 256; c++) {
        int x = c % 64, y = c / 64;
        VtCell cell = vt.cell(x, y);
        int low = c & 0x7F;
        bool blank = c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0xFF;
        if (blank)
            EXPECT_EQ(cell.text, " ") << "cell " << c;
        else if (c < 0x80 || low < 0x5F)
            EXPECT_EQ(cell.text, std::string(1, char(low))) << "cell " << c;
        else
            EXPECT_EQ(cell.cp, VtScreen::glyph_codepoint(char(low))) << "cell " << c;
    }
    // Nothing was moved by a stray control: the rows below are untouched.
    EXPECT_EQ(vt.text(5), std::string(80, ' '));
    EXPECT_EQ(vt.cursor_x(), 0);
    EXPECT_EQ(vt.cursor_y(), 0);
}

TEST(Render, TheBinarysScreenDrawsOnItsPty)
{
    PlScreen &s = screen;
    EXPECT_EQ(s.getxsize(), test_pty().cols());
    EXPECT_EQ(s.getysize(), test_pty().rows());
    VtScreen vt(s.getysize(), s.getxsize());
    s.refresh(true);
    puts_at(s, 3, 2, "on the pty", 0x1E);
    put(s, 2, 2, GLYPH_VLINE, 0x1E);
    s.refresh();
    ASSERT_TRUE(test_pty().wait_for_bytes("on the pty") && test_pty().wait_quiet());
    vt.feed(test_pty().take_output());
    ASSERT_TRUE(vt.find("on the pty")) << vt.dump();
    EXPECT_TRUE(vt.is_glyph(2, 2, 'x'));
    EXPECT_EQ(vt.cell(3, 2).bg, 4);
}
