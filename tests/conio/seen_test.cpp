// What an operator sees: console drawing sent through the screen's refresh
// and rendered by a terminal emulator.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "conhelpers.h"
#include "marked.h"
#include "testterm.h"
#include "vtscreen.h"

namespace {

bool wait_output(std::string_view needle)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (test_pty().output().find(needle) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TEST(Seen, FramedPanelWithMarkedUpText)
{
    reset_console();
    gettextinfo(nullptr);
    textattr(0x1f);
    drawframe(2, 2, 30, 6, 1, 1, 1, 1);
    window(3, 3, 29, 5);
    cprintf_marked(0x1e, 0x1f, 0x3e, "\x08" "CPU:\x08 %s\r\n\x08" "Disk:\x08 %-8s|\r\n%s", "x86", "\x07NONE\x07",
                   "end-of-panel");
    screen.refresh();
    ASSERT_TRUE(wait_output("end-of-panel"));

    VtScreen vt(25, 80);
    vt.feed(test_pty().output());
    SCOPED_TRACE(vt.dump());
    EXPECT_TRUE(vt.is_glyph(1, 1, 'l'));
    EXPECT_TRUE(vt.is_glyph(29, 1, 'k'));
    EXPECT_TRUE(vt.is_glyph(29, 5, 'j'));
    EXPECT_TRUE(vt.is_glyph(1, 5, 'm'));
    EXPECT_TRUE(vt.is_glyph(15, 1, 'q'));
    EXPECT_TRUE(vt.is_glyph(1, 3, 'x'));
    EXPECT_TRUE(vt.is_glyph(29, 4, 'x'));
    EXPECT_EQ(vt.plain(1).substr(1, 29), "+" + std::string(27, '-') + "+");

    EXPECT_EQ(vt.plain(2).substr(2, 8), "CPU: x86");
    EXPECT_EQ(vt.plain(3).substr(2, 13), "Disk: NONE  |");
    EXPECT_EQ(vt.plain(4).substr(2, 12), "end-of-panel");

    // Labels bright white, values yellow, the alert yellow on red; panels blue.
    const VtCell label = vt.cell(2, 2), value = vt.cell(7, 2), alert = vt.cell(8, 3), pad = vt.cell(12, 3);
    EXPECT_EQ(label.fg % 8, 7);
    EXPECT_TRUE(label.bold);
    EXPECT_EQ(label.bg, 4);
    EXPECT_EQ(value.fg % 8, 3);
    EXPECT_EQ(value.bg, 4);
    EXPECT_EQ(alert.fg % 8, 3);
    EXPECT_EQ(alert.bg, 1);
    EXPECT_EQ(pad.bg, 4);
    EXPECT_EQ(vt.cell(1, 1).fg % 8, 7);
    EXPECT_EQ(vt.cell(1, 1).bg, 4);
}

TEST(Seen, HelperControlBytesShowAsBlanks)
{
    reset_console();
    window(1, 10, 80, 12);
    textattr(0x07);
    cputs_text(OxString(std::string("ok\r\n\x1b[2J\x0e" "q\tdone", 15)));
    screen.refresh();
    ASSERT_TRUE(wait_output("done"));
    VtScreen vt(25, 80);
    vt.feed(test_pty().output());
    SCOPED_TRACE(vt.dump());
    // No clear, no move, no switch into line drawing: just blanks in place.
    EXPECT_EQ(vt.plain(9).substr(0, 15), "ok   [2J q done");
    EXPECT_FALSE(vt.is_glyph(9, 9, 'q'));
    EXPECT_EQ(vt.plain(10).substr(0, 4), "    ");
}

} // namespace
