// The hardware compatibility test: runs the probe, shows its output live and
// keeps the summary of usable hardware up to date above it.
#include <memory>

#include "app.h"
#include "compatresult.h"
#include "conio.h"
#include "eventloop.h"
#include "msgwin.h"
#include "ovlwin.h"
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
    void draw();
    void takeline(const OxString &line);
    bool handlekey(int key);
    void probe_ended();

    OxFastString option;
    EventLoop loop;
    std::unique_ptr<OxPipe> probe;
    CompatResult result;
    std::unique_ptr<OvlWin> testwin;
    std::unique_ptr<SelectionWin> details;
};

CompatTest::CompatTest(const OxFastString &title, const OxFastString &opt) : option(opt)
{
    // The option is always one argument, so the basic test passes one empty argument.
    const char *const argv[] = {"compat.pl", option.cstr(), nullptr};
    probe = std::make_unique<OxPipe>(OxPipe::reading("compat.pl", argv));
    compat_clear(result);
    loop.watch(probe.get());
    // The terminal is brought up to date at most every frame during a
    // burst of output; sending the scrolled list once per line would cost
    // far more than the lines themselves. Keys are looked for with every
    // update.
    loop.setframe(frame_ms);
    loop.onpass([this] { draw(); });

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
    draw();
}

CompatTest::~CompatTest()
{
    setstatus("");
}

void CompatTest::run()
{
    for (Event e = loop.next(); e.type != Event::QUIT; e = loop.next()) {
        if (e.type == Event::LINE)
            takeline(e.line);
        else if (e.type == Event::KEY && !handlekey(e.key))
            return;
        else if (e.type == Event::EXIT)
            probe_ended();
    }
}

// What every update of the terminal shows: the list as it is now, and the
// summary drawn afresh.
void CompatTest::draw()
{
    details->drawdeferred();
    testwin->focus();
    clrscr();
    compat_drawsummary(result);
    testwin->unfocus();
}

void CompatTest::takeline(const OxString &line)
{
    details->append(line);
    compat_line(result, line);
}

// Returns false when the test is to be left.
bool CompatTest::handlekey(int key)
{
    if (key == KEY_ESC || key == KEY_ENTER)
        return false;
    details->handle(key);
    return true;
}

void CompatTest::probe_ended()
{
    setstatus("");
    details->append("");
    details->append("(All these log messages are in \"%s\")", OxString("/tmp/compat%s.log", option));
    details->append("");
    details->append("** FINISHED - Press Enter When Done **");
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
