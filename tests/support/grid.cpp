#include "grid.h"

#include <cstdio>
#include <cstring>

#include "conio.h"
#include "plscreen.h"

GridShot GridShot::take()
{
    GridShot s;
    PlCells &g = screen.getcells();
    s.w = int(g.getxsize());
    s.h = int(g.getysize());
    s.cells.assign(g.row(0), g.row(0) + size_t(s.w) * size_t(s.h));
    return s;
}

bool GridShot::operator==(const GridShot &o) const
{
    return w == o.w && h == o.h && memcmp(cells.data(), o.cells.data(), cells.size() * sizeof(PlCell)) == 0;
}

std::string diff_cells(const GridShot &a, const GridShot &b)
{
    std::string out;
    for (int y = 1; y <= a.h; y++)
        for (int x = 1; x <= a.w; x++)
            if (memcmp(&a.at(x, y), &b.at(x, y), sizeof(PlCell)) != 0)
                out += "(" + std::to_string(x) + "," + std::to_string(y) + ")";
    return out;
}

PlCell cell_at(int x, int y)
{
    return *screen.cell(x - 1, y - 1);
}

std::string row_text(int y, int x1, int x2)
{
    std::string s;
    for (int x = x1; x <= x2; x++)
        s += char(cell_at(x, y).ch);
    return s;
}

std::string corners(const PlRect &r)
{
    return "(" + std::to_string(r.tl.x) + "," + std::to_string(r.tl.y) + ")-(" + std::to_string(r.br.x) + "," +
           std::to_string(r.br.y) + ")";
}

std::string console_state()
{
    text_info t;
    gettextinfo(&t);
    char s[96];
    snprintf(s, sizeof s, "(%d,%d)-(%d,%d) attr %02x cursor %d,%d", t.winleft, t.wintop, t.winright, t.winbottom,
             t.attribute.get(), t.curx, t.cury);
    return s;
}
