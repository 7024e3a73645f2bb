// What the event loop hands out: one thing that happened, with its type.
#pragma once

#include "oxstream.h"
#include "oxstring.h"

struct Event {
    enum Type {
        KEY,     // key: a decoded key code (0 for a NUL byte; never KEY_NONE)
        RESIZE,  // the terminal changed size; the next refresh repaints it all
        QUIT,    // the terminal went away or a termination was requested
        LINE,    // line: one line of a watched helper's output (source)
        EXIT,    // a watched helper has ended and all its output was handed out (source)
        TIMER,   // key: the id of a timer set with EventLoop::settimer whose time has come
    };
    explicit Event(Type t = QUIT, int k = 0, OxStream *from = nullptr) : type(t), key(k), source(from) {}

    Type type;
    int key;
    OxStream *source;
    OxString line;
    bool supplied = false;   // a key the program supplied itself, not the terminal
};
