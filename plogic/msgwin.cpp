#include "msgwin.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstring>

#include "conio.h"
#include "eventloop.h"
#include "oxstringlist.h"
#include "palette.h"
#include "plscreen.h"

static OxStringList lines_of(const OxString &text)
{
    OxStringList lines;
    lines.split(text, "\r\n", 0);
    return lines;
}

int countlines(const OxString &text)
{
    return int(lines_of(text).count());
}

int maxlinelen(const OxString &text)
{
    size_t longest = 0;
    for (const OxString &line : lines_of(text))
        longest = std::max(longest, line.len());
    return int(longest);
}

MsgWin::MsgWin(const OxString &msg, const OxString &wintitle)
    : OvlWin(wintitle, PlPoint(maxlinelen(msg) + 4, countlines(msg) + 2), DIALOG_COLORS.fg, DIALOG_COLORS.bg,
             DIALOG_COLORS.frame, false), text(msg)
{
}

MsgWin::~MsgWin() = default;

void MsgWin::draw()
{
    assert(visible);
    assert(hasfocus);
    OvlWin::draw();

    PlRect f = framerect();
    int rows = f.height() - 2;
    if (rows < 1 || f.width() < 3)
        return;
    window(f.tl.x + 1, f.tl.y + 1, f.br.x - 1, f.br.y - 1);
    clrscr();
    // On a screen too small for the text, lines are cut at the client
    // area's right edge (the console would pile their ends up in its last
    // column) and the lines that do not fit are left out (a line feed below
    // the client area would leave the window).
    size_t room = size_t(f.width() - 3);
    int row = 0;
    for (const OxString &line : lines_of(text)) {
        if (row == rows)
            break;
        if (row > 0)
            cprintf("\r\n");
        cputs(OxString(" %s", OxString(line.view().substr(0, room))));
        row++;
    }
}

int MsgWin::waitkey(const OxFastString &keys)
{
    show();
    EventLoop loop;
    for (int key = loop.nextkey(); key != KEY_NONE; key = loop.nextkey()) {
        if (key > 0 && key < 256)
            key = tolower(key);
        // Only real bytes can answer: no key (0) and the negative codes of
        // the cursor keys are in no set, nor is the set's terminating zero.
        if (key > 0 && key < 256 && memchr(keys.cstr(), key, keys.len()))
            return key;
    }
    return 0;
}
