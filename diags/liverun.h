// The screen of a test that runs helpers and shows them live: the helpers,
// a summary panel above, the Details list below with every line, and one
// event loop that hands the helpers' lines and the operator's keys to the
// test. The compatibility test and the burn-in are two descriptions of it.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "eventloop.h"
#include "helperstate.h"
#include "oxpipe.h"
#include "oxstring.h"
#include "ovlwin.h"
#include "selwin.h"

// One helper of a live run, as the test describes it.
struct ChildPlan {
    const char *program;
    std::vector<const char *> argv;                   // argv[0] first; no closing nullptr
    std::function<void(const OxString &)> online;     // each line of its output
    // Started again after each clean end while the run goes on (the restart
    // rule), no sooner than restart_gap_ms after the start before;
    // onrestart, when given, is called first.
    bool restarts = false;
    std::function<void()> onrestart;
};

struct LiveLayout {
    OxFastString title;
    int panelbottom;     // last row of the summary panel; Details starts two below
    bool deferred;       // the Details list is drawn only when the terminal is brought up to date
    int frame_ms;        // during a burst of output, at most one update per this (0: every pass)
};

class LiveRun {
public:
    // Starts every helper, then makes the panel (shown) and the Details list
    // (not yet shown, so the test can put its opening lines in first).
    LiveRun(const LiveLayout &layout, std::vector<ChildPlan> children);
    // Every helper still running gets SIGTERM before any is waited for.
    ~LiveRun();

    OvlWin &panel() { return *panelwin; }
    SelectionWin &details() { return *list; }
    EventLoop &loop() { return events; }
    const HelperState &state(size_t child) const { return kids[child].state; }
    OxPipe &pipe(size_t child) { return *kids[child].pipe; }

    // Shows the Details list, following new output, and the status "[RUNNING]".
    void begin();
    // Called before each update of the terminal, after the helpers that
    // ended were taken: where the test draws its panel.
    void ondraw(std::function<void()> fn) { drawfn = std::move(fn); }
    // Called once a helper has ended for good (no restart), its state final.
    void onfinal(std::function<void(size_t)> fn) { finalfn = std::move(fn); }
    // Hands out events until `onkey` says the test is left (false), or the
    // program is to end. A TIMER with an id of the test's own goes to ontimer.
    void run(const std::function<bool(int)> &onkey, const std::function<void(int)> &ontimer = nullptr);
    // No helper is started again from here on.
    void stop_restarts() { going = false; }
    bool going_on() const { return going; }
    // Sends every helper still running `sig`.
    void signal_all(int sig);

    static constexpr long long restart_gap_ms = 1000;
    static constexpr int restart_timer = -1;

private:
    struct Child {
        ChildPlan plan;
        HelperState state;
        std::unique_ptr<OxPipe> pipe;
        long long started = 0;
        bool ended = false;        // this start has ended and all its output was read
        bool restartdue = false;   // ended cleanly; waiting to be started again
    };
    void start(Child &c);
    void afterpass();
    void takeend(Child &c, size_t index);
    void restart(Child &c);
    long long restart_due() const;
    Child *child_of(const OxStream *source);

    EventLoop events;
    std::vector<Child> kids;
    std::unique_ptr<OvlWin> panelwin;
    std::unique_ptr<SelectionWin> list;
    std::function<void()> drawfn;
    std::function<void(size_t)> finalfn;
    bool deferred;
    bool going = true;
};
