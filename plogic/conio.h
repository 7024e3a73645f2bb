// Console layer: keyboard decoding and console-style drawing into the screen's grid.
#pragma once

#include "oxstring.h"
#include "plcells.h"

// ---- Keyboard ----
enum {
    KEY_NONE = -1,
    KEY_BACKSPACE = -8,
    KEY_HOME = -71,
    KEY_UP = -72,
    KEY_PGUP = -73,
    KEY_LEFT = -75,
    KEY_RIGHT = -77,
    KEY_END = -79,
    KEY_DOWN = -80,
    KEY_PGDN = -81,
    KEY_INSERT = -82,
    KEY_DELETE = -83,
    KEY_CTRL_PGDN = -118,
    KEY_CTRL_PGUP = -132,
    KEY_ENTER = 13,
    KEY_ESC = 27,
};

int _getch();          // next key code; no refresh
// Refresh, _getch, LF -> 13, DEL -> KEY_BACKSPACE; Ctrl-L (12) asks for a
// repaint of the whole screen at the next refresh and gives KEY_NONE.
int getch();
// One key as the terminal has it now, mapped as getch maps it (KEY_NONE:
// none, or Ctrl-L): what the loop reads once it has refreshed and waited.
int readkey();
int getkey();          // refresh, then getch
// Refresh, then wait up to msec for input; consumes nothing. Keys already
// read from the terminal and waiting to be decoded count as input.
bool kbwait(int msec);
// Drops every undecoded byte held by the key decoder.
void kbflush();

// ---- Console drawing ----
struct text_info {
    int screenwidth;
    int screenheight;
    int winleft;
    int wintop;       // 0: no window set yet
    int winright;
    int winbottom;
    int curx;         // 1-based, window-relative
    int cury;
    PlAttr attribute;
};

extern text_info ti;

void gettextinfo(text_info *r);
void window(int left, int top, int right, int bottom);
void textcolor(int c);
void textbackground(int c);
void textattr(int a);

void abs_gotoxy(int x, int y);
void gotoxy(int x, int y);

void putch(int c);
int cprintf(const char *format, ...) __attribute__((format(printf, 1, 2)));
void cputs(const char *text);
// Prints every byte of text with putch (NUL bytes included).
void cputs(const OxString &text);
// Prints text that came from a helper program: every byte below 0x20 takes
// one cell and shows as a blank, and never moves the cursor (CR and LF
// included). Text that is to keep its colour markers goes through
// blank_controls(text, true) and cputs_marked instead.
void cputs_text(const OxString &text);
// A copy of text in which every byte below 0x20 is a blank, except the colour
// markers of marked-up text (marked.h) when keep_markers is set.
OxString blank_controls(const OxString &text, bool keep_markers);

void clrscr();
void clreol();

void fillbox(int x1, int y1, int x2, int y2, int ch, int attr);
void colorbox(int x1, int y1, int x2, int y2, int attr);
void drawframe(int x1, int y1, int x2, int y2, int s1, int s2, int s3, int s4);
