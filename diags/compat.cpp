// The hardware compatibility test: runs the probe, shows its output live and
// keeps the summary of usable hardware up to date above it.
#include "app.h"
#include "compatresult.h"
#include "conio.h"
#include "msgwin.h"
#include "oxistreamlist.h"
#include "oxpipe.h"
#include "ovlwin.h"
#include "palette.h"
#include "plscreen.h"
#include "selwin.h"

namespace {

// Screen updates during a burst of output: 50 a second is smooth to the eye.
constexpr long long frame_ms = 20;

void setstatus(const char *text)
{
    if (mainframe)
        mainframe->setstatus(text);
}

} // namespace

void do_compat(const OxFastString &title, const OxFastString &option)
{
    {
        MsgWin ask("Please attach all disks, networks, modems, and\nother peripherals that you want to detect.\n"
                   " \n           Press ENTER to begin...",
                   "Configure Hardware");
        // 0 (the terminal failed) goes on: the loop below ends at its first test of the screen.
        if (ask.waitkey("\x1b\r") == KEY_ESC)
            return;
    }

    OxIStreamList *streams = new OxIStreamList;
    // The option is always one argument, so the basic test passes one empty argument.
    const char *const argv[] = {"compat.pl", option.cstr(), nullptr};
    OxPipe *probe = new OxPipe("compat.pl", argv, false, true, true, 0, 1, 2);

    CompatResult result;
    compat_clear(result);
    bool running = true;
    streams->append(&screen, false);
    streams->append(probe, false);

    const int w = screen.getxsize(), h = screen.getysize();
    OvlWin *testwin = new OvlWin(title, PlRect(3, 3, w - 2, 11), PANEL_COLORS.fg, PANEL_COLORS.bg,
                                 PANEL_COLORS.frame, true);
    testwin->show();
    testwin->unfocus();

    SelectionWin *details = new SelectionWin("Details", PlRect(3, 13, w - 2, h - 2), true);
    details->append("Running: compat.pl %s", option);
    details->append("");
    details->show();
    details->setcur(2);     // clamped to the last line: the list follows new output from here on
    setstatus("[RUNNING]");

    OxString line;
    long long lastrefresh = 0;
    while (screen.isok()) {
        // The terminal is brought up to date before every wait. During a
        // burst (lines already in the pipe's read-ahead, so no wait) sending
        // the scrolled list once per line would cost far more than the lines
        // themselves: the screen then follows at a steady frame rate.
        bool keytime = false;
        const long long now = ox_monotonic_ms();
        if (!probe->ready_now() || now - lastrefresh >= frame_ms) {
            // The summary is drawn afresh for every update the terminal gets.
            testwin->focus();
            clrscr();
            compat_drawsummary(result);
            testwin->unfocus();
            screen.refresh();
            // Keys are looked for with every update, so during a burst at
            // every frame, and whenever the loop is about to wait.
            keytime = true;
            lastrefresh = now;
        }
        streams->runonce(-1);
        // One line per pass keeps keys responsive through any burst of output.
        if (probe->getline(line, 0, '\n', 1024)) {
            details->append(line);
            compat_line(result, line);
        }
        if (keytime && screen.isreadable()) {
            int key = getch();
            if (key == KEY_ESC || key == KEY_ENTER)
                break;
            // A NUL byte (Ctrl-Space, a serial BREAK, line noise) means nothing here.
            if (key != 0 && key != KEY_NONE)
                details->handlekey(key);
        }
        // Asked on every pass: once the stream list knows we have seen the end,
        // the ended probe no longer wakes it, and the FINISHED screen sits idle.
        bool probeok = probe->isok();
        if (running && !probeok) {
            setstatus("");
            details->append("");
            details->append("(All these log messages are in \"%s\")", OxString("/tmp/compat%s.log", option));
            details->append("");
            details->append("** FINISHED - Press Enter When Done **");
            running = false;
            compat_close(result);
        }
    }

    setstatus("");
    delete details;
    delete testwin;
    // A probe still running is ended and reaped by the pipe's destruction.
    delete probe;
    delete streams;
}
