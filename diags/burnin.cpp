// The burn-in test: runs netburn and diskburn side by side, restarts each
// after every clean pass until the operator stops the test, and ends with a
// verdict.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cassert>
#include <memory>
#include <string>
#include <string_view>

#include "app.h"
#include "burnstate.h"
#include "conio.h"
#include "eventloop.h"
#include "msgwin.h"
#include "oxpipe.h"
#include "palette.h"
#include "plscreen.h"

namespace {

const char *const logname = "/tmp/burnin.log";

// A helper that exits cleanly at once (nothing to test) must not be
// restarted in a tight loop that floods the log and burns the CPU.
const long long min_restart_ms = 1000;

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
    if (ask(danger("               Press ENTER to continue..."), "THIS IS DANGEROUS", "\x1b\rn") != KEY_ENTER)
        return false;
    if (ask(danger("    Are you very sure you want to do this? (y/n)"), "THIS IS *VERY* DANGEROUS", "\x1byn") != 'y')
        return false;
    // A terminal that fails here (answer 0) is no go-ahead for destroying disks.
    const int answer = ask(cabling_text, "Configure Hardware", "\x1b\r");
    return answer != KEY_ESC && answer != 0;
}

// The log lives in a world-writable directory and we run as root: never
// follow a link planted there, never write into a file someone else made.
OxFile *openlog()
{
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
    unlink(logname);
    auto *file = new OxFile(logname, flags, 0666);
    if (!file->isok() && file->geterr() == EEXIST) {
        delete file;
        unlink(logname);
        file = new OxFile(logname, flags, 0666);
    }
    return file;
}

using LineHandler = void (*)(BurnState &, BurnLog &, const OxString &);

// One helper of the test: how it is started, who reads its lines, and its
// own part of the test's state.
struct Child {
    const char *program;
    const char *const *argv;
    LineHandler handleline;
    const char *restartnote;   // logged before each restart; nullptr: nothing
    bool &active;
    int &code;
    OxString &msg;
    int &pass;                 // this start's number within the run
    OxPipe *pipe = nullptr;
    long long started = 0;
    bool ended = false;        // this start has ended and all its output was read
    bool restartdue = false;   // ended cleanly; waiting to be started again

    // The helper learns which start of this run it is (RUNDIAGS_PASS), so
    // that its own lines can number the passes.
    void start()
    {
        const std::string passvar = "RUNDIAGS_PASS=" + std::to_string(pass);
        const char *const env[] = {passvar.c_str(), nullptr};
        pipe = new OxPipe(OxPipe::reading(program, argv, env));
        started = ox_monotonic_ms();
        ended = false;
    }
};

class BurnIn {
public:
    BurnIn(OxFile *file);
    ~BurnIn();
    void run();

private:
    void afterpass();
    long long restart_due() const;
    Child *child_of(const OxStream *source);
    bool handlekey(int key);
    void askstop();
    void childend(Child &c);
    void restart(Child &c);
    void summary();

    EventLoop loop;
    std::unique_ptr<OxFile> file;
    BurnState st;
    int netpass = 1;           // the network's own count of starts
    Child net{"netburn", netargv, burn_netline, nullptr, st.netactive, st.netcode, st.netmsg, netpass};
    Child disk{"diskburn", diskargv, burn_diskline, "   Disk: starting again.", st.diskactive, st.diskcode,
               st.diskmsg, st.diskloop};
    std::unique_ptr<OvlWin> status;
    std::unique_ptr<SelectionWin> details;
    std::unique_ptr<BurnLog> log;

    static constexpr const char *netargv[] = {"netburn", "-1", nullptr};
    static constexpr const char *diskargv[] = {"diskburn", "--destroy", nullptr};
};

BurnIn::BurnIn(OxFile *logfile) : file(logfile)
{
    net.start();
    disk.start();
    loop.watch(net.pipe);
    loop.watch(disk.pipe);
    loop.onpass([this] { afterpass(); });

    int w = screen.getxsize(), h = screen.getysize();
    status = std::make_unique<OvlWin>("Burn-in Test", PlRect(3, 3, w - 2, 7), PANEL_COLORS.fg, PANEL_COLORS.bg,
                                      PANEL_COLORS.frame, true);
    status->show();
    status->unfocus();
    details = std::make_unique<SelectionWin>("Details", PlRect(3, 9, w - 2, h - 2), true);
    log = std::make_unique<BurnLog>(*details, *file, logname);
    log->print("Running network and disk burn-in tests.");
    log->print("");
    details->show();
    details->setcur(2);
    mainframe->setstatus("[RUNNING]");
}

