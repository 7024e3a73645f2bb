// The full-screen application frame: backdrop, title bar and status bar.
#pragma once

#include "oxstring.h"
#include "plscreen.h"
#include "win.h"

class FrameWin {
public:
    explicit FrameWin(PlScreen *screen);
    virtual ~FrameWin();
    FrameWin(const FrameWin &) = delete;
    FrameWin &operator=(const FrameWin &) = delete;

    void settitle(const OxString &text);
    void setversion(const OxString &text);
    void sethelp(const OxString &text);
    void setstatus(const OxString &text);
    void drawbar(PlWin &bar, const OxString &left, const OxString &right);

private:
    PlScreen *screen;
    PlWin topbar;
    PlWin bottombar;
    OxString title, version, help, status;
};
