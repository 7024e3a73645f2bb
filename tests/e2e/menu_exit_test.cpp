// However the program ends, the operator's terminal comes back: settings
// restored, cursor shown, ASCII character set, default attribute.
#include <signal.h>

#include <string>

#include "e2e.h"

namespace {

TEST(MenuExit, HangupEndsWithStatusZero)
{
    StubDir stubs;
    auto run = start_rundiags(stubs);
    ASSERT_TRUE(wait_menu(*run));
    run->hangup();
    EXPECT_EQ(run->wait_exit(), 0);
}

TEST(MenuExit, HangupWhileTheQuitQuestionWaitsEndsWithStatusZero)
{
    StubDir stubs;
    auto run = start_rundiags(stubs);
    ASSERT_TRUE(wait_menu(*run));
    run->send(keys::Esc);
    ASSERT_TRUE(run->wait_text("Really quit? (y/n)"));
    run->hangup();
    EXPECT_EQ(run->wait_exit(), 0);
}

class MenuSignal : public ::testing::TestWithParam<int> {};

TEST_P(MenuSignal, TerminationSignalRestoresTheTerminalAndExitsZero)
{
    StubDir stubs;
    auto run = start_rundiags(stubs);
    ASSERT_TRUE(wait_menu(*run));
    run->signal(GetParam());
    EXPECT_EQ(run->wait_exit(), 0);
    // An orderly teardown: the final refresh and then the screen's restore.
    expect_restored(*run, REFRESH_TAIL);
    EXPECT_TRUE(run->vt().cursor_visible());
}

TEST_P(MenuSignal, TerminationSignalInsideADialogRestoresTheTerminal)
{
    StubDir stubs;
    auto run = start_rundiags(stubs);
    ASSERT_TRUE(wait_menu(*run));
    run->send(keys::Down);
    run->send(keys::Down);
    run->send(keys::Enter);
    ASSERT_TRUE(run->wait_text("Can't Memory Test"));
    run->signal(GetParam());
    EXPECT_EQ(run->wait_exit(), 0);
    expect_restored(*run);
}

INSTANTIATE_TEST_SUITE_P(Signals, MenuSignal, ::testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const auto &p) { return std::string(sigabbrev_np(p.param)); });

// A program stopped by a failed contract check (abort) still gives the
// terminal back before it goes.
TEST(MenuExit, AbortRestoresTheTerminalFirst)
{
    StubDir stubs;
    auto run = start_rundiags(stubs);
    ASSERT_TRUE(wait_menu(*run));
    const size_t mark = run->output().size();
    run->signal(SIGABRT);
    EXPECT_EQ(run->wait_exit(), 128 + SIGABRT);
    const std::string tail = run->output_since(mark);
    EXPECT_NE(tail.find(REFRESH_TAIL + "\x1b[0;37;40m\x1b[?25h"), std::string::npos) << tail;
    expect_settings_restored(*run);
    EXPECT_TRUE(run->vt().cursor_visible());
}

} // namespace
