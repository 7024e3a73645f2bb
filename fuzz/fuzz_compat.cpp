// The probe's output, whatever it is, read line by line into the summary and
// drawn into the test window on the smallest and the usual screen.
#include <cstdint>

#include "compatresult.h"
#include "conio.h"
#include "fuzzterm.h"
#include "ovlwin.h"
#include "plscreen.h"
#include "selwin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t pick = in.byte();
    const std::string text = in.rest();
    fuzz_screen_pick(pick);
    // The opening animation refreshes per step; once per input is enough.
    winstyle.explode = pick & 4;
    const int w = screen.getxsize(), h = screen.getysize();

    CompatResult result;
    compat_clear(result);
    OvlWin testwin("Compatibility Test", PlRect(3, 3, w - 2, 11), 14, 1, 15, true);
    testwin.show();
    testwin.unfocus();
    SelectionWin details("Details", PlRect(3, 13, w - 2, h - 2), true);
    details.show();
    details.setcur(2);

    // Lines as the pipe hands them out: split at '\n', a last piece without
    // one still counts. The summary is redrawn after every line.
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string::npos ? text.size() : nl;
        OxString line(std::string_view(text).substr(start, end - start));
        details.append(line);
        compat_line(result, line);
        testwin.focus();
        clrscr();
        compat_drawsummary(result);
        testwin.unfocus();
        start = end + 1;
    }
    compat_close(result);
    testwin.focus();
    clrscr();
    compat_drawsummary(result);
    testwin.unfocus();
    (void)compat_cputext(result);
    (void)compat_memtext(result);
    screen.refresh(pick & 2);
    return 0;
}
