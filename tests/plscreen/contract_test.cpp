// Programming errors stop the program with the standard assertion report.
#include <gtest/gtest.h>

#include "testterm.h"
#include "plcells.h"

namespace {

class Contract : public ::testing::Test {
protected:
    // The binary runs a pty reader thread: re-run the binary for each death.
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

} // namespace

TEST_F(Contract, GridColumnOutOfRange)
{
    PlCells g(10, 4);
    g.clear();
    EXPECT_DEATH(g.cell(10, 0), "PlCells::cell\\(unsigned int, unsigned int\\).*Assertion `x < xsize' failed");
}

TEST_F(Contract, GridRowOutOfRange)
{
    PlCells g(10, 4);
    g.clear();
    EXPECT_DEATH(g.cell(0, 4), "PlCells::row\\(unsigned int\\).*Assertion `y < ysize' failed");
    EXPECT_DEATH(g.row(4), "Assertion `y < ysize' failed");
}

TEST_F(Contract, CopyrowOutOfRange)
{
    PlCells g(10, 4);
    g.clear();
    PlCell src[12] = {};
    EXPECT_DEATH(g.copyrow(0, 0, 10, src), "PlCells::copyrow.*Assertion `sx < xsize && ex < xsize' failed");
    EXPECT_DEATH(g.copyrow(10, 0, 9, src), "Assertion `sx < xsize && ex < xsize' failed");
    EXPECT_DEATH(g.copyrow(0, 4, 9, src), "PlCells::copyrow.*Assertion `y < ysize' failed");
    EXPECT_DEATH(g.copyrow(5, 0, 4, src), "Assertion `sx <= ex' failed");
}

TEST_F(Contract, CopyblockSourceRowsStayInTheirGrid)
{
    PlCells src(10, 4), dst(10, 4);
    src.clear();
    dst.clear();
    EXPECT_DEATH(dst.copyblock(0, 0, 5, 1, src, 5, 0), "PlCells::copyblock.*Assertion");
    EXPECT_DEATH(dst.copyblock(0, 0, 2, 1, src, 0, 3), "Assertion `y < ysize' failed");
}

TEST_F(Contract, ScreenCellOutOfRange)
{
    MemScreen m;
    EXPECT_DEATH(m.scr->cell(-1, 0), "PlScreen::cell\\(int, int\\).*Assertion `x >= 0 && y >= 0' failed");
    EXPECT_DEATH(m.scr->cell(0, -1), "PlScreen::cell\\(int, int\\).*Assertion `x >= 0 && y >= 0' failed");
    EXPECT_DEATH(m.scr->cell(80, 0), "Assertion `x < xsize' failed");
    EXPECT_DEATH(m.scr->cell(0, 24), "Assertion `y < ysize' failed");
}

TEST_F(Contract, ScreenGotoxyOutOfRange)
{
    MemScreen m;
    EXPECT_DEATH(m.scr->gotoxy(-1, 0), "PlScreen::gotoxy\\(int, int\\).*Assertion `x >= 0 && y >= 0' failed");
    EXPECT_DEATH(m.scr->gotoxy(80, 0),
                 "PlScreen::gotoxy\\(int, int\\).*Assertion `x < getxsize\\(\\) && y < getysize\\(\\)' failed");
    EXPECT_DEATH(m.scr->gotoxy(0, 24), "Assertion `x < getxsize\\(\\) && y < getysize\\(\\)' failed");
    m.scr->gotoxy(79, 23);    // the last cell is fine
    EXPECT_EQ(m.scr->getcurx(), 79);
    EXPECT_EQ(m.scr->getcury(), 23);
}

TEST_F(Contract, ScreenTerminalGotoxyNegative)
{
    MemScreen m;
    EXPECT_DEATH(m.scr->_gotoxy(0, -1), "PlScreen::_gotoxy\\(int, int\\).*Assertion `x >= 0 && y >= 0' failed");
}

TEST_F(Contract, ScreenNeedsBothStreams)
{
    EXPECT_DEATH(PlScreen(nullptr, new MemStream), "PlScreen::PlScreen.*Assertion `ttyin' failed");
    EXPECT_DEATH(PlScreen(new MemStream, nullptr), "PlScreen::PlScreen.*Assertion `ttyout' failed");
}
