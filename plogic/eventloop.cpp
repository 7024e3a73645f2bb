#include "eventloop.h"

#include <algorithm>

#include "conio.h"
#include "plscreen.h"

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

bool EventLoop::quitting()
{
    return !screen.isok();
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

// Refresh, wait, and take a little of everything that came: at most one line
// of each helper (so keys stay answered through any burst of output), a key,
// the helpers that ended, the timer.
void EventLoop::pass()
{
    const bool frame = frame_due();
    if (frame) {
        if (!first && pass_fn)
            pass_fn();
        first = false;
        lastframe = ox_monotonic_ms();
        screen.refresh();
        streams.runonce(waittime());
        skipwait = false;
    }
    gather_lines();
    if (frame)
        gather_key();
    gather_ends();
    if (timer >= 0 && ox_monotonic_ms() >= timer) {
        timer = -1;
        queue.push_back(Event(Event::TIMER));
    }
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
    if (timer < 0)
        return -1;
    const long long left = timer - ox_monotonic_ms();
    return left < 0 ? 0 : int(left);
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
    if (key != KEY_NONE)
        queue.push_back(Event(Event::KEY, key));
}

void EventLoop::gather_ends()
{
    for (Source &s : sources)
        if (!s.ended && !s.stream->isok()) {
            s.ended = true;
            queue.push_back(Event(Event::EXIT, 0, s.stream));
        }
}
