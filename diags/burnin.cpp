// The burn-in test: runs netburn and diskburn side by side, restarts each
// after every clean pass until the operator stops the test, and ends with a
// verdict.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <memory>
#include <string>
#include <string_view>

#include "app.h"
#include "autopilot.h"
#include "burnstate.h"
#include "conio.h"
#include "liverun.h"
#include "msgwin.h"
#include "palette.h"
#include "plscreen.h"

namespace {

const char *const logname = "/tmp/burnin.log";

int ask(const OxString &text, const char *title, const char *keys)
{
    MsgWin dialog(text, title);
    return dialog.waitkey(keys);
}

// What both danger warnings say before their last line.
constexpr std::string_view danger_text = "The burn-in test will irreversibly destroy all data\n"
                                         "currently on *all* hard disks attached to this system.\n"
                                         " \n"
                                         "It also generates a lot of network activity that may\n"
                                         "confuse other computers on the network.\n"
                                         " \n";

OxString danger(const char *lastline)
{
    return OxString(std::string(danger_text) + lastline);
}

const char *const cabling_text = "Please attach all disks and network cables.  All of your\n"
                                 "ethernet ports should be connected to the same switch or\n"
                                 "hub, so that packets from one port can be seen on each of\n"
                                 "the other ports.\n"
                                 " \n"
                                 "To pass the burn-in test, you need at least two network\n"
                                 "ports.\n"
                                 " \n"
                                 "                 Press ENTER to begin...";

bool confirmed()
{
    if (autopilot)
        autopilot->list_disks();
    autopilot_answer("continue: the disks above are destroyed", KEY_ENTER);
    if (ask(danger("               Press ENTER to continue..."), "THIS IS DANGEROUS", "\x1b\rn") != KEY_ENTER)
        return false;
    autopilot_answer("yes, destroy them", 'y');
    if (ask(danger("    Are you very sure you want to do this? (y/n)"), "THIS IS *VERY* DANGEROUS", "\x1byn") != 'y')
        return false;
    autopilot_answer("begin the burn-in", KEY_ENTER);
    // A terminal that fails here (answer 0) is no go-ahead for destroying disks.
    const int key = ask(cabling_text, "Configure Hardware", "\x1b\r");
    return key != KEY_ESC && key != 0;
}

// The log lives in a world-writable directory and we run as root: never
// follow a link planted there, never write into a file someone else made.
OxFile *openlog()
{
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
    unlink(logname);
    auto *file = new OxFile(logname, flags, 0666);
    if (file->geterr() == EEXIST) {
        delete file;
        unlink(logname);
        file = new OxFile(logname, flags, 0666);
    }
    return file;
}

// The burn-in as a live run: netburn and diskburn, each started again after
// every clean pass until the test is stopped, and the verdict once both have
// ended.
class BurnIn {
public:
    explicit BurnIn(OxFile *file);
    void run();

private:
    enum { NET, DISK };
    void draw();
    bool handlekey(int key);
    void askstop();
    void stopnow(const char *why);
    void timeup(int timer);
    void publish();
    void final(size_t child);
    void summary();

    std::unique_ptr<OxFile> file;
    BurnState st;
    LiveRun live;
    BurnLog log;
    long long deadline = -1;   // when a timed burn-in stops by itself (monotonic ms)

