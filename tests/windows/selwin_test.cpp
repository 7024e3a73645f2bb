// The selection window: scrolling, keys, following the end of a log, how
// its rows are drawn, and drawing deferred to the terminal's updates.
#include <random>
#include <string>
#include <vector>

#include "marked.h"
#include "selwin.h"
#include "testterm.h"
#include "wintest.h"

namespace {

// Counts draws so that tests can tell "nothing changed" from "drawn again".
class SpySel : public SelectionWin {
public:
    using SelectionWin::SelectionWin;
    void draw() override
    {
        draws++;
        SelectionWin::draw();
    }
    int draws = 0;
};

class SelWinTest : public WinTest {
protected:
    // 40 x 8 frame centred on 80 x 25: (21,9)-(60,16), six client rows 10-15.
    static void fill(SelectionWin &w, int n, const char *prefix = "item ")
    {
        for (int i = 0; i < n; i++)
            w.append(OxString("%s%s", prefix, i));
    }
};

TEST_F(SelWinTest, TwentyItemsPageThroughSixRows)
{
    SpySel w("", PlPoint(40, 8), false);
    fill(w, 20);
    w.show();
    EXPECT_EQ(w.current(), 0);
    EXPECT_EQ(w.gettop(), 0);
    const struct {
        int key, cur, top;
    } walk[] = {{KEY_PGDN, 5, 0}, {KEY_PGDN, 11, 6}, {KEY_END, 19, 14}, {KEY_PGUP, 14, 14}, {KEY_PGUP, 8, 8},
                {KEY_HOME, 0, 0}, {KEY_CTRL_PGDN, 19, 14}, {KEY_CTRL_PGUP, 0, 0}, {KEY_DOWN, 1, 0}};
    for (const auto &step : walk) {
        EXPECT_EQ(w.handlekey(step.key), step.cur) << "key " << step.key;
        EXPECT_EQ(w.current(), step.cur) << "key " << step.key;
        EXPECT_EQ(w.gettop(), step.top) << "key " << step.key;
        EXPECT_EQ(w.getlastkey(), step.key);
        // The highlight is on the current item's row.
        int row = 10 + step.cur - step.top;
        EXPECT_EQ(cell_at(22, row).attr, PlAttr(15, 4, false).get()) << "key " << step.key;
        EXPECT_EQ(row_text(row, 22, 30), OxString(" %-8.8s", OxString("item %s", step.cur)).cstr());
    }
}

TEST_F(SelWinTest, MovingPastEitherEndChangesAndDrawsNothing)
{
    SpySel w("Main Menu", PlPoint(40, 8), false);
    const char *items[] = {"Basic Compatibility Test", "Advanced", "Memory", "Burn-in", "Floppy", "Quit"};
    for (const char *s : items)
        w.append(s);
    w.show();
    int draws = w.draws;
    GridShot before = GridShot::take();
    EXPECT_EQ(w.handlekey(KEY_UP), 0);
    EXPECT_EQ(w.draws, draws);
    EXPECT_EQ(w.handlekey(KEY_END), 5);
    EXPECT_EQ(w.gettop(), 0) << "six items fit six rows";
    draws = w.draws;
    before = GridShot::take();
    EXPECT_EQ(w.handlekey(KEY_DOWN), 5);
    EXPECT_EQ(w.handlekey(KEY_PGDN), 5);
    EXPECT_EQ(w.draws, draws);
    EXPECT_TRUE(GridShot::take() == before);
    // No scroll marks when everything fits.
    for (int y = 10; y <= 15; y++)
        EXPECT_EQ(cell_at(60, y).ch, GLYPH_VLINE);
}

TEST_F(SelWinTest, EnterAndEscapeOnlySetLastkey)
{
    SpySel w("", PlPoint(40, 8), false);
    fill(w, 10);
    w.show();
    w.handlekey(KEY_DOWN);
    int draws = w.draws;
    GridShot before = GridShot::take();
    EXPECT_EQ(w.handlekey(13), 1);
    EXPECT_EQ(w.getlastkey(), 13);
    EXPECT_EQ(w.handlekey(27), 1);
    EXPECT_EQ(w.getlastkey(), 27);
    EXPECT_EQ(w.handlekey('x'), 1);
    EXPECT_EQ(w.getlastkey(), 'x');
    EXPECT_EQ(w.draws, draws);
    EXPECT_TRUE(GridShot::take() == before);
}

TEST_F(SelWinTest, KeyZeroReadsAKeyFromTheTerminal)
{
    SelectionWin w("", PlPoint(40, 8), false);
    fill(w, 10);
    w.show();
    test_pty().write_keys("\x1b[B");
    EXPECT_EQ(w.handlekey(0), 1);
    EXPECT_EQ(w.getlastkey(), KEY_DOWN);
    test_pty().write_keys("\x1b[6~");
    EXPECT_EQ(w.handlekey(0), 5);
    EXPECT_EQ(w.getlastkey(), KEY_PGDN);
    // A sequence the keyboard does not know reads as no key.
    test_pty().write_keys("\x1b[9~");
    EXPECT_EQ(w.handlekey(0), 0);
    EXPECT_EQ(w.getlastkey(), 0);
    EXPECT_EQ(w.current(), 5);
}

TEST_F(SelWinTest, ALogFollowsItsEndOnceTheLastItemIsCurrent)
{
    SelectionWin w("Details", PlPoint(40, 8), false);
    w.show();
    w.unfocus();
    w.focus();
    w.append("line 0");
    w.append("line 1");
    w.setcur(2);
    EXPECT_EQ(w.current(), 1);
    for (int i = 2; i < 30; i++) {
        w.append(OxString("line %s", i));
        EXPECT_EQ(w.current(), i);
        EXPECT_EQ(w.gettop(), std::max(0, i - 5));
    }
    w.unfocus();
    EXPECT_EQ(row_text(15, 22, 29), " line 29");
    EXPECT_EQ(cell_at(22, 15).attr, PlAttr(15, 4, false).get());
    EXPECT_EQ(row_text(10, 22, 29), " line 24");
}

TEST_F(SelWinTest, AMenuOnItsFirstItemDoesNotFollow)
{
    SelectionWin w("", PlPoint(40, 8), false);
    w.show();
    fill(w, 12);
    EXPECT_EQ(w.current(), 0);
    EXPECT_EQ(w.gettop(), 0);
    EXPECT_EQ(row_text(10, 22, 28), " item 0");
    EXPECT_EQ(cell_at(22, 10).attr, PlAttr(15, 4, false).get());
    EXPECT_EQ(row_text(15, 22, 28), " item 5");
    EXPECT_EQ(cell_at(22, 15).attr, PlAttr(0, 2, false).get());
}

TEST_F(SelWinTest, ItemsAreCutOrPaddedToTheClientWidth)
{
    SelectionWin w("", PlRect(10, 5, 29, 9), true);    // client columns 11-28
    w.append("abcdefghijklmnopqrstuvwxyz");
    w.append("ab");
    w.show();
    EXPECT_EQ(row_text(6, 11, 28), " abcdefghijklmnopq");
    EXPECT_EQ(cell_at(29, 6).ch, GLYPH_VLINE);
    EXPECT_EQ(row_text(7, 11, 28), " ab               ");
    for (int x = 11; x <= 28; x++) {
        EXPECT_EQ(cell_at(x, 6).attr, PlAttr(15, 4, false).get()) << "the highlight spans the row";
        EXPECT_EQ(cell_at(x, 7).attr, PlAttr(0, 2, false).get());
        EXPECT_EQ(cell_at(x, 8).ch, ' ') << "rows below the last item are blank";
        EXPECT_EQ(cell_at(x, 8).attr, PlAttr(0, 2, false).get());
    }
    EXPECT_EQ(screen.getcurx(), 11) << "cursor where the current item's text begins";
    EXPECT_EQ(screen.getcury(), 5);
}

TEST_F(SelWinTest, ControlBytesInAnItemEachShowAsOneBlank)
{
    SelectionWin w("", PlRect(10, 5, 29, 9), true);
    w.append(OxString(std::string_view("a\rb\nc\0d\x1b[2Je\tf", 14)));
    w.append("next");
    w.show();
    EXPECT_EQ(row_text(6, 11, 28), " a b c d [2Je f   ");
    EXPECT_EQ(row_text(7, 11, 15), " next");
    EXPECT_EQ(cell_at(10, 6).ch, GLYPH_VLINE);
}

TEST_F(SelWinTest, ScrollMarksShowTheListIsLongerThanTheWindow)
{
    SelectionWin w("", PlPoint(40, 8), false);
    fill(w, 7);
    w.show();
    const int mark = PlAttr(12, 1, false).get();
    EXPECT_EQ(cell_at(60, 10).ch, GLYPH_DIAMOND);
    EXPECT_EQ(cell_at(60, 15).ch, GLYPH_DIAMOND);
    for (int y = 11; y <= 14; y++) {
        EXPECT_EQ(cell_at(60, y).ch, GLYPH_CHECKER);
        EXPECT_EQ(cell_at(60, y).attr, mark);
    }
    EXPECT_EQ(cell_at(60, 10).attr, mark);
    EXPECT_EQ(cell_at(60, 9).ch, GLYPH_URCORNER);
    EXPECT_EQ(cell_at(60, 16).ch, GLYPH_LRCORNER);
}

TEST_F(SelWinTest, ScrollMarksOnAFourRowFrameAreTwoDiamonds)
{
    SelectionWin w("", PlRect(10, 5, 29, 8), true);
    fill(w, 3);
    w.show();
    EXPECT_EQ(cell_at(29, 6).ch, GLYPH_DIAMOND);
    EXPECT_EQ(cell_at(29, 7).ch, GLYPH_DIAMOND);
}

TEST_F(SelWinTest, ItemColoursAreReadAtEachDraw)
{
    SelectionWin w("", PlPoint(40, 8), false);
    fill(w, 3);
    selcolors.fg = 14;
    selcolors.bg = 1;
    w.show();
    EXPECT_EQ(cell_at(22, 11).attr, 0x1E);
    EXPECT_EQ(cell_at(21, 10).attr, 0x2F) << "the frame keeps the colours of construction";
    selcolors.selfg = 0;
    selcolors.selbg = 7;
    w.draw();
    EXPECT_EQ(cell_at(22, 10).attr, 0x70);
}

TEST_F(SelWinTest, ChoicestrSetviewAndReset)
{
    SpySel w("", PlPoint(40, 8), false);
    fill(w, 10);
    w.append("%s=%s", "key", 42);
    EXPECT_EQ(w.count(), 11);
    EXPECT_TRUE(w.choicestr(10) == "key=42");
    EXPECT_TRUE(w.choicestr(3) == "item 3");
    EXPECT_TRUE(!w.choicestr(-1));

    EXPECT_TRUE(w.setview(100, 100));
    EXPECT_EQ(w.gettop(), 5);
    EXPECT_EQ(w.current(), 10);
    EXPECT_FALSE(w.setview(5, 10));
    EXPECT_EQ(w.draws, 0) << "hidden windows are not drawn";
    w.show();
    int draws = w.draws;
    EXPECT_FALSE(w.setview(5, 10, true));
    EXPECT_EQ(w.draws, draws);
    EXPECT_TRUE(w.setview(2, 3, true));
    EXPECT_EQ(w.draws, draws + 1);
    EXPECT_TRUE(w.setview(-5, -5, false));
    EXPECT_EQ(w.draws, draws + 1);
    EXPECT_EQ(w.gettop(), 0);
    EXPECT_EQ(w.current(), 0);

    w.setcur(7);
    w.handlekey('q');
    w.reset();
    EXPECT_EQ(w.current(), 0);
    EXPECT_EQ(w.gettop(), 0);
    EXPECT_EQ(w.getlastkey(), 0);
}

TEST_F(SelWinTest, AnEmptyListIsAnEmptyWindow)
{
    SelectionWin w("Empty", PlPoint(40, 8), false);
    w.show();
    for (int key : {KEY_DOWN, KEY_UP, KEY_PGDN, KEY_PGUP, KEY_END, KEY_HOME})
        EXPECT_EQ(w.handlekey(key), 0);
    EXPECT_EQ(w.current(), 0);
    EXPECT_EQ(w.gettop(), 0);
    for (int y = 10; y <= 15; y++)
        EXPECT_EQ(row_text(y, 22, 59), std::string(38, ' '));
}

TEST(SelWinDeath, ChoicestrPastTheEndIsAProgrammingError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            SelectionWin w("", PlPoint(40, 8), false);
            w.append("one");
            w.choicestr(1);
        },
        "which < \\(int\\)sels.count\\(\\)");
    EXPECT_DEATH(
        {
            SelectionWin w("", PlPoint(40, 8), false);
            w.draw();
        },
        "visible");
}

