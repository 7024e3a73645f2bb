// The screen's drawing grid and the console state as the tests of the
// drawing layers look at them, in the windows' 1-based coordinates.
#pragma once

#include <string>
#include <vector>

#include "plcells.h"
#include "win.h"

// A copy of the global screen's drawing grid.
struct GridShot {
    int w = 0, h = 0;
    std::vector<PlCell> cells;
    static GridShot take();
    const PlCell &at(int x, int y) const { return cells[size_t((y - 1) * w + (x - 1))]; }
    bool operator==(const GridShot &o) const;
};
// Every cell that differs between two shots, as "(x,y)", for messages.
std::string diff_cells(const GridShot &a, const GridShot &b);

// The cell at screen position (x, y).
PlCell cell_at(int x, int y);
// The characters of row y from column x1 to x2 (inclusive).
std::string row_text(int y, int x1, int x2);

// The console's output region, attribute and cursor as gettextinfo gives
// them, in one comparable line: "(10,5)-(30,9) attr 1e cursor 1,1".
std::string console_state();
// A rectangle as "(x1,y1)-(x2,y2)", the form console_state() uses too.
std::string corners(const PlRect &r);
