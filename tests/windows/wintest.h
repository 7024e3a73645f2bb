// Shared fixture and helpers of the window tests: a screen grid filled with a
// known pattern, and the terminal's picture rendered through a terminal
// emulator.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "conio.h"
#include "grid.h"
#include "plscreen.h"
#include "testterm.h"
#include "vtscreen.h"

// Fills the whole grid with letters 'a'.. in attribute 0x07 and resets the
// console to the full screen; used as the backdrop of every test.
void fill_backdrop();
char backdrop_char(int x, int y);

// Sends the whole grid to the terminal and returns it as a person would see
// it (a fresh emulator fed with a full repaint).
struct Seen {
    VtScreen vt;
    Seen();
};
// The ANSI colours, boldness and blink the terminal shows for a console attribute.
void expect_shown_attr(const VtScreen &vt, int x, int y, int attr, const char *what);
// Output of the pty up to and including the end of the next complete refresh.
std::string take_refreshes(size_t count, int timeout_ms = 5000);

class WinTest : public ::testing::Test {
protected:
    void SetUp() override;
};