// A list whose drawing is deferred to the moments the terminal is brought up
// to date shows, at each of those moments, exactly what drawing it at every
// change shows: the same cells, the same console state, the same cursor.
// What a refresh would send, and what the next drawing starts from.
struct Moment {
    GridShot grid;
    text_info console;
    int curx, cury;
    bool operator==(const Moment &o) const
    {
        return grid == o.grid && curx == o.curx && cury == o.cury && console.winleft == o.console.winleft &&
               console.wintop == o.console.wintop && console.winright == o.console.winright &&
               console.winbottom == o.console.winbottom && console.curx == o.console.curx &&
               console.cury == o.console.cury && console.attribute.get() == o.console.attribute.get();
    }
};

// The compatibility screen's pattern: a panel redrawn for every update and
// a Details log fed lines and keys in between. Returns the moments of the
// updates and how often the list was drawn.
std::vector<Moment> feed(bool deferred, unsigned seed, int &draws)
{
    fill_backdrop();
    std::mt19937 rng(seed);
    OvlWin panel("Test", PlRect(3, 3, 78, 11), PANEL_COLORS.fg, PANEL_COLORS.bg, PANEL_COLORS.frame, true);
    panel.show();
    panel.unfocus();
    SpySel details("Details", PlRect(3, 13, 78, 23), true);
    details.append("Running: compat.pl ");
    details.append("");
    details.show();
    details.setcur(2);
    details.setdeferred(deferred);
    const int navkeys[] = {KEY_UP, KEY_DOWN, KEY_PGUP, KEY_PGDN, KEY_HOME, KEY_END, 'x'};
    std::vector<Moment> moments;
    for (int step = 0; step < 3000; step++) {
        const unsigned r = rng() % 100;
        if (r < 80) {
            details.append(OxString("line %s %s", step, std::string(rng() % 90, char('a' + rng() % 26))));
        } else if (r < 90) {
            details.handlekey(navkeys[rng() % 7]);
        } else {
            details.drawdeferred();
            panel.focus();
            clrscr();
            cprintf_marked(PANEL_TEXT, "\x08Step:\x08 %s", step);
            panel.unfocus();
            text_info t;
            gettextinfo(&t);
            moments.push_back({GridShot::take(), t, screen.getcurx(), screen.getcury()});
        }
    }
    draws = details.draws;
    return moments;
}

