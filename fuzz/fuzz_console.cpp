// Console drawing with any windows, positions, frames and text, many of them
// far off the screen, on the smallest and the usual screen: no contract
// check may fire, no cell outside the grid may be touched (the sanitizers
// watch), and the screen's cursor stays on the screen.
#include <cstdint>
#include <cstdlib>

#include "conio.h"
#include "fuzzterm.h"
#include "marked.h"
#include "plscreen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    fuzz_screen_pick(in.byte());
    auto pos = [&] { return int(in.byte() % 60) - 20; };
    while (!in.empty()) {
        switch (in.byte() % 12) {
        case 0: window(pos(), pos(), pos(), pos()); break;
        case 1: gotoxy(pos(), pos()); break;
        case 2: abs_gotoxy(pos(), pos()); break;
        case 3: putch(in.byte()); break;
        case 4: cputs(OxString(in.take(in.byte() % 32))); break;
        case 5: cputs_text(OxString(in.take(in.byte() % 32))); break;
        case 6: cputs_marked(0x1e, 0x1f, 0x3e, OxString(in.take(in.byte() % 32))); break;
        case 7: clreol(); break;
        case 8: clrscr(); break;
        case 9: drawframe(pos(), pos(), pos(), pos(), 1, 1, 1, 1); break;
        case 10: fillbox(pos(), pos(), pos(), pos(), '*', in.byte()); break;
        case 11: colorbox(pos(), pos(), pos(), pos(), in.byte()); break;
        }
        gettextinfo(nullptr);
        if (screen.getcurx() < 0 || screen.getcurx() >= screen.getxsize() || screen.getcury() < 0 ||
            screen.getcury() >= screen.getysize())
            abort();
    }
    screen.refresh();
    return 0;
}
