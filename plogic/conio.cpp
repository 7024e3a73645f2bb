// The console layer's drawing half: a window, a cursor and an attribute over
// the screen's drawing grid. Nothing here writes to the terminal.
//
// The layer never stops the program over where something is drawn: windows
// laid out for a large terminal may not fit a small one, so output outside
// the window and cells off the screen are dropped instead.
#include "conio.h"

#include <algorithm>
#include <cassert>
#include <cstdarg>
#include <cstdio>

#include "marked.h"
#include "palette.h"
#include "plscreen.h"

text_info ti;

namespace {

// When the console cursor is off the screen, the screen's cursor is parked on
// the nearest cell. Remembering where lets gettextinfo keep the console's own
// position instead of reading back the parked one.
bool parked = false;
int parkx = 0, parky = 0;

bool on_screen(int x, int y)
{
    return x >= 0 && y >= 0 && x < screen.getxsize() && y < screen.getysize();
}

int window_width() { return ti.winright - ti.winleft + 1; }
int window_height() { return ti.winbottom - ti.wintop + 1; }

} // namespace

void gettextinfo(text_info *r)
{
    ti.screenwidth = screen.getxsize();
    ti.screenheight = screen.getysize();
    if (ti.wintop == 0) {
        ti.winleft = ti.wintop = 1;
        ti.winright = ti.screenwidth;
        ti.winbottom = ti.screenheight;
        ti.attribute = ATTR_DEFAULT;
    }
    if (!(parked && screen.getcurx() == parkx && screen.getcury() == parky)) {
        ti.curx = screen.getcurx() + 2 - ti.winleft;
        ti.cury = screen.getcury() + 2 - ti.wintop;
    }
    if (r)
        *r = ti;
}

void window(int left, int top, int right, int bottom)
{
    ti.winleft = left;
    ti.wintop = top;
    ti.winright = right;
    ti.winbottom = bottom;
    ti.curx = ti.cury = 1;
    abs_gotoxy(left, top);
}

void textcolor(int c) { ti.attribute.setfg(c); }
void textbackground(int c) { ti.attribute.setbg(c); }
void textattr(int a) { ti.attribute = PlAttr(a); }

void abs_gotoxy(int x, int y)
{
    const int sx = x - 1, sy = y - 1;
    parked = !on_screen(sx, sy);
    if (parked) {
        parkx = std::clamp(sx, 0, screen.getxsize() - 1);
        parky = std::clamp(sy, 0, screen.getysize() - 1);
        screen.gotoxy(parkx, parky);
    } else {
        screen.gotoxy(sx, sy);
    }
    ti.curx = x - ti.winleft + 1;
    ti.cury = y - ti.wintop + 1;
}

void gotoxy(int x, int y)
{
    abs_gotoxy(x + ti.winleft - 1, y + ti.wintop - 1);
    assert(ti.curx == x);
    assert(ti.cury == y);
}

void putch(int c)
{
    if (ti.wintop == 0)
        gettextinfo(nullptr);
    const int xsize = window_width();
    const int ysize = window_height();

    if (c == 13) {
        ti.curx = 1;
    } else if (c == 10) {
        // No scrolling: a line feed on the last row stays there and the
        // row is written again.
        if (ti.cury < ysize)
            ti.cury++;
    } else {
        // Just right of the window wraps to the next row, but only where
        // that spot is on the screen.
        if (ti.curx == xsize + 1 && ti.cury >= 1 && ti.cury <= ysize && ti.winright < screen.getxsize()) {
            ti.curx = 1;
            if (++ti.cury > ysize)
                ti.cury = ysize;
        }
        if (ti.curx > xsize || ti.cury < 1 || ti.cury > ysize)
            return;
        if (ti.curx >= 1) {
            assert(ti.curx >= 1 && ti.curx <= xsize+1);
            assert(ti.cury >= 1 && ti.cury <= ysize);
            const int x = ti.winleft + ti.curx - 2;
            const int y = ti.wintop + ti.cury - 2;
            if (on_screen(x, y))
                *screen.cell(x, y) = PlCell(c & 0xff, ti.attribute);
        }
        ti.curx++;
    }
    gotoxy(std::min(ti.curx, xsize), ti.cury);
}

