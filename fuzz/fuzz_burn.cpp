// Whatever the burn-in helpers print: their lines through the protocol
// handlers, the log into a Details list and a file, and the status rows
// drawn after every line, on the smallest and the usual screen.
#include <fcntl.h>

#include <cstdint>

#include "burnstate.h"
#include "conio.h"
#include "fuzzterm.h"
#include "plscreen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t pick = in.byte();
    const uint8_t flags = in.byte();
    const std::string text = in.rest();
    fuzz_screen_pick(pick);
    // The opening animation refreshes per step; once per input is enough.
    winstyle.explode = pick & 4;
    const int w = screen.getxsize(), h = screen.getysize();

    OxFile file("/dev/null", O_WRONLY);
    BurnState st;
    HelperState netstate, diskstate;
    netstate.code = flags & 1 ? 3 : 0;
    diskstate.code = flags & 2 ? 143 : 0;
    st.pending = !(flags & 4);
    diskstate.pass = flags & 8 ? 2147483647 : 1;
    OvlWin status("Burn-in Test", PlRect(3, 3, w - 2, 7), 14, 1, 15, true);
    status.show();
    status.unfocus();
    SelectionWin details("Details", PlRect(3, 9, w - 2, h - 2), true);
    BurnLog log(details, file);
    log.print("Running network and disk burn-in tests.");
    log.print("");
    details.show();
    details.setcur(2);

    // Each line goes to the network or the disk handler as a selector byte
    // says; the rest of the line is what the helper printed.
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string::npos ? text.size() : nl;
        std::string_view raw = std::string_view(text).substr(start, end - start);
        bool net = raw.empty() || (raw[0] & 1);
        OxString line(raw.empty() ? raw : raw.substr(1));
        if (net)
            burn_netline(st, log, line);
        else
            burn_diskline(st, log, line);
        burn_drawstatus(st, netstate, diskstate, status);
        if (!raw.empty() && (raw[0] & 0x10))
            details.handlekey(raw[0] & 0x20 ? KEY_PGUP : KEY_END);
        start = end + 1;
    }
    burn_drawstatus(st, netstate, diskstate, status);
    screen.refresh(pick & 2);
    return 0;
}
