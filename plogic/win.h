// Points, rectangles and the base window, which saves what it covers and
// takes and gives back the console's output state.
#pragma once

#include "conio.h"
#include "plcells.h"

// 1-based position or size, always clamped to the screen.
struct PlPoint {
    int x = 1, y = 1;

    PlPoint(int px, int py) { set(px, py); }
    PlPoint(const PlPoint &o) { set(o.x, o.y); }
    PlPoint &operator=(const PlPoint &o)
    {
        set(o.x, o.y);
        return *this;
    }
    void set(int px, int py);
};

// Inclusive rectangle, kept on the screen (shifted back in where it can be).
struct PlRect {
    PlPoint tl{1, 1};
    PlPoint br{1, 1};

    PlRect(int x1, int y1, int x2, int y2) { set(x1, y1, x2, y2); }
    PlRect(const PlRect &o) { set(o.tl.x, o.tl.y, o.br.x, o.br.y); }
    PlRect &operator=(const PlRect &o)
    {
        set(o.tl.x, o.tl.y, o.br.x, o.br.y);
        return *this;
    }
    void set(int x1, int y1, int x2, int y2);
    int width() const { return br.x - tl.x + 1; }
    int height() const { return br.y - tl.y + 1; }
    static PlRect centred(const PlPoint &size);
};

class PlWin {
public:
    explicit PlWin(const PlRect &r);
    virtual ~PlWin();
    PlWin(const PlWin &) = delete;
    PlWin &operator=(const PlWin &) = delete;

    virtual void draw();
    virtual void move(const PlPoint &topleft);

    void show();
    void hide();
    void focus();
    void unfocus();
    PlRect getrect() const { return rect; }
    bool isvisible() const { return visible; }

protected:
    bool visible = false;
    bool drawn = false;
    bool hasfocus = true;
    // The window's own console state is the installed one (between focus
    // and unfocus). Giving up a focus it does not hold only refreshes its
    // look, so hiding an unfocused window cannot take the console state of
    // whoever holds it as the window's own.
    bool focused = false;
    PlRect rect;
    text_info prevti{};
    text_info ownti{};
    PlCells under;
    PlCells image;
};
