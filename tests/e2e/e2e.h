// Shared pieces of the end-to-end tests: starting the built program on a
// pseudo-terminal with a directory of stub helpers first on PATH, and the
// main menu's geometry and colours as a person sees them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ptyrun.h"
#include "testterm.h"

// ANSI colour indexes as the emulator reports them.
enum { ANSI_BLACK = 0, ANSI_RED = 1, ANSI_BLUE = 4, ANSI_CYAN = 6, ANSI_WHITE = 7 };

inline std::unique_ptr<PtyRun> start_rundiags(const StubDir &stubs, int cols = 80, int rows = 25)
{
    PtyRun::Options o;
    o.cols = cols;
    o.rows = rows;
    o.path = {stubs.path()};
    o.cwd = stubs.path();
    return std::make_unique<PtyRun>(RUNDIAGS_BIN, o);
}

// Waits until the main menu is on the screen and the program waits for keys.
inline ::testing::AssertionResult wait_menu(PtyRun &run, int timeout_ms = 5000)
{
    if (!run.wait_text("Copy results to floppy disk", timeout_ms) || !run.wait_text(" Quit", timeout_ms))
        return ::testing::AssertionFailure() << "no main menu:\n" << run.dump();
    run.settle();
    return ::testing::AssertionSuccess();
}

// The 0-based row of the highlighted menu item (black on cyan inside the
// menu frame), or -1.
inline int menu_highlight_row(PtyRun &run)
{
    const int x = run.cols() / 2;
    for (int y = 1; y < run.rows() - 1; y++) {
        VtCell c = run.vt().cell(x, y);
        if (c.bg == ANSI_CYAN && c.fg == ANSI_BLACK)
            return y;
    }
    return -1;
}

// Escape and "y" at the question: the program ends with status 0.
inline void quit(PtyRun &run)
{
    run.send(keys::Esc);
    ASSERT_TRUE(run.wait_text("Really quit? (y/n)")) << run.dump();
    run.send("y");
    EXPECT_EQ(run.wait_exit(20000), 0);
}

// The terminal settings are those the program found.
inline void expect_settings_restored(PtyRun &run)
{
    const termios now = run.slave_settings(), &was = run.initial_settings();
    EXPECT_EQ(now.c_lflag, was.c_lflag);
    EXPECT_EQ(now.c_iflag, was.c_iflag);
    EXPECT_EQ(now.c_oflag, was.c_oflag);
    EXPECT_EQ(now.c_cflag, was.c_cflag);
}

// The program gave the terminal back: its last bytes are `last` and then
// the screen's restore, and the settings are those it found.
inline void expect_restored(PtyRun &run, const std::string &last = "")
{
    const std::string &out = run.output(), tail = last + restore_tail(run.rows());
    EXPECT_TRUE(out.size() >= tail.size() && out.compare(out.size() - tail.size(), tail.size(), tail) == 0)
        << "terminal not restored at the end";
    expect_settings_restored(run);
}

// Types keys and waits until the screen has caught up with them.
inline void type(PtyRun &run, std::string_view keys)
{
    run.send(keys);
    run.settle();
}

// From the main menu, opens the burn-in entry and waits for its first
// warning; with answer_all, also answers the three questions and waits for
// the test screen.
inline ::testing::AssertionResult open_burnin(PtyRun &run, bool answer_all = true)
{
    for (int i = 0; i < 3; i++)
        run.send(keys::Down);
    run.send(keys::Enter);
    if (!run.wait_text("THIS IS DANGEROUS"))
        return ::testing::AssertionFailure() << "no first warning:\n" << run.dump();
    if (!answer_all)
        return ::testing::AssertionSuccess();
    run.send(keys::Enter);
    if (!run.wait_text("THIS IS *VERY* DANGEROUS"))
        return ::testing::AssertionFailure() << "no second warning:\n" << run.dump();
    run.send("y");
    if (!run.wait_text("Configure Hardware"))
        return ::testing::AssertionFailure() << "no cabling question:\n" << run.dump();
    run.send(keys::Enter);
    if (!run.wait_text("Burn-in Test"))
        return ::testing::AssertionFailure() << "no test screen:\n" << run.dump();
    return ::testing::AssertionSuccess();
}
