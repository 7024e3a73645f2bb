#include "framewin.h"

#include "conio.h"
#include "palette.h"

FrameWin::FrameWin(PlScreen *scr)
    : screen(scr), topbar(PlRect(1, 1, scr->getxsize(), 1)),
      bottombar(PlRect(1, scr->getysize(), scr->getxsize(), scr->getysize()))
{
    const int w = screen->getxsize();
    const int h = screen->getysize();
    screen->setcursortype(0);
    fillbox(1, 1, w, h, GLYPH_CHECKER, ATTR_BACKDROP.get());
    // The bar keeps the attribute in its own console state, so every later
    // output into it comes out in the bar colours.
    for (PlWin *bar : {&topbar, &bottombar}) {
        bar->show();
        textattr(ATTR_BAR.get());
        clreol();
        bar->unfocus();
    }
}

FrameWin::~FrameWin()
{
    screen->setcursortype(1);
}

void FrameWin::settitle(const OxString &text)
{
    title = text;
    drawbar(topbar, title, version);
}

void FrameWin::setversion(const OxString &text)
{
    version = text;
    drawbar(topbar, title, version);
}

void FrameWin::sethelp(const OxString &text)
{
    help = text;
    drawbar(bottombar, help, status);
}

void FrameWin::setstatus(const OxString &text)
{
    status = text;
    drawbar(bottombar, help, status);
}

void FrameWin::drawbar(PlWin &bar, const OxString &left, const OxString &right)
{
    // Columns 1 and W of a bar stay blank; the texts share the columns between.
    const int w = bar.getrect().width() - 2;
    if (w <= 0)
        return;
    int ll = int(left.len());
    int rl = int(right.len());
    if (ll + rl > w)
        ll = w - rl;   // the right text keeps its room, the left one gives way
    if (rl > w)
        ll = w / 2;   // both get half; the right one shows its first characters
    const OxString format("%%-%s.%ss%%%s.%ss", ll, ll, w - ll, w - ll);
    const OxString line(format.cstr(), left, right);
    bar.focus();
    gotoxy(2, 1);
    cputs_text(line);
    bar.unfocus();
}
