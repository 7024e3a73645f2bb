#include "win.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "plscreen.h"

// The size is read through the console layer so that the first point ever
// made also gives the console its full-screen default window.
void PlPoint::set(int nx, int ny)
{
    x = nx;
    y = ny;
    text_info t;
    gettextinfo(&t);
    if (x > t.screenwidth)
        x = t.screenwidth;
    if (y > t.screenheight)
        y = t.screenheight;
    if (x <= 0)
        x = 1;
    if (y <= 0)
        y = 1;
}

void PlRect::set(int x1, int y1, int x2, int y2)
{
    if (x1 > x2)
        std::swap(x1, x2);
    if (y1 > y2)
        std::swap(y1, y2);
    PlPoint a(x1, y1);
    PlPoint b(x2, y2);
    // Whatever clamping took off the far corner moves the near one too, so a
    // rectangle hanging over the right or bottom edge keeps its size.
    a.set(a.x + (b.x - x2), a.y + (b.y - y2));
    // A rectangle lying wholly left of or above the screen would otherwise
    // get its near corner pushed past its far one.
    a.set(std::min(a.x, b.x), std::min(a.y, b.y));
    tl = a;
    br = b;
}

PlRect PlRect::centred(const PlPoint &size)
{
    text_info t;
    gettextinfo(&t);
    int a = (t.screenwidth - size.x) / 2;
    int c = (t.screenheight - size.y) / 2;
    return PlRect(a + 1, c + 1, a + size.x, c + size.y);
}

PlWin::PlWin(const PlRect &r) : rect(r), under(unsigned(r.width()), unsigned(r.height())),
                                image(unsigned(r.width()), unsigned(r.height()))
{
    gettextinfo(&prevti);
    window(rect.tl.x, rect.tl.y, rect.br.x, rect.br.y);
    // Taking the look of the cells beneath as the window's own gives it a
    // defined image and an own console state covering its rectangle, and
    // puts the console back as it was.
    drawn = false;
    hasfocus = true;
    visible = true;
    focused = true;
    unfocus();
    visible = false;
}

PlWin::~PlWin()
{
    hide();
}

// Copies between the screen and one of our grids stay inside both, even if
// the rectangle were ever larger than the grids it was built with.
static void copy_from_screen(PlCells &dst, const PlRect &r)
{
    unsigned w = std::min(unsigned(r.width()), dst.getxsize());
    unsigned h = std::min(unsigned(r.height()), dst.getysize());
    dst.copyblock(0, 0, w - 1, h - 1, screen.getcells(), unsigned(r.tl.x - 1), unsigned(r.tl.y - 1));
}

static void copy_to_screen(const PlCells &src, const PlRect &r)
{
    unsigned w = std::min(unsigned(r.width()), src.getxsize());
    unsigned h = std::min(unsigned(r.height()), src.getysize());
    unsigned x = unsigned(r.tl.x - 1), y = unsigned(r.tl.y - 1);
    screen.getcells().copyblock(x, y, x + w - 1, y + h - 1, src, 0, 0);
}

void PlWin::show()
{
    if (!visible) {
        copy_from_screen(under, rect);
        copy_to_screen(image, rect);
        visible = true;
        focus();
    }
    if (!drawn)
        draw();
}

void PlWin::hide()
{
    if (!visible)
        return;
    unfocus();
    copy_to_screen(under, rect);
    visible = false;
}

void PlWin::focus()
{
    assert(!hasfocus || visible);
    if (!hasfocus)
        return;
    gettextinfo(&prevti);
    window(ownti.winleft, ownti.wintop, ownti.winright, ownti.winbottom);
    textattr(ownti.attribute.get());
    focused = true;
}

void PlWin::unfocus()
{
    assert(!hasfocus || visible);
    if (!hasfocus)
        return;
    copy_from_screen(image, rect);
    if (!focused)
        return;
    focused = false;
    gettextinfo(&ownti);
    window(prevti.winleft, prevti.wintop, prevti.winright, prevti.winbottom);
    textattr(prevti.attribute.get());
}

void PlWin::draw()
{
    drawn = true;
}

void PlWin::move(const PlPoint &topleft)
{
    bool wasvisible = visible;
    hide();
    int dx = topleft.x - rect.tl.x;
    int dy = topleft.y - rect.tl.y;
    PlPoint from = rect.tl;
    rect.set(rect.tl.x + dx, rect.tl.y + dy, rect.br.x + dx, rect.br.y + dy);
    // The window's own output region moves with it; left where it was, the
    // next output into the window would land on the old place.
    dx = rect.tl.x - from.x;
    dy = rect.tl.y - from.y;
    ownti.winleft += dx;
    ownti.winright += dx;
    ownti.wintop += dy;
    ownti.winbottom += dy;
    if (wasvisible)
        show();
}
