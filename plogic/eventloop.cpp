#include "eventloop.h"

#include <algorithm>

#include "conio.h"
#include "oxsignalpipe.h"
#include "plscreen.h"

namespace {

EventAgent *agent = nullptr;

} // namespace

EventLoop::EventLoop()
{
    streams.append(&screen, false);
}

void EventLoop::watch(OxStream *source)
{
    streams.append(source, false);
    sources.push_back({source, false});
}

void EventLoop::unwatch(OxStream *source)
{
    streams.unlink(source);
    sources.erase(std::remove_if(sources.begin(), sources.end(), [&](const Source &s) { return s.stream == source; }),
                  sources.end());
    queue.erase(std::remove_if(queue.begin(), queue.end(), [&](const Event &e) { return e.source == source; }),
                queue.end());
}

void EventLoop::settimer(int id, long long due_ms)
{
    if (due_ms < 0)
        timers.erase(id);
    else
        timers[id] = due_ms;
}

int EventLoop::nextkey()
{
    for (Event e = next(); e.type != Event::QUIT; e = next())
        if (e.type == Event::KEY)
            return e.key;
    return KEY_NONE;
}

bool EventLoop::quitting()
{
    return !screen.isok();
}

void EventLoop::setagent(EventAgent *a)
{
    agent = a;
}

Event EventLoop::next()
{
    // What one pass brought is handed out whole before the program may stop.
    while (queue.empty()) {
        if (quitting())
            return Event();
        pass();
    }
    Event e = std::move(queue.front());
    queue.pop_front();
    return e;
}

// Refresh, wait, and take a little of everything that came: the signal
// pipe's messages, at most one line of each helper (so keys stay answered
// through any burst of output), a key, the helpers that ended, the timers
// and what the agent supplies.
void EventLoop::pass()
{
    const bool frame = frame_due();
    if (frame) {
        if (!first && pass_fn)
            pass_fn();
        first = false;
        // A resize another wait took is repainted by this refresh.
        gather_signals();
        lastframe = ox_monotonic_ms();
        if (agent)
            agent->overlay(true);
        screen.refresh();
        if (agent)
            agent->overlay(false);
        streams.runonce(waittime());
        skipwait = false;
    }
    gather_signals();
    gather_lines();
    if (frame)
        gather_key();
    gather_ends();
    gather_timers();
    gather_agent();
}

// During a burst (lines already read ahead, so nothing to wait for) the
// terminal follows at a steady frame rate instead of once per line.
bool EventLoop::frame_due() const
{
    if (frame_ms == 0)
        return true;
    for (const Source &s : sources)
        if (s.stream->ready_now())
            return ox_monotonic_ms() - lastframe >= frame_ms;
    return true;
}

int EventLoop::waittime() const
{
    if (skipwait)
        return 0;
    long long due = agent ? agent->due() : -1;
    for (const auto &[id, at] : timers)
        if (due < 0 || at < due)
            due = at;
    if (due < 0)
        return -1;
    const long long left = due - ox_monotonic_ms();
    return left < 0 ? 0 : int(left);
}

void EventLoop::gather_signals()
{
    if (OxSignalPipe::take_resize()) {
        PlScreen::request_repaint();
        queue.push_back(Event(Event::RESIZE));
    }
}

void EventLoop::gather_lines()
{
    for (const Source &s : sources) {
        Event e(Event::LINE);
        if (s.stream->getline(e.line, 0, '\n', 1024)) {
            e.source = s.stream;
            queue.push_back(std::move(e));
        }
    }
}

void EventLoop::gather_key()
{
    if (!screen.isreadable())
        return;
    const int key = readkey();
    if (key == KEY_NONE)
        return;
    Event e(Event::KEY, key);
    if (!agent || !agent->intercept(e))
        queue.push_back(e);
}

void EventLoop::gather_ends()
{
    for (Source &s : sources)
        if (!s.ended && !s.stream->isok()) {
            s.ended = true;
            queue.push_back(Event(Event::EXIT, 0, s.stream));
        }
}

void EventLoop::gather_timers()
{
    const long long now = ox_monotonic_ms();
    for (auto it = timers.begin(); it != timers.end();) {
        if (it->second <= now) {
            queue.push_back(Event(Event::TIMER, it->first));
            it = timers.erase(it);
        } else {
            ++it;
        }
    }
}

void EventLoop::gather_agent()
{
    if (!agent)
        return;
    std::vector<Event> supplied;
    agent->supply(supplied);
    for (Event &e : supplied)
        queue.push_back(std::move(e));
}
