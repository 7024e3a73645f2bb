// Shared by the console tests: a clean console state per test and short
// ways to look at the drawing grid and the keyboard.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "conio.h"
#include "plscreen.h"

// Blank grid, cursor home, console state as at program start, no keys pending.
void reset_console();
// What gettextinfo gives now.
text_info textinfo();
// The cell at 0-based screen position (x, y).
const PlCell &cellat(int x, int y);
// The characters of 0-based row y, columns x .. x + n - 1.
std::string rowtext(int x, int y, int n);
// Row y as a person would make it out: line glyphs as '+' '-' '|', cells
// never written as '.'.
std::string shown_row(int y);

// Throws away every byte the terminal and the decoder hold.
void drain_keys();
// Reads one key with _getch (or getch/getkey), and how long it took. If
// the call is still blocked after two seconds the terminal is sent 0x01, so
// a wrong wait shows up as a failed timing instead of a hung test.
struct TimedKey {
    int key;
    long ms;
};
TimedKey timed(int (*reader)());