    static constexpr int time_timer = 1;
};

BurnIn::BurnIn(OxFile *logfile)
    : file(logfile),
      live(LiveLayout{"Burn-in Test", 7, false, 0},
           {
               {"netburn", {"netburn", "-1"}, [this](const OxString &l) { burn_netline(st, log, l); }, true, {}},
               {"diskburn", {"diskburn", "--destroy"}, [this](const OxString &l) { burn_diskline(st, log, l); },
                true, [this] { log.print("   Disk: starting again."); }},
           }),
      log(live.details(), *file, logname)
{
    live.ondraw([this] { draw(); });
    live.onfinal([this](size_t child) { final(child); });
    log.print("Running network and disk burn-in tests.");
    log.print("");
    live.begin();
    if (autopilot && autopilot->settings().burnin_seconds > 0) {
        deadline = ox_monotonic_ms() + autopilot->settings().burnin_seconds * 1000;
        live.loop().settimer(time_timer, deadline);
    }
}

void BurnIn::run()
{
    live.run([this](int key) { return handlekey(key); }, [this](int timer) { timeup(timer); });
    if (autopilot)
        autopilot->time_left(-1);
}

void BurnIn::timeup(int timer)
{
    if (timer == time_timer && live.going_on())
        stopnow("TEST STOPPED: SET TIME REACHED.");
}

// Before every update: the verdict once both helpers are done, and the
// status rows.
void BurnIn::draw()
{
    const HelperState &net = live.state(NET), &disk = live.state(DISK);
    if (!live.going_on() && st.pending && !net.active && !disk.active)
        summary();
    if (net.code != 0 && disk.code != 0 && live.going_on()) {
        live.stop_restarts();
        live.loop().nowait();   // the summary is written by the next pass, which must not wait for a key
    }
    burn_drawstatus(st, net, disk, live.panel());
    publish();
}

// What the live state file and the automation's window tell of the test.
void BurnIn::publish()
{
    if (!autopilot)
        return;
    const HelperState &net = live.state(NET), &disk = live.state(DISK);
    LiveState &s = autopilot->state();
    s.step = "burnin";
    s.netpass = net.pass;
    s.diskpass = disk.pass;
    s.network = burn_rowtext(st, net, disk, 1).str();
    s.disk = burn_rowtext(st, net, disk, 0).str();
    s.message = (disk.code != 0 ? st.diskmsg : st.netmsg).str();
    if (!st.pending)
        s.verdict = net.code != 0 || disk.code != 0 ? "FAILED" : "PASSED";
    const bool timed = deadline >= 0 && live.going_on();
    autopilot->time_left(timed ? std::max(0LL, (deadline - ox_monotonic_ms() + 999) / 1000) : -1);
}

// Returns false when the test is to be left.
bool BurnIn::handlekey(int key)
{
    if (live.going_on() && (key == KEY_ENTER || key == KEY_ESC || key == 'q'))
        askstop();
    else if (!live.going_on() && (key == KEY_ESC || key == KEY_ENTER))
        return false;
    else
        live.details().handle(key);
    return true;
}

void BurnIn::askstop()
{
    if (ask("Stop the burn-in test now? (y/n)", "Stop Test", "yn\x1b") != 'y')
        return;
    stopnow("TEST HALTED BY USER.");
}

// The operator's stop, or the set time's: the same verdict rule and lines
// but for the one that says why.
void BurnIn::stopnow(const char *why)
{
    live.stop_restarts();
    live.pipe(DISK).kill(SIGTERM);
    live.pipe(NET).kill(SIGTERM);
    log.print("");
    log.print(why);
    log.print("");
    mainframe->setstatus("[STOPPING]");
}

// A helper has ended for good: its row says how.
void BurnIn::final(size_t child)
{
    const int code = live.state(child).code;
    (child == NET ? st.netmsg : st.diskmsg) = code != 0 ? OxString("FAILED (code %s)", OxString(code))
                                                        : OxString("Stopped.");
}

void BurnIn::summary()
{
    const int diskcode = live.state(DISK).code, netcode = live.state(NET).code;
    log.print("");
    if (diskcode != 0)
        log.print("   Disk: FAILED (code %s)", OxString(diskcode));
    else
        log.print("   Disk: PASSED");
    if (netcode != 0)
        log.print("Network: FAILED (code %s)", OxString(netcode));
    else
        log.print("Network: PASSED");
    log.print("");
    log.print("(All these log messages are in \"%s\")", logname);
    log.print("");
    if (netcode != 0 || diskcode != 0)
        log.print("** FAILED - Press Enter When Done **");
    else
        log.print("** PASSED - Press Enter When Done **");
    mainframe->setstatus("");
    st.pending = false;
    autopilot_answer("leave the burn-in's verdict", KEY_ENTER, true);
}

} // namespace

void do_burnin()
{
    if (autopilot)
        autopilot->state().step = "burnin";
    if (!confirmed())
        return;
    BurnIn test(openlog());
    test.run();
}