TEST_F(WinTest, DeferredListShowsAtEveryUpdateWhatAnEagerOneShows)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        int eagerdraws = 0, lazydraws = 0;
        const std::vector<Moment> eager = feed(false, seed, eagerdraws);
        const std::vector<Moment> lazy = feed(true, seed, lazydraws);
        ASSERT_EQ(eager.size(), lazy.size());
        for (size_t i = 0; i < eager.size(); i++)
            ASSERT_TRUE(eager[i] == lazy[i]) << "seed " << seed << ", update " << i << ": "
                                             << diff_cells(eager[i].grid, lazy[i].grid);
        EXPECT_LE(lazydraws, int(lazy.size()) + 1) << "drawn between updates";
        EXPECT_GT(eagerdraws, 5 * lazydraws);
    }
}

TEST_F(WinTest, DeferredListDrawsNothingUnchanged)
{
    SpySel details("Details", PlRect(3, 13, 78, 23), true);
    details.append("a");
    details.show();
    details.setdeferred(true);
    const int before = details.draws;
    details.drawdeferred();
    EXPECT_EQ(details.draws, before);
    details.append("b");
    EXPECT_EQ(details.draws, before);
    details.drawdeferred();
    EXPECT_EQ(details.draws, before + 1);
    // Back to drawing at once: what was left over is drawn on the way.
    details.append("c");
    details.setdeferred(false);
    EXPECT_EQ(details.draws, before + 2);
    details.append("d");
    EXPECT_EQ(details.draws, before + 3);
}

} // namespace
