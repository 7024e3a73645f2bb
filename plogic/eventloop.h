// The one loop of the program: bring the terminal up to date, wait for
// whatever comes next, and hand it out as typed events, one at a time.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "event.h"
#include "eventagent.h"
#include "oxistreamlist.h"

class EventLoop {
public:
    EventLoop();

    // A helper's output: each line, and then its end, become events.
    void watch(OxStream *source);
    void unwatch(OxStream *source);
    // A TIMER event carrying `id` once the monotonic clock reaches due_ms
    // (-1: that timer is off). One time per id; setting it again moves it.
    void settimer(int id, long long due_ms);
    void settimer(long long due_ms) { settimer(0, due_ms); }
    // While a watched helper has lines ready, the terminal is brought up to
    // date and keys are looked for at most every `ms` (0: at every pass).
    void setframe(int ms) { frame_ms = ms; }
    // Called before each refresh after the first, once the events of the
    // pass before have been handed out: where a caller redraws what they
    // changed and decides what comes next.
    void onpass(std::function<void()> fn) { pass_fn = std::move(fn); }
    // The coming pass does not wait.
    void nowait() { skipwait = true; }

    // The next event; QUIT (again and again) once the program is to stop.
    Event next();
    // The next key, past every other event; KEY_NONE once the program is
    // to stop.
    int nextkey();
    // Whether the program is to stop: no key can come any more.
    static bool quitting();
    // The agent every loop of the program consults (nullptr: none).
    static void setagent(EventAgent *a);

private:
    struct Source {
        OxStream *stream;
        bool ended;
    };
    void pass();
    bool frame_due() const;
    int waittime() const;
    void gather_signals();
    void gather_lines();
    void gather_key();
    void gather_ends();
    void gather_timers();
    void gather_agent();

    OxIStreamList streams;
    std::vector<Source> sources;
    std::deque<Event> queue;
    std::function<void()> pass_fn;
    std::map<int, long long> timers;
    long long lastframe = 0;
    int frame_ms = 0;
    bool skipwait = false;
    bool first = true;
};
