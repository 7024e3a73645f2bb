// The base window: saving what it covers, painting its own look back, and
// taking and giving back the console's output state.
#include "win.h"
#include "wintest.h"

namespace {

// Counts draws and paints its whole rectangle with one letter when drawn.
class PaintWin : public PlWin {
public:
    PaintWin(const PlRect &r, char c, int attr) : PlWin(r), ch(c), at(attr) {}
    void draw() override
    {
        PlWin::draw();
        draws++;
        PlRect r = getrect();
        fillbox(r.tl.x, r.tl.y, r.br.x, r.br.y, ch, at);
    }
    int draws = 0;
    char ch;
    int at;
};

using PlWinTest = WinTest;

TEST_F(PlWinTest, ShowDrawsOnceAndHideRestoresEveryCell)
{
    GridShot before = GridShot::take();
    PaintWin w(PlRect(10, 5, 30, 9), 'X', 0x1E);
    EXPECT_TRUE(GridShot::take() == before) << "constructing draws nothing";
    EXPECT_FALSE(w.isvisible());
    w.show();
    EXPECT_TRUE(w.isvisible());
    EXPECT_EQ(w.draws, 1);
    EXPECT_EQ(cell_at(10, 5).ch, 'X');
    EXPECT_EQ(cell_at(30, 9).attr, 0x1E);
    EXPECT_EQ(cell_at(31, 9).ch, backdrop_char(31, 9));
    w.hide();
    EXPECT_FALSE(w.isvisible());
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == before) << diff_cells(before, after);
}

TEST_F(PlWinTest, StackedWindowsHiddenInReverseOrderLeaveTheScreenAsBefore)
{
    GridShot before = GridShot::take();
    PaintWin a(PlRect(5, 3, 40, 12), 'A', 0x17);
    PaintWin b(PlRect(20, 8, 60, 20), 'B', 0x4F);
    a.show();
    GridShot witha = GridShot::take();
    b.show();
    EXPECT_EQ(cell_at(20, 8).ch, 'B');
    EXPECT_EQ(cell_at(19, 8).ch, 'A');
    EXPECT_EQ(cell_at(61, 20).ch, backdrop_char(61, 20));
    b.hide();
    GridShot afterb = GridShot::take();
    EXPECT_TRUE(afterb == witha) << diff_cells(witha, afterb);
    a.hide();
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == before) << diff_cells(before, after);
}

TEST_F(PlWinTest, DestroyingAShownWindowRestoresWhatItCovered)
{
    GridShot before = GridShot::take();
    {
        PaintWin w(PlRect(1, 1, 80, 25), 'Z', 0x70);
        w.show();
        EXPECT_EQ(cell_at(80, 25).ch, 'Z');
    }
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == before) << diff_cells(before, after);
}

TEST_F(PlWinTest, ShownAgainItRepaintsItsLastLookWithoutDrawing)
{
    PaintWin w(PlRect(10, 5, 30, 9), 'X', 0x1E);
    w.show();
    // Output while focused becomes part of the window's look at unfocus.
    gotoxy(3, 2);
    cputs("hello");
    w.unfocus();
    GridShot shown = GridShot::take();
    w.hide();
    EXPECT_EQ(cell_at(12, 6).ch, backdrop_char(12, 6));
    w.show();
    EXPECT_EQ(w.draws, 1) << "a drawn window is repainted from its image";
    GridShot again = GridShot::take();
    EXPECT_TRUE(again == shown) << diff_cells(shown, again);
    EXPECT_EQ(row_text(6, 12, 16), "hello");
}

TEST_F(PlWinTest, NeverDrawnWindowShowsTheCellsFoundAtConstruction)
{
    PlWin w(PlRect(10, 5, 30, 9));
    fillbox(1, 1, 80, 25, '.', 0x07);   // the screen changes after construction
    GridShot dotted = GridShot::take();
    w.show();
    EXPECT_EQ(cell_at(10, 5).ch, backdrop_char(10, 5));
    EXPECT_EQ(cell_at(30, 9).ch, backdrop_char(30, 9));
    EXPECT_EQ(cell_at(31, 9).ch, '.');
    EXPECT_EQ(cell_at(10, 10).ch, '.');
    w.hide();
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == dotted) << diff_cells(dotted, after);
}