BurnIn::~BurnIn()
{
    mainframe->setstatus("");
    // Both children get the signal before either is waited for, so two
    // stubborn children cost one grace period, not two.
    net.pipe->kill(SIGTERM);
    disk.pipe->kill(SIGTERM);
    delete net.pipe;
    delete disk.pipe;
    log.reset();
    details.reset();
    status.reset();
    file.reset();
}

void BurnIn::run()
{
    for (Event e = loop.next(); e.type != Event::QUIT; e = loop.next()) {
        Child *c = child_of(e.source);
        if (e.type == Event::LINE && c)
            c->handleline(st, *log, e.line);
        else if (e.type == Event::EXIT && c)
            c->ended = true;   // taken after the pass, as is a restart that is due
        else if (e.type == Event::KEY && !handlekey(e.key))
            return;
    }
}

// What follows every pass that brought something: the helpers that ended
// or are due again, the verdict once both are done, and the status rows.
void BurnIn::afterpass()
{
    childend(disk);
    childend(net);
    if (!st.running && st.pending && !st.netactive && !st.diskactive)
        summary();
    if (st.netcode != 0 && st.diskcode != 0 && st.running) {
        st.running = false;
        loop.nowait();     // the summary is written by the next pass, which must not wait for a key
    }
    burn_drawstatus(st, *status);
    loop.settimer(restart_due());
}

// When the next restart is due (monotonic ms), or -1.
long long BurnIn::restart_due() const
{
    long long due = -1;
    for (const Child *c : {&net, &disk})
        if (c->restartdue && (due < 0 || c->started + min_restart_ms < due))
            due = c->started + min_restart_ms;
    return due;
}

Child *BurnIn::child_of(const OxStream *source)
{
    for (Child *c : {&net, &disk})
        if (source && c->pipe == source)
            return c;
    return nullptr;
}

// Returns false when the test is to be left.
bool BurnIn::handlekey(int key)
{
    if (st.running && (key == KEY_ENTER || key == KEY_ESC || key == 'q'))
        askstop();
    else if (!st.running && (key == KEY_ESC || key == KEY_ENTER))
        return false;
    else
        details->handle(key);
    return true;
}

void BurnIn::askstop()
{
    if (ask("Stop the burn-in test now? (y/n)", "Stop Test", "yn\x1b") != 'y')
        return;
    st.running = false;
    disk.pipe->kill(SIGTERM);
    net.pipe->kill(SIGTERM);
    log->print("");
    log->print("TEST HALTED BY USER.");
    log->print("");
    mainframe->setstatus("[STOPPING]");
}

void BurnIn::childend(Child &c)
{
    if (!c.active)
        return;
    if (!c.restartdue) {
        if (!c.ended)
            return;
        // Nothing the child printed may be lost from the log.
        OxString line;
        while (c.pipe->getline(line, 0, '\n', 1024))
            c.handleline(st, *log, line);
        c.pipe->finish(true);
        assert(c.pipe->child_exited());
        if (c.pipe->exit_status() != 0)
            c.code = c.pipe->exit_status();
        c.restartdue = st.running && c.code == 0;
    }
    if (c.restartdue && st.running) {
        // Too soon: the loop's timer brings it back in time.
        if (ox_monotonic_ms() >= c.started + min_restart_ms)
            restart(c);
        return;
    }
    c.restartdue = false;
    c.active = false;
    c.msg = c.code != 0 ? OxString("FAILED (code %s)", OxString(c.code)) : OxString("Stopped.");
}

void BurnIn::restart(Child &c)
{
    c.restartdue = false;
    if (c.restartnote)
        log->print(c.restartnote);
    loop.unwatch(c.pipe);
    delete c.pipe;
    c.pass++;
    c.start();
    loop.watch(c.pipe);
}

void BurnIn::summary()
{
    log->print("");
    if (st.diskcode != 0)
        log->print("   Disk: FAILED (code %s)", OxString(st.diskcode));
    else
        log->print("   Disk: PASSED");
    if (st.netcode != 0)
        log->print("Network: FAILED (code %s)", OxString(st.netcode));
    else
        log->print("Network: PASSED");
    log->print("");
    log->print("(All these log messages are in \"%s\")", logname);
    log->print("");
    if (st.netcode != 0 || st.diskcode != 0)
        log->print("** FAILED - Press Enter When Done **");
    else
        log->print("** PASSED - Press Enter When Done **");
    mainframe->setstatus("");
    st.pending = false;
}

} // namespace

void do_burnin()
{
    if (!confirmed())
        return;
    BurnIn test(openlog());
    test.run();
}
