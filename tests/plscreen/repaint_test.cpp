// A repaint on demand (Ctrl-L, a resize) puts the whole screen on the wire
// again, byte for byte as a first refresh would, after switching autowrap
// off; the terminal gets autowrap back when the screen goes.
#include <gtest/gtest.h>

#include "testterm.h"

namespace {

const std::string REPAINT_HEAD = "\x1b[?7l\x1b(B\x1b[0m";

void draw_sample(PlScreen &s)
{
    *s.cell(0, 0) = PlCell('x', PlAttr(0x1E));
    *s.cell(40, 12) = PlCell(0xF1, PlAttr(0x07));
    *s.cell(79, 23) = PlCell('y', PlAttr(0x87));
    s.gotoxy(3, 4);
}

TEST(Repaint, SendsWhatAFirstRefreshSendsAfterSwitchingAutowrapOff)
{
    MemScreen fresh(false);
    draw_sample(*fresh.scr);
    const std::string first = fresh.refresh();

    MemScreen m;
    draw_sample(*m.scr);
    m.refresh();
    PlScreen::request_repaint();
    EXPECT_EQ(m.refresh(), REPAINT_HEAD + first);
    // Taken once: the next refresh has nothing to send.
    EXPECT_EQ(m.refresh(), "");
    EXPECT_TRUE(PlScreen::autowrap_is_off());
}

TEST(Repaint, AutowrapComesBackWithTheRestoreOnlyWhenItWasSwitchedOff)
{
    for (bool repainted : {false, true}) {
        std::string wire;
        auto *term = new MemStream;
        term->copy_to = &wire;
        {
            PlScreen s(term, term);
            s.refresh();
            if (repainted) {
                PlScreen::request_repaint();
                s.refresh();
            }
            wire.clear();
        }
        EXPECT_EQ(wire, std::string(repainted ? "\x1b[?7h" : "") + "\x1b[0;37;40m\x1b[?25h\x1b[25;2H\n");
        EXPECT_FALSE(PlScreen::autowrap_is_off());
    }
}

} // namespace
