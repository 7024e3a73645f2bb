// The console layer's keyboard half: reads the terminal through the screen
// and hands out one key per call.
#include "conio.h"
#include "plscreen.h"

namespace {

// How long a lone ESC waits for the rest of a sequence. Serial consoles
// often deliver an arrow key's bytes in two reads.
constexpr int esc_wait_ms = 100;
constexpr size_t read_block = 2048;
// Ctrl-L: repaint the whole screen, wherever keys are awaited.
constexpr int KEY_REPAINT = 12;

} // namespace

int _getch()
{
    KeyDecoder &keys = screen.keys();
    // Once the input has ended (or the program is stopping) a read could
    // only block or return nothing: decode what is left instead.
    if (keys.needs_input() && screen.isok())
        screen.read(keys.buffer(), read_block);
    // The terminal itself: the ESC held here would count as input.
    if (keys.lone_esc() && screen.isok() && screen.OxStreamClone::select(esc_wait_ms, true))
        screen.read(keys.buffer(), read_block);
    const int key = keys.next();
    if (keys.incomplete() && !screen.isok())
        keys.drop_incomplete();
    return key;
}

// The face the toolkit's own callers know: one read, whatever it gives
// (KEY_NONE for a sequence no key has, and for Ctrl-L). The program's own
// loops take keys from the event loop instead.
int getch()
{
    screen.refresh(false);
    return readkey();
}

int readkey()
{
    const int key = _getch();
    if (key == KEY_REPAINT) {
        // Taken here, so it can answer no question; the caller's next wait
        // refreshes, and that refresh repaints.
        PlScreen::request_repaint();
        return KEY_NONE;
    }
    if (key == 10)
        return KEY_ENTER;
    if (key == 127)
        return KEY_BACKSPACE;
    return key;
}

int getkey()
{
    screen.refresh(false);
    return getch();
}

bool kbwait(int msec)
{
    screen.refresh(false);
    // Typed-ahead keys already in the buffer count as input that is ready.
    return screen.select(msec, true, false, false);
}

void kbflush()
{
    screen.keys().clear();
}
