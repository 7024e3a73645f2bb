// However the program ends, the operator's terminal comes back: settings
// restored, cursor shown, ASCII character set, default attribute.
#include <signal.h>

#include <string>

#include "e2e.h"

namespace {

void expect_settings_restored(PtyRun &run)
{
    const termios now = run.slave_settings();
    EXPECT_EQ(now.c_lflag, run.initial_settings().c_lflag);
    EXPECT_EQ(now.c_iflag, run.initial_settings().c_iflag);
    EXPECT_EQ(now.c_oflag, run.initial_settings().c_oflag);
    EXPECT_EQ(now.c_cflag, run.initial_settings().c_cflag);
}

bool ends_with(const std::string &s, const std::string &end)
{
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

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
    const size_t mark = run->output().size();
    run->signal(GetParam());
    EXPECT_EQ(run->wait_exit(), 0);
    const std::string tail = run->output_since(mark);
    // An orderly teardown: the final refresh and then the screen's restore.
    EXPECT_TRUE(ends_with(tail, std::string("\x0f\x1b)B\x1b(B") + restore_tail(25))) << tail;
    expect_settings_restored(*run);
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
    EXPECT_TRUE(ends_with(run->output(), restore_tail(25)));
    expect_settings_restored(*run);
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
    EXPECT_NE(tail.find("\x0f\x1b)B\x1b(B\x1b[0;37;40m\x1b[?25h"), std::string::npos) << tail;
    expect_settings_restored(*run);
    EXPECT_TRUE(run->vt().cursor_visible());
}

} // namespace
