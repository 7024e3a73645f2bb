// The framed window: frame, title, shadow, client area, colours and the
// opening animation, checked on the drawing grid.
#include "ovlwin.h"
#include "testterm.h"
#include "wintest.h"

namespace {

using OvlWinTest = WinTest;

TEST_F(OvlWinTest, FrameClientAreaAndConsoleStateAfterDraw)
{
    OvlWin w("", PlRect(10, 5, 29, 9), 14, 1, 15, true);
    PlRect f = w.framerect();
    EXPECT_EQ(corners(f), "(10,5)-(29,9)");
    PlRect r = w.getrect();
    EXPECT_EQ(r.br.x, 31) << "the window carries the shadow's margin";
    EXPECT_EQ(r.br.y, 10);
    w.show();

    EXPECT_EQ(cell_at(10, 5).ch, GLYPH_ULCORNER);
    EXPECT_EQ(cell_at(29, 5).ch, GLYPH_URCORNER);
    EXPECT_EQ(cell_at(29, 9).ch, GLYPH_LRCORNER);
    EXPECT_EQ(cell_at(10, 9).ch, GLYPH_LLCORNER);
    for (int x = 11; x <= 28; x++) {
        EXPECT_EQ(cell_at(x, 5).ch, GLYPH_HLINE) << "top border, column " << x << " (empty title)";
        EXPECT_EQ(cell_at(x, 9).ch, GLYPH_HLINE);
    }
    for (int y = 6; y <= 8; y++) {
        EXPECT_EQ(cell_at(10, y).ch, GLYPH_VLINE);
        EXPECT_EQ(cell_at(29, y).ch, GLYPH_VLINE);
        EXPECT_EQ(cell_at(10, y).attr, 0x1F);
        for (int x = 11; x <= 28; x++) {
            EXPECT_EQ(cell_at(x, y).ch, ' ');
            EXPECT_EQ(cell_at(x, y).attr, 0x1E);
        }
    }
    EXPECT_EQ(cell_at(10, 5).attr, 0x1F);

    EXPECT_EQ(console_state(), "(11,6)-(28,8) attr 1e cursor 1,1");

    // Later output in the focused window lands in the client area.
    w.unfocus();
    w.focus();
    cputs("hi");
    EXPECT_EQ(row_text(6, 11, 12), "hi");
    EXPECT_EQ(cell_at(11, 6).attr, 0x1E);
    w.unfocus();
}

TEST_F(OvlWinTest, ShadowDarkensRightAndBelowKeepingTheCharacters)
{
    GridShot before = GridShot::take();
    OvlWin w("", PlRect(10, 5, 29, 9), 14, 1, 15, false);
    w.show();
    auto shadowed = [](int x, int y) {
        return ((x == 30 || x == 31) && y >= 6 && y <= 10) || (y == 10 && x >= 12 && x <= 31);
    };
    for (int y = 4; y <= 11; y++)
        for (int x = 8; x <= 33; x++) {
            if (x >= 10 && x <= 29 && y >= 5 && y <= 9)
                continue;
            PlCell c = cell_at(x, y);
            EXPECT_EQ(c.ch, backdrop_char(x, y)) << "(" << x << "," << y << ") keeps its character";
            EXPECT_EQ(c.attr, shadowed(x, y) ? 0x08 : 0x07) << "(" << x << "," << y << ")";
        }
    w.hide();
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == before) << diff_cells(before, after);
}

TEST_F(OvlWinTest, WithoutShadowNothingOutsideTheFrameChangesYetTheMarginIsRestored)
{
    GridShot before = GridShot::take();
    OvlWin w("", PlRect(10, 5, 29, 9), 14, 1, 15, true);
    w.show();
    for (int y = 5; y <= 10; y++)
        for (int x = 30; x <= 31; x++)
            EXPECT_EQ(cell_at(x, y).attr, 0x07);
    for (int x = 10; x <= 31; x++)
        EXPECT_EQ(cell_at(x, 10).attr, 0x07);
    fillbox(30, 5, 31, 10, '#', 0x4F);      // written into the margin while shown
    fillbox(10, 10, 31, 10, '#', 0x4F);
    w.hide();
    GridShot after = GridShot::take();
    EXPECT_TRUE(after == before) << diff_cells(before, after);
}