int cprintf(const char *format, ...)
{
    char buf[1024];
    va_list ap;
    va_start(ap, format);
    const int n = vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n <= 0)
        return 0;
    // vsnprintf reports the length it wanted, not what it kept.
    const int len = std::min(n, int(sizeof buf) - 1);
    for (int i = 0; i < len; i++)
        putch(static_cast<unsigned char>(buf[i]));
    return len;
}

void cputs(const char *text)
{
    cprintf("%s", text ? text : "");
}

void cputs(const OxString &text)
{
    for (size_t i = 0; i < text.len(); i++)
        putch(static_cast<unsigned char>(text[i]));
}

void cputs_text(const OxString &text)
{
    for (size_t i = 0; i < text.len(); i++) {
        const auto c = static_cast<unsigned char>(text[i]);
        putch(c < 0x20 ? ' ' : c);
    }
}

OxString blank_controls(const OxString &text, bool keep_markers)
{
    std::string out = text.str();
    for (char &c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && !(keep_markers && is_marker(c)))
            c = ' ';
    }
    return OxString(std::move(out));
}

void clrscr()
{
    gettextinfo(nullptr);
    fillbox(ti.winleft, ti.wintop, ti.winright, ti.winbottom, ' ', ti.attribute.get());
    gotoxy(1, 1);
}

void clreol()
{
    if (ti.cury < 1 || ti.cury > window_height())
        return;
    const int row = ti.wintop + ti.cury - 1;
    fillbox(ti.winleft + std::max(ti.curx, 1) - 1, row, ti.winright, row, ' ', ti.attribute.get());
}

namespace {

// Limits an inclusive 1-based rectangle to the screen; false when nothing is left.
bool clip_to_screen(int &x1, int &y1, int &x2, int &y2)
{
    x1 = std::max(x1, 1);
    y1 = std::max(y1, 1);
    x2 = std::min(x2, screen.getxsize());
    y2 = std::min(y2, screen.getysize());
    return x1 <= x2 && y1 <= y2;
}

} // namespace

void fillbox(int x1, int y1, int x2, int y2, int ch, int attr)
{
    if (!clip_to_screen(x1, y1, x2, y2))
        return;
    const PlCell fill(ch, PlAttr(attr));
    for (int y = y1; y <= y2; y++)
        for (int x = x1; x <= x2; x++)
            *screen.cell(x - 1, y - 1) = fill;
}

void colorbox(int x1, int y1, int x2, int y2, int attr)
{
    if (!clip_to_screen(x1, y1, x2, y2))
        return;
    for (int y = y1; y <= y2; y++)
        for (int x = x1; x <= x2; x++)
            screen.cell(x - 1, y - 1)->setattr(attr);
}

// Every frame is single-line; the style arguments are accepted for the
// callers' sake and do not change the drawing.
void drawframe(int x1, int y1, int x2, int y2, int, int, int, int)
{
    gettextinfo(nullptr);
    const int a = ti.attribute.get();
    fillbox(x1, y1, x2, y1, GLYPH_HLINE, a);
    fillbox(x2, y1, x2, y2, GLYPH_VLINE, a);
    fillbox(x1, y2, x2, y2, GLYPH_HLINE, a);
    fillbox(x1, y1, x1, y2, GLYPH_VLINE, a);
    gotoxy(x1, y1);
    putch(GLYPH_ULCORNER);
    gotoxy(x2, y1);
    putch(GLYPH_URCORNER);
    gotoxy(x2, y2);
    putch(GLYPH_LRCORNER);
    gotoxy(x1, y2);
    putch(GLYPH_LLCORNER);
}