TEST_F(PlWinTest, HidingAHiddenWindowAndShowingAShownOneChangeNothing)
{
    PaintWin w(PlRect(10, 5, 30, 9), 'X', 0x1E);
    GridShot before = GridShot::take();
    w.hide();
    EXPECT_TRUE(GridShot::take() == before);
    w.show();
    const std::string focused = console_state();
    fillbox(10, 5, 10, 5, 'Q', 0x07);       // changed behind the window's back
    w.show();
    EXPECT_EQ(cell_at(10, 5).ch, 'Q') << "no repaint";
    EXPECT_EQ(w.draws, 1);
    EXPECT_EQ(console_state(), focused);
    w.hide();
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == before) << diff_cells(before, after);
}

TEST_F(PlWinTest, FocusInstallsTheWindowRegionAndUnfocusPutsTheOldOneBack)
{
    window(2, 2, 70, 20);
    textattr(0x5A);
    const std::string outside = "(2,2)-(70,20) attr 5a cursor 1,1";
    PaintWin w(PlRect(10, 5, 30, 9), 'X', 0x1E);
    EXPECT_EQ(console_state(), outside) << "construction leaves the console state alone";
    w.show();
    EXPECT_EQ(console_state(), "(10,5)-(30,9) attr 5a cursor 1,1")
        << "a new window takes the attribute current when it was built";
    textattr(0x2E);
    w.unfocus();
    EXPECT_EQ(console_state(), outside);
    w.focus();
    EXPECT_EQ(console_state(), "(10,5)-(30,9) attr 2e cursor 1,1")
        << "the window keeps its own attribute; focus puts the cursor at the region's top-left";
    putch('k');
    EXPECT_EQ(cell_at(10, 5).ch, 'k');
    EXPECT_EQ(cell_at(10, 5).attr, 0x2E);
    w.unfocus();
    EXPECT_EQ(console_state(), outside);
}

TEST_F(PlWinTest, HiddenWhileUnfocusedItKeepsItsOwnRegion)
{
    window(2, 2, 70, 20);
    textattr(0x5A);
    const std::string outside = "(2,2)-(70,20) attr 5a cursor 1,1";
    PaintWin w(PlRect(10, 5, 30, 9), 'X', 0x1E);
    w.show();
    textattr(0x2E);
    w.unfocus();
    w.hide();           // not holding the focus: the console state is left alone
    EXPECT_EQ(console_state(), outside);
    w.show();
    EXPECT_EQ(console_state(), "(10,5)-(30,9) attr 2e cursor 1,1")
        << "shown again, the window's output goes into the window";
    w.hide();
    EXPECT_EQ(console_state(), outside);
}

TEST_F(PlWinTest, MoveShiftsTheWindowAndItsOutputRegion)
{
    GridShot before = GridShot::take();
    PaintWin w(PlRect(10, 5, 19, 8), 'M', 0x1E);
    w.show();
    w.unfocus();
    w.move(PlPoint(40, 10));
    PlRect r = w.getrect();
    EXPECT_EQ(corners(r), "(40,10)-(49,13)");
    EXPECT_EQ(cell_at(10, 5).ch, backdrop_char(10, 5)) << "the old place is restored";
    EXPECT_EQ(cell_at(40, 10).ch, 'M');
    EXPECT_EQ(cell_at(49, 13).ch, 'M');
    EXPECT_EQ(console_state(), corners(r) + " attr 07 cursor 1,1") << "the moved window is shown, and so has the focus";
    w.hide();
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == before) << diff_cells(before, after);
}

TEST_F(PlWinTest, MoveNearTheCornerKeepsTheWindowWhole)
{
    PaintWin w(PlRect(10, 5, 19, 8), 'M', 0x1E);
    w.show();
    w.move(PlPoint(78, 24));
    PlRect r = w.getrect();
    EXPECT_EQ(corners(r), "(71,22)-(80,25)");
    EXPECT_EQ(cell_at(80, 25).ch, 'M');
    w.hide();
}

TEST_F(PlWinTest, MovingAHiddenWindowKeepsItHidden)
{
    GridShot before = GridShot::take();
    PaintWin w(PlRect(10, 5, 19, 8), 'M', 0x1E);
    w.move(PlPoint(30, 3));
    EXPECT_FALSE(w.isvisible());
    EXPECT_TRUE(GridShot::take() == before);
}

TEST(PlWinDeath, FocusingAHiddenWindowIsAProgrammingError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            PlWin w(PlRect(10, 5, 30, 9));
            w.focus();
        },
        "!hasfocus \\|\\| visible");
    EXPECT_DEATH(
        {
            PlWin w(PlRect(10, 5, 30, 9));
            w.unfocus();
        },
        "!hasfocus \\|\\| visible");
}

} // namespace
