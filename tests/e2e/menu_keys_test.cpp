// Moving through the main menu, the quit confirmation and the memory-test
// notice, with the keys a terminal really sends.
#include <string>

#include "e2e.h"

namespace {

const int first_item_row = 9;   // 0-based row of "Basic Compatibility Test" on 80 x 25

class MenuKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        run = start_rundiags(stubs);
        ASSERT_TRUE(wait_menu(*run));
        ASSERT_EQ(menu_highlight_row(*run), first_item_row);
    }
    // Sends a key and waits until the highlight is on `item`.
    ::testing::AssertionResult move(std::string_view key, int item)
    {
        run->send(key);
        if (!run->wait_until([&] { return menu_highlight_row(*run) == first_item_row + item; }))
            return ::testing::AssertionFailure()
                   << "highlight on row " << menu_highlight_row(*run) << ", wanted item " << item << "\n"
                   << run->dump();
        return ::testing::AssertionSuccess();
    }
    StubDir stubs;
    std::unique_ptr<PtyRun> run;
};

TEST_F(MenuKeys, CursorKeysInBothFormsMoveTheHighlight)
{
    EXPECT_TRUE(move(keys::Down, 1));
    EXPECT_TRUE(move(keys::DownO, 2));
    EXPECT_TRUE(move(keys::DownO, 3));
    EXPECT_TRUE(move(keys::UpO, 2));
    EXPECT_TRUE(move(keys::Up, 1));
    EXPECT_TRUE(move(keys::End, 5));
    EXPECT_TRUE(move(keys::Home, 0));
    quit(*run);
}

TEST_F(MenuKeys, MovingPastEitherEndChangesNothing)
{
    run->send(keys::Up);
    run->settle();
    EXPECT_EQ(menu_highlight_row(*run), first_item_row);
    EXPECT_TRUE(move(keys::End, 5));
    run->settle();
    const size_t mark = run->output().size();
    run->send(keys::Down);
    run->send("x");   // neither Enter nor Escape: only a navigation key would do something
    run->settle();
    EXPECT_EQ(menu_highlight_row(*run), first_item_row + 5);
    EXPECT_FALSE(run->has_text("Really quit?"));
    // Nothing on the screen changed, so no refresh sent cells (each that
    // does starts from the reset attribute).
    EXPECT_EQ(run->output_since(mark).find("\x1b[0;30;40m"), std::string::npos);
    quit(*run);
}

TEST_F(MenuKeys, EscapeAsksToQuitAndKeepsTheHighlight)
{
    ASSERT_TRUE(move(keys::End, 5));
    ASSERT_TRUE(move(keys::Up, 4));
    // 'n', Escape and 'N' each return to the menu with the highlight where it
    // was; other keys in the question are ignored.
    for (std::string_view answer : {std::string_view("n"), keys::Esc, std::string_view("N")}) {
        run->send(keys::Esc);
        ASSERT_TRUE(run->wait_text("Really quit? (y/n)")) << run->dump();
        EXPECT_TRUE(run->has_text(" Quit "));
        run->send("x");
        run->send(keys::Enter);
        run->send(keys::Down);
        run->settle();
        EXPECT_TRUE(run->has_text("Really quit? (y/n)"));
        run->send(answer);
        ASSERT_TRUE(run->wait_gone("Really quit?")) << run->dump();
        run->settle();
        EXPECT_TRUE(run->running());
        EXPECT_EQ(menu_highlight_row(*run), first_item_row + 4);
        // The menu under the dialog came back whole.
        EXPECT_EQ(run->row(first_item_row).substr(21, 25), " Basic Compatibility Test");
        EXPECT_TRUE(run->vt().is_glyph(20, 8, 'l'));
    }
    quit(*run);
}

TEST_F(MenuKeys, QuitItemAsksTooAndUpperCaseYesQuits)
{
    ASSERT_TRUE(move(keys::End, 5));
    run->send(keys::Enter);
    ASSERT_TRUE(run->wait_text("Really quit? (y/n)"));
    run->send("Y");
    EXPECT_EQ(run->wait_exit(), 0);
    // The screen's last words: the final refresh (bars back to backdrop,
    // cursor shown, character sets back to ASCII), then the restore.
    expect_restored(*run, "\x1b[?25h" + REFRESH_TAIL);
    EXPECT_TRUE(run->vt().cursor_visible());
}

TEST_F(MenuKeys, EnterOnAnOrdinaryItemAfterNulStillWorks)
{
    // A NUL byte is no key of the menu; the Enter behind it still counts.
    ASSERT_TRUE(move(keys::End, 5));
    run->send(std::string_view("\0\r", 2));
    EXPECT_TRUE(run->wait_text("Really quit? (y/n)")) << run->dump();
    run->send("y");
    EXPECT_EQ(run->wait_exit(), 0);
}

class MemoryNotice : public MenuKeys, public ::testing::WithParamInterface<std::string> {};

TEST_P(MemoryNotice, ClosesOnAnyKeyAndLeavesTheMenuAsItWas)
{
    ASSERT_TRUE(move(keys::Down, 1));
    ASSERT_TRUE(move(keys::Down, 2));
    run->send(keys::Enter);
    ASSERT_TRUE(run->wait_text("The memory test program cannot start automatically.")) << run->dump();
    EXPECT_TRUE(run->has_text(" Can't Memory Test "));
    EXPECT_TRUE(run->has_text("\"memtest\" from the boot menu in order to perform"));
    EXPECT_TRUE(run->has_text("come back to this menu and continue with a burn-in"));
    // Seven lines, the longest 51 characters: a 55 x 9 frame at (13,9)-(67,17),
    // which covers the menu whole.
    EXPECT_TRUE(run->vt().is_glyph(12, 8, 'l')) << run->dump();
    EXPECT_TRUE(run->vt().is_glyph(66, 16, 'j')) << run->dump();
    EXPECT_FALSE(run->has_text("Main Menu"));

    run->send(GetParam());
    ASSERT_TRUE(run->wait_gone("Can't Memory Test")) << run->dump();
    run->settle();
    // The key closed the notice and did nothing else.
    EXPECT_EQ(menu_highlight_row(*run), first_item_row + 2);
    EXPECT_FALSE(run->has_text("Really quit?"));
    EXPECT_EQ(run->row(first_item_row).substr(21, 25), " Basic Compatibility Test");
    quit(*run);
}

std::string key_name(const ::testing::TestParamInfo<std::string> &info)
{
    static const char *const names[] = {"Letter", "Escape", "DownArrow", "UpArrowSS3", "Enter"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Keys, MemoryNotice,
                         ::testing::Values(std::string("x"), std::string(keys::Esc), std::string(keys::Down),
                                           std::string(keys::UpO), std::string(keys::Enter)),
                         key_name);

} // namespace
