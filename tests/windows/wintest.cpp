#include "wintest.h"

#include "ovlwin.h"
#include "selwin.h"

char backdrop_char(int x, int y)
{
    return char('a' + (x + 3 * y) % 26);
}

void fill_backdrop()
{
    text_info t;
    gettextinfo(&t);
    window(1, 1, t.screenwidth, t.screenheight);
    textattr(0x07);
    for (int y = 1; y <= t.screenheight; y++)
        for (int x = 1; x <= t.screenwidth; x++)
            *screen.cell(x - 1, y - 1) = PlCell(backdrop_char(x, y), PlAttr(0x07));
    gotoxy(1, 1);
}

std::string take_refreshes(size_t count, int timeout_ms)
{
    auto complete = [count](const std::string &out) {
        size_t n = 0;
        for (size_t pos = out.find(REFRESH_TAIL); pos != std::string::npos;
             pos = out.find(REFRESH_TAIL, pos + 1))
            n++;
        return n >= count;
    };
    EXPECT_TRUE(test_pty().wait_until(complete, timeout_ms)) << "terminal output did not arrive";
    return test_pty().take_output();
}

Seen::Seen() : vt(screen.getysize(), screen.getxsize())
{
    test_pty().wait_quiet(20, 2000);
    test_pty().clear_output();
    screen.refresh(true);
    vt.feed(take_refreshes(1));
}

void expect_shown_attr(const VtScreen &vt, int x, int y, int attr, const char *what)
{
    VtCell c = vt.cell(x - 1, y - 1);
    int fg = PlScreen::cons_to_ansi(attr & 7);
    int bg = PlScreen::cons_to_ansi((attr >> 4) & 7);
    EXPECT_EQ(c.fg & 7, fg) << what << " at (" << x << "," << y << ") foreground";
    EXPECT_EQ(c.bg & 7, bg) << what << " at (" << x << "," << y << ") background";
    EXPECT_EQ(c.bold, (attr & 8) != 0) << what << " at (" << x << "," << y << ") brightness";
    EXPECT_EQ(c.blink, (attr & 0x80) != 0) << what << " at (" << x << "," << y << ") blink";
}

void WinTest::SetUp()
{
    // The screen took its size from its terminal: 80 x 25, or 20 x 8 for
    // the small binary.
    ASSERT_EQ(screen.getxsize(), test_pty().cols());
    ASSERT_EQ(screen.getysize(), test_pty().rows());
    kbflush();
    winstyle = PlWinStyle();
    winstyle.explode = 0;           // the animation has tests of its own
    selcolors = PlSelColors();
    fill_backdrop();
}