TEST_F(OvlWinTest, TitleIsCentredInTheTopBorderWithABlankEachSide)
{
    OvlWin w("Main Menu", PlPoint(40, 8), 14, 1, 15, false);
    PlRect f = w.framerect();
    ASSERT_EQ(f.tl.x, 21);
    ASSERT_EQ(f.tl.y, 9);
    w.show();
    EXPECT_EQ(cell_at(34, 9).ch, GLYPH_HLINE);
    EXPECT_EQ(row_text(9, 35, 45), " Main Menu ");
    EXPECT_EQ(cell_at(46, 9).ch, GLYPH_HLINE);
    for (int x = 35; x <= 45; x++)
        EXPECT_EQ(cell_at(x, 9).attr, 0x1F) << "title in the frame colours";
    EXPECT_EQ(cell_at(21, 9).ch, GLYPH_ULCORNER);
    EXPECT_EQ(cell_at(60, 9).ch, GLYPH_URCORNER);
}

TEST_F(OvlWinTest, TitleTooLongForTheBorderIsCutSoTheCornersStay)
{
    OvlWin w("A title far longer than this frame", PlRect(10, 5, 29, 9), 14, 1, 15, true);
    w.show();
    EXPECT_EQ(cell_at(10, 5).ch, GLYPH_ULCORNER);
    EXPECT_EQ(cell_at(29, 5).ch, GLYPH_URCORNER);
    EXPECT_EQ(row_text(5, 11, 28), " A title far long ");
    EXPECT_EQ(cell_at(30, 5).ch, backdrop_char(30, 5));
}

TEST_F(OvlWinTest, TitleOfExactlyFrameWidthMinusFourFits)
{
    OvlWin w("1234567890123456", PlRect(10, 5, 29, 9), 14, 1, 15, true);
    w.show();
    EXPECT_EQ(row_text(5, 11, 28), " 1234567890123456 ");
    EXPECT_EQ(cell_at(10, 5).ch, GLYPH_ULCORNER);
    EXPECT_EQ(cell_at(29, 5).ch, GLYPH_URCORNER);
}

TEST_F(OvlWinTest, FrameInTheBottomRightCornerIsShiftedByTheShadowMargin)
{
    OvlWin w("", PlRect(61, 20, 80, 25), 14, 1, 15, false);
    PlRect f = w.framerect();
    EXPECT_EQ(corners(f), "(59,19)-(78,24)");
    w.show();
    EXPECT_EQ(cell_at(80, 25).attr, 0x08);
    EXPECT_EQ(cell_at(78, 24).ch, GLYPH_LRCORNER);
}

TEST_F(OvlWinTest, SettersChangeTheColoursOfTheNextDraw)
{
    OvlWin w("T", PlRect(10, 5, 29, 9), 14, 1, 15, true);
    w.setattr(0xF4);                 // the blink bit is dropped
    text_info t;
    gettextinfo(&t);
    EXPECT_EQ(t.attribute.get(), 0x74);
    w.setframecolor(10);
    gettextinfo(&t);
    EXPECT_EQ(t.attribute.get(), 0x74) << "the frame colour is only stored";
    w.show();
    EXPECT_EQ(cell_at(10, 5).attr, 0x7A);
    EXPECT_EQ(cell_at(11, 6).attr, 0x74);
    w.setcolor(2);
    gettextinfo(&t);
    EXPECT_EQ(t.attribute.get(), 0x72);
    w.setbgcolor(9);
    gettextinfo(&t);
    EXPECT_EQ(t.attribute.get(), 0x92);
    EXPECT_EQ(cell_at(11, 6).attr, 0x74) << "setters do not redraw";
    w.draw();
    EXPECT_EQ(cell_at(11, 6).attr, 0x92);
    EXPECT_EQ(cell_at(10, 5).attr, 0x9A);
}

// Splits pty output at the end of each refresh.
std::vector<std::string> split_refreshes(const std::string &out)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t pos = out.find(REFRESH_TAIL); pos != std::string::npos; pos = out.find(REFRESH_TAIL, start)) {
        start = pos + REFRESH_TAIL.size();
        parts.push_back(out.substr(0, start));
    }
    return parts;
}

