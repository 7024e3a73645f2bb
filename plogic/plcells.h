// Attribute bytes, character cells and rectangular grids of cells.
#pragma once

#include <cstdint>

// Bits 0-2 foreground colour, bit 3 bright, bits 4-6 background colour, bit 7 blink.
class PlAttr {
public:
    PlAttr() = default;
    constexpr PlAttr(int value) : a(uint8_t(value)) {}
    constexpr PlAttr(int fg, int bg, bool blink) : a(0)
    {
        setfg(fg);
        setbg(bg);
        if (blink)
            a = uint8_t(a | 0x80);
    }
    constexpr void setfg(int c) { a = uint8_t((a & 0xF0) | (c & 15)); }
    constexpr void setbg(int c) { a = uint8_t((a & 0x0F) | ((c & 15) << 4)); }
    constexpr int get() const { return a; }

private:
    uint8_t a;
};

// One character cell: 0x20-0x7F text, 0x80-0xFF line-drawing glyphs (the low
// 7 bits are the DEC Special Graphics code), 0x00-0x1F shown as a blank.
struct PlCell {
    uint8_t ch;
    uint8_t attr;

    PlCell() = default;
    PlCell(int c, PlAttr at) : ch(uint8_t(c)), attr(uint8_t(at.get())) {}
    void setattr(int at) { attr = uint8_t(at); }
};
static_assert(sizeof(PlCell) == 2, "a cell is two packed bytes: grids are compared and copied as raw memory");

// Line-drawing glyphs as cell values.
enum : uint8_t {
    GLYPH_DIAMOND = 0xE0,
    GLYPH_CHECKER = 0xE1,
    GLYPH_LRCORNER = 0xEA,
    GLYPH_URCORNER = 0xEB,
    GLYPH_ULCORNER = 0xEC,
    GLYPH_LLCORNER = 0xED,
    GLYPH_HLINE = 0xF1,
    GLYPH_VLINE = 0xF8,
};

class PlCells {
public:
    PlCells(unsigned xsize, unsigned ysize);     // cells are not cleared
    ~PlCells();
    PlCells(const PlCells &) = delete;
    PlCells &operator=(const PlCells &) = delete;

    PlCell *row(unsigned y);
    const PlCell *row(unsigned y) const;
    PlCell *cell(unsigned x, unsigned y);
    const PlCell *cell(unsigned x, unsigned y) const;
    // Copies the ex - sx + 1 cells at src into row y, columns sx..ex.
    void copyrow(unsigned sx, unsigned y, unsigned ex, const PlCell *src);
    // Copies the rectangle of src whose top-left is (srcx, srcy) into columns
    // sx..ex and rows sy..ey of this grid.
    void copyblock(unsigned sx, unsigned sy, unsigned ex, unsigned ey, const PlCells &src, unsigned srcx,
                   unsigned srcy);
    void clear();
    bool operator==(const PlCells &o) const;
    bool operator!=(const PlCells &o) const { return !(*this == o); }
    unsigned getxsize() const { return xsize; }
    unsigned getysize() const { return ysize; }

private:
    PlCell *array;
    unsigned xsize, ysize;
};
