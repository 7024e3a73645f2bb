#include "selwin.h"

#include <algorithm>
#include <cassert>

#include "conio.h"
#include "palette.h"

PlSelColors selcolors;

SelectionWin::SelectionWin(const OxString &wintitle, const PlPoint &size, bool noshadow)
    : OvlWin(wintitle, size, selcolors.fg, selcolors.bg, selcolors.frame, noshadow)
{
    reset();
}

SelectionWin::SelectionWin(const OxString &wintitle, const PlRect &r, bool noshadow)
    : OvlWin(wintitle, r, selcolors.fg, selcolors.bg, selcolors.frame, noshadow)
{
    reset();
}

SelectionWin::~SelectionWin() = default;

int SelectionWin::rows() const
{
    return std::max(0, framerect().height() - 2);
}

// Scrolling arithmetic treats a window without client rows as one row high:
// the current item is then simply the top one, and no step can go astray.
static int page(int rows)
{
    return std::max(1, rows);
}

bool SelectionWin::setview(int t, int c)
{
    int n = count();
    int r = page(rows());
    if (t + r - 1 > n - 1)
        t = n - r;
    if (t < 0)
        t = 0;
    if (c > n - 1)
        c = n - 1;
    if (c < 0)
        c = 0;
    bool changed = t != top || c != cur;
    top = t;
    cur = c;
    return changed;
}

bool SelectionWin::setview(int t, int c, bool redraw)
{
    bool changed = setview(t, c);
    if (changed && redraw && visible)
        drawordefer();
    return changed;
}

void SelectionWin::setcur(int i)
{
    int r = page(rows());
    if (i < top)
        setview(i, i, true);
    else if (i > top + r - 1)
        setview(i - r + 1, i, true);
    else
        setview(top, i, true);
}

int SelectionWin::handlekey(int key)
{
    if (key == 0) {
        key = getkey();
        if (key == KEY_NONE) {
            lastkey = 0;
            return 0;
        }
    }
    return handle(key);
}

int SelectionWin::handle(int key)
{
    int r = page(rows());
    switch (key) {
    case KEY_UP:
        setcur(cur - 1);
        break;
    case KEY_DOWN:
        setcur(cur + 1);
        break;
    case KEY_PGUP:
        if (cur > top)
            setcur(top);
        else
            setcur(top - r);
        break;
    case KEY_PGDN:
        if (cur < top + r - 1)
            setcur(top + r - 1);
        else
            setcur(top + 2 * r - 1);
        break;
    case KEY_HOME:
    case KEY_CTRL_PGUP:
        setcur(0);
        break;
    case KEY_END:
    case KEY_CTRL_PGDN:
        setcur(count() - 1);
        break;
    default:
        break;
    }
    lastkey = key;
    return cur;
}

void SelectionWin::append(const OxString &text)
{
    bool onlast = cur == count() - 1;
    sels.append(text);
    // A log keeps its newest line in view once its current item is the last;
    // a menu (current item 0) stays where it is while it is being filled.
    if (cur != 0 && onlast)
        setcur(count() - 1);
    else if (visible)
        drawordefer();
}

void SelectionWin::drawordefer()
{
    if (deferred)
        stale = true;
    else
        draw();
}

void SelectionWin::setdeferred(bool on)
{
    deferred = on;
    if (!on)
        drawdeferred();
}

void SelectionWin::drawdeferred()
{
    if (stale && visible)
        draw();
    stale = false;
}

OxString SelectionWin::choicestr(int which) const
{
    assert(which < (int)sels.count());
    if (which < 0)
        return OxString();
    return sels[size_t(which)];
}

void SelectionWin::reset()
{
    lastkey = 0;
    top = 0;
    cur = 0;
    setview(0, 0);
}

void SelectionWin::drawitem(const OxString &text, int row, bool current)
{
    int w = framerect().width() - 3;
    if (w < 0)
        return;
    OxString format(" %%-%s.%ss", w, w);
    gotoxy(1, row);
    if (current)
        textattr(PlAttr(selcolors.selfg, selcolors.selbg, false).get());
    else
        textattr(PlAttr(selcolors.fg, selcolors.bg, false).get());
    // Items are often a helper's output: a control byte must show as one
    // blank cell, never move the cursor, and a NUL must not end the row.
    cputs_text(OxString(format.cstr(), text));
}

void SelectionWin::draw()
{
    assert(visible);
    OvlWin::draw();

    PlRect f = framerect();
    int r = rows();
    int n = count();
    if (r < 1)
        return;

    if (n > r) {
        const int markattr = ATTR_SCROLL_MARK.get();
        fillbox(f.br.x, f.tl.y + 1, f.br.x, f.tl.y + 1, GLYPH_DIAMOND, markattr);
        fillbox(f.br.x, f.br.y - 1, f.br.x, f.br.y - 1, GLYPH_DIAMOND, markattr);
        if (f.height() >= 5)
            fillbox(f.br.x, f.tl.y + 2, f.br.x, f.br.y - 2, GLYPH_CHECKER, markattr);
    }

    // Indexing is constant time, so a redraw costs the same for a list of a
    // hundred lines as for one of a million.
    for (int row = 1; row <= r; row++) {
        int i = top + row - 1;
        if (i < n) {
            drawitem(sels[size_t(i)], row, i == cur);
        } else {
            gotoxy(1, row);
            textattr(PlAttr(selcolors.fg, selcolors.bg, false).get());
            clreol();
        }
    }
    gotoxy(2, cur - top + 1);
}