TEST_F(OvlWinTest, OpeningAnimationShowsGrowingBoxesWithAPauseAfterEach)
{
    winstyle.explode = 1;
    OvlWin w("", PlPoint(40, 8), 14, 1, 15, true);
    PlRect f = w.framerect();
    ASSERT_EQ(f.tl.x, 21);
    ASSERT_EQ(f.br.x, 60);
    Seen seen;
    w.show();
    // Each pause brings the terminal up to date once: five pauses, five pictures.
    ASSERT_TRUE(test_pty().wait_quiet(100, 3000));
    std::string out = test_pty().take_output();
    std::vector<std::string> upto = split_refreshes(out);
    ASSERT_EQ(upto.size(), 5u) << "pauses during the animation";

    const int insets[5][2] = {{19, 3}, {16, 2}, {13, 1}, {10, 0}, {7, 0}};
    size_t fed = 0;
    for (int k = 0; k < 5; k++) {
        seen.vt.feed(std::string_view(upto[size_t(k)]).substr(fed));
        fed = upto[size_t(k)].size();
        int x1 = f.tl.x + insets[k][0], y1 = f.tl.y + insets[k][1];
        int x2 = f.br.x - insets[k][0], y2 = f.br.y - insets[k][1];
        SCOPED_TRACE("box " + std::to_string(k + 1));
        EXPECT_TRUE(seen.vt.is_glyph(x1 - 1, y1 - 1, 'l')) << seen.vt.dump();
        EXPECT_TRUE(seen.vt.is_glyph(x2 - 1, y1 - 1, 'k'));
        EXPECT_TRUE(seen.vt.is_glyph(x2 - 1, y2 - 1, 'j'));
        EXPECT_TRUE(seen.vt.is_glyph(x1 - 1, y2 - 1, 'm'));
        EXPECT_EQ(seen.vt.cell(x1 - 2, y1 - 1).text, std::string(1, backdrop_char(x1 - 1, y1)))
            << "left of the box is still the backdrop";
        if (k > 0) {
            EXPECT_FALSE(seen.vt.is_glyph(f.tl.x + insets[k - 1][0] - 1, f.tl.y + insets[k - 1][1] - 1, 'l'))
                << "the smaller box before is covered";
        }
        expect_shown_attr(seen.vt, x1, y1, 0x1F, "box corner");
    }
    screen.refresh();
    seen.vt.feed(take_refreshes(1));
    EXPECT_TRUE(seen.vt.is_glyph(20, 8, 'l'));
    EXPECT_TRUE(seen.vt.is_glyph(59, 15, 'j'));
    EXPECT_TRUE(seen.vt.is_glyph(24, 8, 'q')) << "the top border runs where the boxes had corners";
}

TEST_F(OvlWinTest, OnlyTheFirstDrawAnimates)
{
    winstyle.explode = 1;
    OvlWin w("", PlPoint(40, 8), 14, 1, 15, true);
    w.show();
    screen.refresh();
    ASSERT_TRUE(test_pty().wait_quiet(50, 3000));
    test_pty().clear_output();
    // Any pause would bring this change to the terminal.
    fillbox(1, 1, 1, 1, '!', 0x07);
    w.draw();
    w.hide();
    w.show();
    EXPECT_TRUE(test_pty().wait_quiet(50, 3000));
    EXPECT_EQ(test_pty().output(), "") << "no pause, so no refresh";
}

TEST_F(OvlWinTest, TinyFramesStillFinishTheirAnimation)
{
    winstyle.explode = 1;
    for (int w = 1; w <= 7; w++)
        for (int h = 1; h <= 5; h++) {
            OvlWin win("x", PlRect(30, 10, 30 + w - 1, 10 + h - 1), 14, 1, 15, false);
            win.show();
            EXPECT_TRUE(win.isvisible());
        }
}

TEST(OvlWinDeath, DrawingAHiddenWindowIsAProgrammingError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            OvlWin w("", PlRect(10, 5, 29, 9), 14, 1, 15, true);
            w.draw();
        },
        "visible");
}

} // namespace
