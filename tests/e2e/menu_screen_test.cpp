// The start screen as the operator sees it: backdrop, title and status bars,
// and the main menu with its highlight and shadow.
#include <string>

#include "e2e.h"

namespace {

const std::string title = "ORVEX Compatibility and Diagnostics";
const std::string version = "Version 3.75c #0";
const std::string help = "[ENTER] Select   [ESC] Go Back";

void expect_bar_colours(PtyRun &run, int y)
{
    for (int x = 0; x < run.cols(); x++) {
        VtCell c = run.vt().cell(x, y);
        ASSERT_EQ(c.fg, ANSI_BLACK) << "bar row " << y << " column " << x;
        ASSERT_EQ(c.bg, ANSI_CYAN) << "bar row " << y << " column " << x;
        ASSERT_FALSE(c.bold) << "bar row " << y << " column " << x;
    }
}

void expect_backdrop(PtyRun &run, int x, int y)
{
    VtCell c = run.vt().cell(x, y);
    EXPECT_TRUE(run.vt().is_glyph(x, y, 'a')) << "(" << x << "," << y << ")\n" << run.dump();
    EXPECT_EQ(c.fg, ANSI_BLUE) << "(" << x << "," << y << ")";
    EXPECT_EQ(c.bg, ANSI_BLACK) << "(" << x << "," << y << ")";
    EXPECT_FALSE(c.bold) << "(" << x << "," << y << ")";
}

void expect_shadow(PtyRun &run, int x, int y)
{
    VtCell c = run.vt().cell(x, y);
    EXPECT_TRUE(run.vt().is_glyph(x, y, 'a')) << "shadow keeps the backdrop glyph at (" << x << "," << y << ")";
    EXPECT_TRUE(c.fg == ANSI_BLACK || c.fg == 8) << "(" << x << "," << y << ") fg " << c.fg;
    EXPECT_TRUE(c.bold) << "(" << x << "," << y << ")";
    EXPECT_EQ(c.bg, ANSI_BLACK) << "(" << x << "," << y << ")";
}

class MenuScreen : public ::testing::TestWithParam<int> {};

TEST_P(MenuScreen, BarsBackdropAndMenuAsShown)
{
    const int rows = GetParam();
    StubDir stubs;
    auto run = start_rundiags(stubs, 80, rows);
    ASSERT_TRUE(wait_menu(*run));

    // Title bar: title from column 2, version ending at column 79, blanks around.
    const std::string top = " " + title + std::string(78 - title.size() - version.size(), ' ') + version + " ";
    EXPECT_EQ(run->row(0), top);
    expect_bar_colours(*run, 0);
    // Status bar: the help text bottom-left, nothing at the right end yet.
    const std::string bottom = " " + help + std::string(79 - help.size(), ' ');
    EXPECT_EQ(run->row(rows - 1), bottom);
    expect_bar_colours(*run, rows - 1);

    // Backdrop wherever nothing else lies.
    for (int y : {1, 3, rows - 2})
        for (int x : {0, 5, 19, 62, 79})
            expect_backdrop(*run, x, y);

    // The menu: 40 x 8 frame at columns 21-60, rows 9-16 (1-based).
    const int x1 = 20, x2 = 59, y1 = 8, y2 = 15;
    EXPECT_TRUE(run->vt().is_glyph(x1, y1, 'l'));
    EXPECT_TRUE(run->vt().is_glyph(x2, y1, 'k'));
    EXPECT_TRUE(run->vt().is_glyph(x1, y2, 'm'));
    EXPECT_TRUE(run->vt().is_glyph(x2, y2, 'j'));
    EXPECT_TRUE(run->vt().is_glyph(x1 + 1, y2, 'q'));
    EXPECT_TRUE(run->vt().is_glyph(x1, y1 + 3, 'x'));
    EXPECT_TRUE(run->vt().is_glyph(x2, y1 + 3, 'x'));
    EXPECT_EQ(run->row(y1).substr(34, 11), " Main Menu ");
    VtCell frame = run->vt().cell(x1, y1);
    EXPECT_EQ(frame.fg, ANSI_WHITE);
    EXPECT_TRUE(frame.bold);
    EXPECT_EQ(frame.bg, ANSI_BLUE);

    const char *items[] = {"Basic Compatibility Test", "Advanced Compatibility Test", "Memory test",
                           "Burn-in test", "Copy results to floppy disk", "Quit"};
    for (int i = 0; i < 6; i++) {
        std::string expect = std::string(" ") + items[i];
        expect.resize(38, ' ');
        EXPECT_EQ(run->row(y1 + 1 + i).substr(21, 38), expect) << "item " << i;
        for (int x = 21; x <= 58; x++) {
            VtCell c = run->vt().cell(x, y1 + 1 + i);
            if (i == 0) {
                ASSERT_EQ(c.fg, ANSI_BLACK) << "highlight at column " << x;
                ASSERT_EQ(c.bg, ANSI_CYAN) << "highlight at column " << x;
            } else {
                ASSERT_EQ(c.fg, ANSI_WHITE) << "item " << i << " column " << x;
                ASSERT_EQ(c.bg, ANSI_BLUE) << "item " << i << " column " << x;
            }
        }
    }
    EXPECT_EQ(menu_highlight_row(*run), y1 + 1);

    // Shadow: two columns right of the frame from its second row, one row
    // below it from its third column; the corners outside stay backdrop.
    for (int y = y1 + 1; y <= y2 + 1; y++) {
        expect_shadow(*run, x2 + 1, y);
        expect_shadow(*run, x2 + 2, y);
    }
    for (int x = x1 + 2; x <= x2 + 2; x++)
        expect_shadow(*run, x, y2 + 1);
    expect_backdrop(*run, x2 + 1, y1);
    expect_backdrop(*run, x1 + 1, y2 + 1);
    expect_backdrop(*run, x2 + 3, y1 + 4);

    // The cursor stays hidden while the frame exists.
    EXPECT_FALSE(run->vt().cursor_visible());

    quit(*run);
}

INSTANTIATE_TEST_SUITE_P(Rows, MenuScreen, ::testing::Values(25, 24));

// The smallest terminal the program supports: everything is clamped to it,
// nothing breaks, and quitting gives the terminal back.
TEST(MenuSmall, StartsShowsMenuAndQuitsAt20x8)
{
    StubDir stubs;
    auto run = start_rundiags(stubs, 20, 8);
    ASSERT_TRUE(run->wait_text("Main Menu")) << run->dump();
    ASSERT_TRUE(run->wait_text(" Basic Compatibi")) << run->dump();
    run->settle();
    EXPECT_EQ(menu_highlight_row(*run), 1) << run->dump();
    EXPECT_FALSE(run->has_text("Quit"));   // six items in five rows: the last is scrolled off

    // Walking past the end scrolls the list; the highlight stays on the last row.
    for (int i = 0; i < 5; i++)
        run->send(keys::Down);
    ASSERT_TRUE(run->wait_text(" Quit")) << run->dump();
    run->settle();
    EXPECT_EQ(menu_highlight_row(*run), 5) << run->dump();

    run->send(keys::Enter);
    ASSERT_TRUE(run->wait_text("Quit ")) << run->dump();
    ASSERT_TRUE(run->wait_text("Really quit?")) << run->dump();
    run->send("y");
    EXPECT_EQ(run->wait_exit(), 0);
    expect_restored(*run);
}

} // namespace
