#include "liverun.h"

#include <signal.h>

#include <cassert>
#include <string>

#include "app.h"
#include "palette.h"
#include "plscreen.h"

LiveRun::LiveRun(const LiveLayout &layout, std::vector<ChildPlan> children) : deferred(layout.deferred)
{
    for (ChildPlan &plan : children) {
        kids.push_back(Child{std::move(plan), HelperState{}, nullptr});
        start(kids.back());
    }
    for (Child &c : kids)
        events.watch(c.pipe.get());
    events.setframe(layout.frame_ms);
    events.onpass([this] { afterpass(); });

    const int w = screen.getxsize(), h = screen.getysize();
    panelwin = std::make_unique<OvlWin>(layout.title, PlRect(3, 3, w - 2, layout.panelbottom), PANEL_COLORS.fg,
                                        PANEL_COLORS.bg, PANEL_COLORS.frame, true);
    panelwin->show();
    panelwin->unfocus();
    list = std::make_unique<SelectionWin>("Details", PlRect(3, layout.panelbottom + 2, w - 2, h - 2), true);
}

LiveRun::~LiveRun()
{
    if (mainframe)
        mainframe->setstatus("");
    // Every helper gets the signal before any is waited for, so stubborn
    // ones cost one grace period together, not one each.
    signal_all(SIGTERM);
    for (Child &c : kids)
        c.pipe.reset();
    list.reset();
    panelwin.reset();
}

void LiveRun::begin()
{
    list->show();
    list->setcur(2);   // clamped to the last line: the list follows new output from here on
    // Drawn only when the terminal is brought up to date: during a burst the
    // list takes many lines between two updates.
    if (deferred)
        list->setdeferred(true);
    if (mainframe)
        mainframe->setstatus("[RUNNING]");
}

void LiveRun::run(const std::function<bool(int)> &onkey, const std::function<void(int)> &ontimer)
{
    for (Event e = events.next(); e.type != Event::QUIT; e = events.next()) {
        Child *c = child_of(e.source);
        if (e.type == Event::LINE && c)
            c->plan.online(e.line);
        else if (e.type == Event::EXIT && c)
            c->ended = true;   // taken after the pass, as is a restart that is due
        else if (e.type == Event::KEY && !onkey(e.key))
            return;
        else if (e.type == Event::TIMER && e.key != restart_timer && ontimer)
            ontimer(e.key);
    }
}

void LiveRun::signal_all(int sig)
{
    for (Child &c : kids)
        if (c.pipe)
            c.pipe->kill(sig);
}

// The helper learns which start of this run it is (RUNDIAGS_PASS), so that
// its own lines can number the passes.
void LiveRun::start(Child &c)
{
    const std::string passvar = "RUNDIAGS_PASS=" + std::to_string(c.state.pass);
    const char *const env[] = {passvar.c_str(), nullptr};
    std::vector<const char *> argv = c.plan.argv;
    argv.push_back(nullptr);
    c.pipe = std::make_unique<OxPipe>(OxPipe::reading(c.plan.program, argv.data(), env));
    c.started = ox_monotonic_ms();
    c.ended = false;
}

// What follows every pass that brought something: the helpers that ended or
// are due again (the last described first, as the burn-in's log has always
// had the disk's end before the network's), then the test's own drawing.
void LiveRun::afterpass()
{
    for (size_t i = kids.size(); i-- > 0;)
        takeend(kids[i], i);
    if (drawfn)
        drawfn();
    events.settimer(restart_timer, restart_due());
}

void LiveRun::takeend(Child &c, size_t index)
{
    if (!c.state.active)
        return;
    if (!c.restartdue) {
        if (!c.ended)
            return;
        // Nothing the helper printed may be lost.
        OxString line;
        while (c.pipe->getline(line, 0, '\n', 1024))
            c.plan.online(line);
        c.pipe->finish(true);
        assert(c.pipe->child_exited());
        if (c.pipe->exit_status() != 0)
            c.state.code = c.pipe->exit_status();
        c.restartdue = c.plan.restarts && going && c.state.code == 0;
    }
    if (c.restartdue && going) {
        // Too soon: the loop's timer brings it back in time.
        if (ox_monotonic_ms() >= c.started + restart_gap_ms)
            restart(c);
        return;
    }
    c.restartdue = false;
    c.state.active = false;
    if (finalfn)
        finalfn(index);
}

void LiveRun::restart(Child &c)
{
    c.restartdue = false;
    if (c.plan.onrestart)
        c.plan.onrestart();
    events.unwatch(c.pipe.get());
    c.pipe.reset();
    c.state.pass++;
    start(c);
    events.watch(c.pipe.get());
}

// When the next restart is due (monotonic ms), or -1.
long long LiveRun::restart_due() const
{
    long long due = -1;
    for (const Child &c : kids)
        if (c.restartdue && (due < 0 || c.started + restart_gap_ms < due))
            due = c.started + restart_gap_ms;
    return due;
}

LiveRun::Child *LiveRun::child_of(const OxStream *source)
{
    for (Child &c : kids)
        if (source && c.pipe.get() == source)
            return &c;
    return nullptr;
}
