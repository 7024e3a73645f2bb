// A list whose drawing is deferred to the moments the terminal is brought up
// to date shows, at each of those moments, exactly what drawing it at every
// change shows: the same cells, the same console state, the same cursor.
#include <random>
#include <string>
#include <vector>

#include "marked.h"
#include "selwin.h"
#include "wintest.h"

namespace {

class CountingSel : public SelectionWin {
public:
    using SelectionWin::SelectionWin;
    void draw() override
    {
        draws++;
        SelectionWin::draw();
    }
    int draws = 0;
};

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
    CountingSel details("Details", PlRect(3, 13, 78, 23), true);
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
    CountingSel details("Details", PlRect(3, 13, 78, 23), true);
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
