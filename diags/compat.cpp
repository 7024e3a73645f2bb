// The hardware compatibility test: runs the probe, shows its output live and
// keeps the summary of usable hardware up to date above it.
#include <memory>

#include "app.h"
#include "compatresult.h"
#include "conio.h"
#include "msgwin.h"
#include "ovlwin.h"
#include "oxistreamlist.h"
#include "oxpipe.h"
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

bool ready_to_begin()
{
    MsgWin ask("Please attach all disks, networks, modems, and\nother peripherals that you want to detect.\n"
               " \n           Press ENTER to begin...",
               "Configure Hardware");
    // 0 (the terminal failed) goes on: the loop ends at its first test of the screen.
    return ask.waitkey("\x1b\r") != KEY_ESC;
}

// One run of the probe: its pipe, its windows and what its lines said. The
// members go in reverse order of their making: the Details list, the test
// window, then the pipe (which ends a probe still running) and the list.
class CompatTest {
public:
    CompatTest(const OxFastString &title, const OxFastString &option);
    ~CompatTest();
    void run();

private:
    bool frame_due() const;
    void update_screen();
    void takeline();
    bool handlekey();
    void probe_ended();

    OxFastString option;
    OxIStreamList streams;
    std::unique_ptr<OxPipe> probe;
    CompatResult result;
    bool running = true;
    std::unique_ptr<OvlWin> testwin;
    std::unique_ptr<SelectionWin> details;
    long long lastrefresh = 0;
};

CompatTest::CompatTest(const OxFastString &title, const OxFastString &opt) : option(opt)
{
    // The option is always one argument, so the basic test passes one empty argument.
    const char *const argv[] = {"compat.pl", option.cstr(), nullptr};
    probe = std::make_unique<OxPipe>(OxPipe::reading("compat.pl", argv));
    compat_clear(result);
    streams.append(&screen, false);
    streams.append(probe.get(), false);

    const int w = screen.getxsize(), h = screen.getysize();
    testwin = std::make_unique<OvlWin>(title, PlRect(3, 3, w - 2, 11), PANEL_COLORS.fg, PANEL_COLORS.bg,
                                       PANEL_COLORS.frame, true);
    testwin->show();
    testwin->unfocus();

    details = std::make_unique<SelectionWin>("Details", PlRect(3, 13, w - 2, h - 2), true);
    details->append("Running: compat.pl %s", option);
    details->append("");
    details->show();
    details->setcur(2); // clamped to the last line: the list follows new output from here on
    // Drawn only when the terminal is brought up to date: during a burst the
    // list takes many lines between two updates.
    details->setdeferred(true);
    setstatus("[RUNNING]");
}

CompatTest::~CompatTest()
{
    setstatus("");
}

void CompatTest::run()
{
    while (screen.isok()) {
        // The terminal is brought up to date before every wait. During a
        // burst (lines already in the pipe's read-ahead, so no wait) sending
        // the scrolled list once per line would cost far more than the lines
        // themselves: the screen then follows at a steady frame rate. Keys
        // are looked for with every update, so during a burst at every
        // frame, and whenever the loop is about to wait.
        const bool keytime = frame_due();
        // Between frames the probe has a line waiting and keys wait for the
        // next frame: there is nothing to wait for, nor to ask the kernel.
        if (keytime) {
            update_screen();
            streams.runonce(-1);
        }
        // One line per pass keeps keys responsive through any burst of output.
        takeline();
        if (keytime && screen.isreadable() && !handlekey())
            return;
        // Asked on every pass: once the stream list knows we have seen the end,
        // the ended probe no longer wakes it, and the FINISHED screen sits idle.
        if (!probe->isok() && running)
            probe_ended();
    }
}

bool CompatTest::frame_due() const
{
    return !probe->ready_now() || ox_monotonic_ms() - lastrefresh >= frame_ms;
}

void CompatTest::update_screen()
{
    lastrefresh = ox_monotonic_ms();
    details->drawdeferred();
    // The summary is drawn afresh for every update the terminal gets.
    testwin->focus();
    clrscr();
    compat_drawsummary(result);
    testwin->unfocus();
    screen.refresh();
}

void CompatTest::takeline()
{
    OxString line;
    if (probe->getline(line, 0, '\n', 1024)) {
        details->append(line);
        compat_line(result, line);
    }
}

// Returns false when the test is to be left.
bool CompatTest::handlekey()
{
    const int key = getch();
    if (key == KEY_ESC || key == KEY_ENTER)
        return false;
    // A NUL byte (Ctrl-Space, a serial BREAK, line noise) means nothing here.
    if (key != 0 && key != KEY_NONE)
        details->handlekey(key);
    return true;
}

void CompatTest::probe_ended()
{
    setstatus("");
    details->append("");
    details->append("(All these log messages are in \"%s\")", OxString("/tmp/compat%s.log", option));
    details->append("");
    details->append("** FINISHED - Press Enter When Done **");
    running = false;
    compat_close(result);
}

} // namespace

void do_compat(const OxFastString &title, const OxFastString &option)
{
    if (!ready_to_begin())
        return;
    CompatTest test(title, option);
    test.run();
}
