// Something beside the terminal that has its say in every loop of the
// program: keys it supplies itself after countdowns of its own, and the
// first look at the keys the terminal brings.
#pragma once

#include <vector>

#include "event.h"

class EventAgent {
public:
    virtual ~EventAgent() = default;
    // When the agent next wants a word (monotonic ms); -1: not until a key.
    virtual long long due() const = 0;
    // Once a pass, after the wait: events of its own for the loop to hand
    // out (supplied keys carry `supplied`).
    virtual void supply(std::vector<Event> &out) = 0;
    // A key from the terminal, before it is handed out: true when the agent
    // took it, and then no one else sees it.
    virtual bool intercept(const Event &key) = 0;
    // Around each update of the terminal: a window of the agent's own is
    // put on top of everything just before (true) and taken off just after
    // (false), so the windows beneath never hold a copy of it.
    virtual void overlay(bool on) = 0;
};
