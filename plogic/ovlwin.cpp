#include "ovlwin.h"

#include <algorithm>
#include <cassert>

#include "conio.h"
#include "palette.h"
#include "plscreen.h"

PlWinStyle winstyle;

// The window rectangle carries two spare columns and one spare row for the
// shadow, so that the cells it darkens are saved and restored with the window.
static PlRect with_shadow_margin(const PlRect &r)
{
    return PlRect(r.tl.x, r.tl.y, r.br.x + 2, r.br.y + 1);
}

OvlWin::OvlWin(const OxString &wintitle, const PlRect &r, int fg, int bg, int frame, bool noshadow)
    : PlWin(with_shadow_margin(r)), framecolor(frame), fgcolor(fg), bgcolor(bg), shadow(!noshadow),
      title(wintitle)
{
}

OvlWin::OvlWin(const OxString &wintitle, const PlPoint &size, int fg, int bg, int frame, bool noshadow)
    : OvlWin(wintitle, PlRect::centred(size), fg, bg, frame, noshadow)
{
}

OvlWin::~OvlWin() = default;

PlRect OvlWin::framerect() const
{
    // A window squeezed by a tiny screen still has a frame of at least one cell.
    return PlRect(rect.tl.x, rect.tl.y, std::max(rect.tl.x, rect.br.x - 2), std::max(rect.tl.y, rect.br.y - 1));
}

// Grows a box from the middle of the frame out to it, one step per pause.
static void explode(const PlRect &f, int attr)
{
    int dx = std::max(0, f.width() / 2 - 1);
    int dy = std::max(0, f.height() / 2 - 1);
    for (;;) {
        fillbox(f.tl.x + dx, f.tl.y + dy, f.br.x - dx, f.br.y - dy, ' ', attr);
        drawframe(f.tl.x + dx, f.tl.y + dy, f.br.x - dx, f.br.y - dy, winstyle.s1, winstyle.s2, winstyle.s3,
                  winstyle.s4);
        if (dx > 2)
            dx -= 3;
        if (dy > 0)
            dy -= 1;
        if (dx > 0 && dx <= 2)
            dx = 0;
        if (dx == 0 && dy == 0)
            break;
        kbwait(10);
    }
}

void OvlWin::draw()
{
    assert(visible);
    bool wasdrawn = drawn;
    PlWin::draw();

    PlRect f = framerect();
    text_info t;
    gettextinfo(&t);
    window(1, 1, t.screenwidth, t.screenheight);
    textcolor(framecolor);
    textbackground(bgcolor);
    int frameattr = (bgcolor & 15) * 16 + (framecolor & 15);

    if (winstyle.explode && !wasdrawn)
        explode(f, frameattr);

    fillbox(f.tl.x, f.tl.y, f.br.x, f.br.y, ' ', frameattr);
    drawframe(f.tl.x, f.tl.y, f.br.x, f.br.y, winstyle.s1, winstyle.s2, winstyle.s3, winstyle.s4);

    if (!!title) {
        // A title too long for the top border is cut so that both corners stay.
        int room = std::max(0, f.width() - 4);
        int n = std::min(int(title.len()), room);
        if (n > 0) {
            gotoxy(f.tl.x - 1 + (f.width() - n) / 2, f.tl.y);
            putch(' ');
            cputs(OxString(title.view().substr(0, size_t(n))));
            putch(' ');
        }
    }

    if (shadow) {
        PlPoint s(f.br.x + 2, f.br.y + 1);
        if (f.br.x < s.x)
            colorbox(f.br.x + 1, f.tl.y + 1, s.x, s.y, ATTR_SHADOW.get());
        if (f.br.y < s.y)
            colorbox(f.tl.x + 2, f.br.y + 1, s.x, s.y, ATTR_SHADOW.get());
    }

    textcolor(fgcolor);
    textbackground(bgcolor);
    window(f.tl.x + 1, f.tl.y + 1, f.br.x - 1, f.br.y - 1);
    colorbox(f.tl.x + 1, f.tl.y + 1, f.br.x - 1, f.br.y - 1, (bgcolor & 15) * 16 + (fgcolor & 15));
}

void OvlWin::setcolor(int c)
{
    fgcolor = c;
    textcolor(c);
}

void OvlWin::setbgcolor(int c)
{
    bgcolor = c;
    textbackground(c);
}

void OvlWin::setframecolor(int c)
{
    framecolor = c;
}

void OvlWin::setattr(int a)
{
    fgcolor = a & 0x0F;
    bgcolor = (a & 0x70) >> 4;
    textattr(bgcolor * 16 + fgcolor);
}
