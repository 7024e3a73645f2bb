#include "plcells.h"

#include <cassert>
#include <cstring>

PlCells::PlCells(unsigned cols, unsigned rows)
    : array(new PlCell[size_t(cols) * rows]), xsize(cols), ysize(rows)
{
}

PlCells::~PlCells()
{
    delete[] array;
}

PlCell *PlCells::row(unsigned y)
{
    assert(y < ysize);
    return array + size_t(y) * xsize;
}

const PlCell *PlCells::row(unsigned y) const
{
    assert(y < ysize);
    return array + size_t(y) * xsize;
}

PlCell *PlCells::cell(unsigned x, unsigned y)
{
    assert(x < xsize);
    return row(y) + x;
}

const PlCell *PlCells::cell(unsigned x, unsigned y) const
{
    assert(x < xsize);
    return row(y) + x;
}

void PlCells::copyrow(unsigned sx, unsigned y, unsigned ex, const PlCell *src)
{
    assert(sx < xsize && ex < xsize);
    assert(y < ysize);
    // A reversed range would turn into a copy of some four billion cells.
    assert(sx <= ex);
    // memmove: a window may copy a block of the screen onto an overlapping
    // block of the same grid.
    memmove(array + size_t(y) * xsize + sx, src, size_t(ex - sx + 1) * sizeof(PlCell));
}

void PlCells::copyblock(unsigned sx, unsigned sy, unsigned ex, unsigned ey, const PlCells &src, unsigned srcx,
                        unsigned srcy)
{
    assert(sy <= ey);
    // Each source row is read as one run; it must not run past its row (or,
    // for the last row, past the end of the source grid).
    assert(sx <= ex && srcx + (ex - sx) < src.xsize);
    for (unsigned i = 0; i <= ey - sy; i++)
        copyrow(sx, sy + i, ex, src.cell(srcx, srcy + i));
}

void PlCells::clear()
{
    memset(array, 0, size_t(xsize) * ysize * sizeof(PlCell));
}

bool PlCells::operator==(const PlCells &o) const
{
    if (xsize != o.xsize || ysize != o.ysize)
        return false;
    return memcmp(array, o.array, size_t(xsize) * ysize * sizeof(PlCell)) == 0;
}
