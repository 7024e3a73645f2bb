// The hardware compatibility test: runs the probe, shows its output live and
// keeps the summary of usable hardware up to date above it.
#include "app.h"
#include "autopilot.h"
#include "compatresult.h"
#include "conio.h"
#include "liverun.h"
#include "msgwin.h"
#include "plscreen.h"

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
    autopilot_answer("begin the probe", KEY_ENTER);
    // 0 (the terminal failed) goes on: the loop ends at its first test of the screen.
    return ask.waitkey("\x1b\r") != KEY_ESC;
}

// One run of the probe as a live run: its lines go to the Details list and
// to the summary, which is drawn afresh with every update of the terminal.
class CompatTest {
public:
    CompatTest(const OxFastString &title, const OxFastString &option);
    void run();

private:
    void draw();
    void takeline(const OxString &line);
    bool handlekey(int key);
    void probe_ended();

    OxFastString option;
    CompatResult result;
    LiveRun live;
};

// The option is always one argument, so the basic test passes one empty argument.
CompatTest::CompatTest(const OxFastString &title, const OxFastString &opt)
    : option(opt),
      // The terminal is brought up to date at most every frame during a
      // burst of output; sending the scrolled list once per line would cost
      // far more than the lines themselves.
      live(LiveLayout{title, 11, true, frame_ms},
           {{"compat.pl", {"compat.pl", option.cstr()}, [this](const OxString &l) { takeline(l); }, false, {}}})
{
    compat_clear(result);
    live.ondraw([this] { draw(); });
    live.onfinal([this](size_t) { probe_ended(); });
    live.details().append("Running: compat.pl %s", option);
    live.details().append("");
    live.begin();
    draw();
}

void CompatTest::run()
{
    live.run([this](int key) { return handlekey(key); });
}

// What every update of the terminal shows: the list as it is now, and the
// summary drawn afresh.
void CompatTest::draw()
{
    live.details().drawdeferred();
    live.panel().focus();
    clrscr();
    compat_drawsummary(result);
    live.panel().unfocus();
}

void CompatTest::takeline(const OxString &line)
{
    live.details().append(line);
    compat_line(result, line);
}

// Returns false when the test is to be left.
bool CompatTest::handlekey(int key)
{
    if (key == KEY_ESC || key == KEY_ENTER)
        return false;
    live.details().handle(key);
    return true;
}

void CompatTest::probe_ended()
{
    setstatus("");
    SelectionWin &details = live.details();
    details.append("");
    details.append("(All these log messages are in \"%s\")", OxString("/tmp/compat%s.log", option));
    details.append("");
    details.append("** FINISHED - Press Enter When Done **");
    compat_close(result);
    autopilot_answer("leave the probe's results", KEY_ENTER, true);
}

} // namespace

void do_compat(const OxFastString &title, const OxFastString &option)
{
    if (!ready_to_begin())
        return;
    if (autopilot)
        autopilot->state().step = option.len() ? "advanced" : "basic";
    CompatTest test(title, option);
    test.run();
}
