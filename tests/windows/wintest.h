// Shared fixture and helpers of the window tests: a screen grid filled with a
// known pattern, cell access in the windows' 1-based coordinates, and the
// terminal's picture rendered through a terminal emulator.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conio.h"
#include "plcells.h"
#include "plscreen.h"
#include "testterm.h"
#include "vtscreen.h"

// A copy of the screen's drawing grid.
struct GridShot {
    int w = 0, h = 0;
    std::vector<PlCell> cells;
    static GridShot take();
    const PlCell &at(int x, int y) const { return cells[size_t((y - 1) * w + (x - 1))]; }   // 1-based
    bool operator==(const GridShot &o) const;
};

// The cell at 1-based screen position (x, y).
PlCell cell_at(int x, int y);
// The characters of row y from column x1 to x2 (1-based, inclusive).
std::string row_text(int y, int x1, int x2);
// Every cell that differs between two shots, as "(x,y)" 1-based, for messages.
std::string diff_cells(const GridShot &a, const GridShot &b);

// Fills the whole grid with letters 'a'.. in attribute 0x07 and resets the
// console to the full screen; used as the backdrop of every test.
void fill_backdrop();
char backdrop_char(int x, int y);

// Sends the whole grid to the terminal and returns it as a person would see
// it (a fresh emulator fed with a full repaint).
struct Seen {
    VtScreen vt;
    Seen();
};
// The ANSI colours, boldness and blink the terminal shows for a console attribute.
void expect_shown_attr(const VtScreen &vt, int x, int y, int attr, const char *what);
// Output of the pty up to and including the end of the next complete refresh.
std::string take_refreshes(size_t count, int timeout_ms = 5000);
// Bytes that end every refresh that sent cells.
extern const std::string refresh_trailer;

class WinTest : public ::testing::Test {
protected:
    void SetUp() override;
};
