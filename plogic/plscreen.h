// The terminal screen: raw mode, a drawing grid, and a refresh that sends the
// terminal only the cells that changed.
#pragma once

#include <termios.h>

#include <string>

#include "keydecoder.h"
#include "oxstream.h"
#include "plcells.h"

class PlScreen : public OxStreamClone {
public:
    // One stream over (rfd, wfd), used for both input and output; owns them.
    PlScreen(int rfd, int wfd);
    // Takes two existing streams (owned; they may be the same object).
    PlScreen(OxStream *ttyin, OxStream *ttyout);
    ~PlScreen() override;

    // Not ok once terminal input has ended or failed, or once the signal
    // pipe has brought QUIT, so that every loop of the program ends.
    bool isok() const override;
    // Keys already taken from the terminal and waiting to be decoded count
    // as input, so that a loop waiting on the screen (alone or in a stream
    // list) never sleeps on them.
    bool isreadable() override;
    bool select(int ms, bool readable, bool writable = false, bool exception = false) override;
    bool ready_now() const override;
    // The bytes read from the terminal on their way to becoming keys.
    KeyDecoder &keys() { return decoder; }

    // Drawing side: no terminal output.
    PlCell *cell(int x, int y);
    void gotoxy(int x, int y);
    int getxsize() const { return int(cells->getxsize()); }
    int getysize() const { return int(cells->getysize()); }
    int getcurx() const { return cursorx; }
    int getcury() const { return cursory; }
    PlCells &getcells() { return *cells; }
    void setcursortype(int t) { cursortype = t; }
    int getcursortype() const { return cursortype; }

    // Terminal side.
    void refresh(bool full = false);
    void _clear();
    void _gotoxy(int x, int y);
    void _setattr(int a);
    void _showcursor(int t);
    int getfd() const;
    static int cons_to_ansi(int c);

    // Puts the terminal back into the raw mode of this screen (after a
    // command run through the shell may have changed it); the next refresh
    // repaints everything.
    void reraw();
    // Drops the input that is waiting: in the terminal and read ahead.
    void discard_input();
    // The terminal settings found at construction (valid when hadtio()).
    const termios &saved_settings() const { return savedtio; }
    bool hadtio() const { return havetio; }

    // Posts QUIT into the signal pipe and takes it at once: isok() is false
    // from here on for every loop of the program. (A signal handler posts
    // the message alone; the next wait takes it.)
    static void request_quit();
    static bool quit_requested();
    // The next refresh sends the whole screen as if the terminal were blank
    // (after a resize, or whatever else garbled it), with the terminal's
    // autowrap off so that a narrower terminal cuts the rows instead of
    // wrapping them into each other.
    static void request_repaint();
    // Async-signal-safe: a screen has switched autowrap off and not yet back on.
    static bool autowrap_is_off();
    // How long a restore of the terminal (the screen's end, or an emergency
    // one) waits for a serial line to send it before the program's exit may
    // hang the line up.
    static constexpr int restore_drain_ms = 2000;

private:
    void init();
    void resize();

    OxStream *ttyin;
    OxStream *ttyout;
    PlCells *cells = nullptr;
    PlCells *oldcells = nullptr;
    int cursortype = 1;
    int cursorx = 0, cursory = 0;
    int lastx = -1, lasty = -1;
    bool needclear = true;
    bool wrapoff = false;                  // we switched the terminal's autowrap off
    termios savedtio{};
    bool havetio = false;
    std::string outbuf;                    // one refresh's bytes, kept for its capacity
    KeyDecoder decoder;
};

// The one screen of a program. It belongs to the program (and to each test
// binary), not to this library, so that tests never touch a real terminal.
extern PlScreen screen;
