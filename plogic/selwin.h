// A framed list of one-line items with a highlighted current item that
// scrolls, and follows the end of the list while the last item is current.
#pragma once

#include "ovlwin.h"
#include "oxstringlist.h"
#include "palette.h"

struct PlSelColors {
    int frame = COLOR_WHITE + COLOR_BRIGHT;
    int fg = COLOR_BLACK;
    int bg = COLOR_GREEN;
    int selfg = COLOR_WHITE + COLOR_BRIGHT;
    int selbg = COLOR_CYAN;
};
extern PlSelColors selcolors;

class SelectionWin : public OvlWin {
public:
    SelectionWin(const OxString &title, const PlPoint &size, bool noshadow);
    SelectionWin(const OxString &title, const PlRect &r, bool noshadow);
    ~SelectionWin() override;

    void append(const OxString &text);
    template <class First, class... Args>
    void append(const char *format, const First &first, const Args &...rest)
    {
        append(OxString(format, first, rest...));
    }

    // Moves the highlight for `key`; 0 reads a key first (getkey).
    int handlekey(int key);
    // The same for a key the caller has read: never reads one itself.
    int handle(int key);
    int current() const { return cur; }
    int count() const { return int(sels.count()); }
    void setcur(int i);
    bool setview(int top, int cur);
    bool setview(int top, int cur, bool redraw);
    OxString choicestr(int which) const;
    void reset();
    void draw() override;
    int getlastkey() const { return lastkey; }
    int gettop() const { return top; }

    // While deferred, appends and moves change the list but draw nothing;
    // drawdeferred() then draws it once if anything changed. A list fed
    // faster than the terminal is refreshed draws only what will be seen.
    void setdeferred(bool on);
    void drawdeferred();

protected:
    int rows() const;
    void drawitem(const OxString &text, int row, bool current);
    // Draws now, or notes that a draw is due while deferred.
    void drawordefer();

    int lastkey = 0;
    int cur = 0;
    int top = 0;
    OxStringList sels;
    bool deferred = false;
    bool stale = false; // changed since it was last drawn (while deferred)
};
