// A screen over an in-memory terminal (no descriptor: 80 x 24, no settings),
// already past its first refresh, so tests see only what they change.
#pragma once

#include <memory>
#include <string>

#include "plscreen.h"
#include "testterm.h"

struct MemScreen {
    MemStream *term = new MemStream;        // owned by the screen
    std::unique_ptr<PlScreen> scr{new PlScreen(term, term)};

    explicit MemScreen(bool settle = true)
    {
        if (settle) {
            scr->refresh();
            term->take_output();
        }
    }
    // Output of one refresh.
    std::string refresh(bool full = false)
    {
        scr->refresh(full);
        return term->take_output();
    }
    void put(int x, int y, int ch, int attr) { *scr->cell(x, y) = PlCell(ch, PlAttr(attr)); }
};

// The fixed frame around every refresh that sends cells.
inline const std::string REFRESH_HEAD = "\x1b[0;30;40m\x0f\x1b)0\x1b[?25l";
inline const std::string REFRESH_TAIL = "\x0f\x1b)B\x1b(B";
