// The palette: console colour numbers named by what the terminal shows for
// them, and the colour pairings the program's windows and texts use.
#pragma once

#include "plcells.h"

// Console colour numbers. On the wire (PlScreen::cons_to_ansi) 3 shows as
// red and 4 as cyan, the other way round from ANSI's own numbering.
inline constexpr int COLOR_BLACK = 0;
inline constexpr int COLOR_BLUE = 1;
inline constexpr int COLOR_GREEN = 2;
inline constexpr int COLOR_RED = 3;
inline constexpr int COLOR_CYAN = 4;
inline constexpr int COLOR_MAGENTA = 5;
inline constexpr int COLOR_YELLOW = 6;
inline constexpr int COLOR_WHITE = 7;
inline constexpr int COLOR_BRIGHT = 8; // added to a colour: its bright form

// A framed window's colours: text, background, frame.
struct PlWinColors {
    int fg, bg, frame;
};
// The test screens' panels, bright yellow on blue in a bright white frame.
inline constexpr PlWinColors PANEL_COLORS{COLOR_YELLOW + COLOR_BRIGHT, COLOR_BLUE, COLOR_WHITE + COLOR_BRIGHT};
// Message dialogs, bright yellow on red in a bright white frame.
inline constexpr PlWinColors DIALOG_COLORS{COLOR_YELLOW + COLOR_BRIGHT, COLOR_RED, COLOR_WHITE + COLOR_BRIGHT};

// The three colours of marked-up text: plain, label (0x08) and alert (0x07).
struct PlMarkColors {
    PlAttr normal, label, alert;
};
// Marked-up text on a panel: labels bright white, alerts on red.
inline constexpr PlMarkColors PANEL_TEXT{PlAttr(PANEL_COLORS.fg, PANEL_COLORS.bg, false),
                                         PlAttr(COLOR_WHITE + COLOR_BRIGHT, PANEL_COLORS.bg, false),
                                         PlAttr(PANEL_COLORS.fg, COLOR_RED, false)};

// Single attributes.
inline constexpr PlAttr ATTR_SHADOW{COLOR_BLACK + COLOR_BRIGHT, COLOR_BLACK, false};
inline constexpr PlAttr ATTR_SCROLL_MARK{COLOR_CYAN + COLOR_BRIGHT, COLOR_BLUE, false};
inline constexpr PlAttr ATTR_BACKDROP{COLOR_BLUE, COLOR_BLACK, false}; // with the checkerboard glyph
inline constexpr PlAttr ATTR_BAR{COLOR_BLACK, COLOR_CYAN, false};      // title and status bars
inline constexpr PlAttr ATTR_DEFAULT{COLOR_WHITE, COLOR_BLACK, false};
