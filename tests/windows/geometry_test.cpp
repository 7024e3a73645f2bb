// Points and rectangles are clamped to the 80 x 25 test screen.
#include "win.h"
#include "wintest.h"

namespace {

using Geometry = WinTest;

TEST_F(Geometry, PointsAreClampedToTheScreen)
{
    PlPoint a(0, 0);
    EXPECT_EQ(a.x, 1);
    EXPECT_EQ(a.y, 1);
    PlPoint b(500, 500);
    EXPECT_EQ(b.x, 80);
    EXPECT_EQ(b.y, 25);
    PlPoint c(-7, 12);
    EXPECT_EQ(c.x, 1);
    EXPECT_EQ(c.y, 12);
    b.set(80, 26);
    EXPECT_EQ(b.x, 80);
    EXPECT_EQ(b.y, 25);
    PlPoint d = c;
    EXPECT_EQ(d.x, 1);
    EXPECT_EQ(d.y, 12);
}

TEST_F(Geometry, RectOverTheRightEdgeIsShiftedAndKeepsItsWidth)
{
    PlRect r(75, 10, 84, 12);
    EXPECT_EQ(corners(r), "(71,10)-(80,12)");
    EXPECT_EQ(r.width(), 10);
    EXPECT_EQ(r.height(), 3);
}

TEST_F(Geometry, RectOverTheBottomEdgeIsShiftedUp)
{
    EXPECT_EQ(corners(PlRect(10, 24, 20, 27)), "(10,22)-(20,25)");
}

TEST_F(Geometry, SwappedCornersAreOrdered)
{
    EXPECT_EQ(corners(PlRect(10, 5, 3, 2)), "(3,2)-(10,5)");
}

TEST_F(Geometry, RectLargerThanTheScreenIsCutToIt)
{
    EXPECT_EQ(corners(PlRect(1, 1, 100, 30)), "(1,1)-(80,25)");
}

TEST_F(Geometry, RectOverTheLeftEdgeIsCutNotShifted)
{
    EXPECT_EQ(corners(PlRect(-4, 3, 10, 6)), "(1,3)-(10,6)");
}

TEST_F(Geometry, RectWhollyOffTheTopLeftStillHasOrderedCorners)
{
    PlRect r(-10, -10, -3, -2);
    EXPECT_LE(r.tl.x, r.br.x);
    EXPECT_LE(r.tl.y, r.br.y);
    EXPECT_GE(r.tl.x, 1);
    EXPECT_GE(r.tl.y, 1);
}

TEST_F(Geometry, CopyKeepsTheRectangle)
{
    PlRect r(5, 6, 20, 9);
    PlRect c(r);
    EXPECT_EQ(corners(c), "(5,6)-(20,9)");
    PlRect d(1, 1, 2, 2);
    d = r;
    EXPECT_EQ(corners(d), "(5,6)-(20,9)");
}

TEST_F(Geometry, CentringPutsTheOddMarginRightAndBelow)
{
    EXPECT_EQ(corners(PlRect::centred(PlPoint(40, 8))), "(21,9)-(60,16)");
    EXPECT_EQ(corners(PlRect::centred(PlPoint(22, 3))), "(30,12)-(51,14)");
    EXPECT_EQ(corners(PlRect::centred(PlPoint(55, 9))), "(13,9)-(67,17)");
    EXPECT_EQ(corners(PlRect::centred(PlPoint(79, 24))), "(1,1)-(79,24)");
    EXPECT_EQ(corners(PlRect::centred(PlPoint(200, 200))), "(1,1)-(80,25)");
}

} // namespace
