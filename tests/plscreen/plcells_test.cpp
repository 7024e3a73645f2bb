#include <gtest/gtest.h>

#include <cstring>

#include "plcells.h"

TEST(PlAttr, BuiltFromColoursAndBlink)
{
    EXPECT_EQ(PlAttr(14, 1, false).get(), 0x1E);
    EXPECT_EQ(PlAttr(0, 4, false).get(), 0x40);
    EXPECT_EQ(PlAttr(7, 0, true).get(), 0x87);
    EXPECT_EQ(PlAttr(15, 1, false).get(), 0x1F);
    EXPECT_EQ(PlAttr(0x1ff).get(), 0xFF);    // low eight bits of an int
}

TEST(PlAttr, SetForegroundAndBackgroundKeepTheOtherNibble)
{
    PlAttr a(0x07);
    a.setbg(9);
    EXPECT_EQ(a.get(), 0x97);
    a.setfg(12);
    EXPECT_EQ(a.get(), 0x9C);
    a.setfg(0x35);    // only the low nibble counts
    EXPECT_EQ(a.get(), 0x95);
}

TEST(PlCell, TwoBytesCharacterFirst)
{
    PlCell c(0x1F1, PlAttr(0x1E));
    unsigned char raw[2];
    memcpy(raw, &c, 2);
    EXPECT_EQ(raw[0], 0xF1);
    EXPECT_EQ(raw[1], 0x1E);
    c.setattr(0x40);
    EXPECT_EQ(c.ch, 0xF1);
    EXPECT_EQ(c.attr, 0x40);
}

TEST(PlCells, RowMajorLayout)
{
    PlCells g(7, 3);
    g.clear();
    EXPECT_EQ(g.cell(6, 2), g.row(0) + 7 * 3 - 1);
    EXPECT_EQ(g.cell(0, 1), g.row(0) + 7);
    EXPECT_EQ(g.row(2), g.row(0) + 14);
    EXPECT_EQ(g.getxsize(), 7u);
    EXPECT_EQ(g.getysize(), 3u);
}

TEST(PlCells, ClearZeroesEveryByte)
{
    PlCells g(5, 4);
    memset(g.row(0), 0xAB, 5 * 4 * sizeof(PlCell));
    g.clear();
    for (unsigned y = 0; y < 4; y++)
        for (unsigned x = 0; x < 5; x++) {
            EXPECT_EQ(g.cell(x, y)->ch, 0);
            EXPECT_EQ(g.cell(x, y)->attr, 0);
        }
}

TEST(PlCells, EqualityComparesSizeAndEveryByte)
{
    PlCells a(4, 2), b(4, 2), c(4, 1), d(2, 4);
    a.clear();
    b.clear();
    c.clear();
    d.clear();
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_FALSE(a == c);    // c is a prefix of a
    EXPECT_FALSE(a == d);    // same cell count, other shape
    b.cell(3, 1)->attr = 1;    // the very last byte
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(a != b);
}

TEST(PlCells, CopyrowCopiesExactlyTheRange)
{
    PlCells g(6, 2);
    g.clear();
    PlCell src[3] = {PlCell('a', 1), PlCell('b', 2), PlCell('c', 3)};
    g.copyrow(2, 1, 2, src);    // one cell
    EXPECT_EQ(g.cell(2, 1)->ch, 'a');
    EXPECT_EQ(g.cell(1, 1)->ch, 0);
    EXPECT_EQ(g.cell(3, 1)->ch, 0);
    g.copyrow(3, 0, 5, src);
    EXPECT_EQ(g.cell(2, 0)->ch, 0);
    EXPECT_EQ(g.cell(3, 0)->ch, 'a');
    EXPECT_EQ(g.cell(5, 0)->ch, 'c');
    EXPECT_EQ(g.cell(5, 0)->attr, 3);
    EXPECT_EQ(g.cell(0, 1)->ch, 0);    // nothing spilled into the next row
}

TEST(PlCells, CopyblockMovesARectangleBetweenGrids)
{
    PlCells src(10, 5), dst(6, 4);
    src.clear();
    dst.clear();
    for (unsigned y = 0; y < 5; y++)
        for (unsigned x = 0; x < 10; x++)
            *src.cell(x, y) = PlCell('0' + int(x), PlAttr(int(y)));
    dst.copyblock(1, 1, 3, 2, src, 6, 3);    // 3 x 2 from (6, 3)
    for (unsigned y = 0; y < 4; y++)
        for (unsigned x = 0; x < 6; x++) {
            bool inside = x >= 1 && x <= 3 && y >= 1 && y <= 2;
            EXPECT_EQ(dst.cell(x, y)->ch, inside ? '0' + 6 + (x - 1) : 0) << x << "," << y;
            EXPECT_EQ(dst.cell(x, y)->attr, inside ? 3 + (y - 1) : 0) << x << "," << y;
        }
    PlCells whole(10, 5);
    whole.copyblock(0, 0, 9, 4, src, 0, 0);
    EXPECT_TRUE(whole == src);
}
