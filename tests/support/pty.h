// A pseudo-terminal pair of a chosen size: the master side is the test's
// keyboard and screen, the slave side the terminal of the program under
// test (a child process, or the test binary's own screen). Both ends are
// close-on-exec and the master never blocks, so no test can hang on it.
#pragma once

#include <termios.h>

#include <functional>
#include <string>
#include <string_view>

class Pty {
public:
    Pty(int cols, int rows);
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    int master() const { return mfd; }
    int slave() const { return sfd; }
    int dup_slave() const;                  // a close-on-exec duplicate of the slave
    int cols() const { return ncols; }
    int rows() const { return nrows; }
    void resize(int cols, int rows);        // TIOCSWINSZ on the master

    // Types bytes at the terminal. While its input is full (the program does
    // not read), `stalled` runs between tries, say to drain the program's
    // output; after five seconds of that it throws. False once hung up.
    bool type(std::string_view bytes, const std::function<void()> &stalled = {});
    // Appends to `out` what the program wrote and the master holds now,
    // without waiting: the number of bytes, 0 for none yet, -1 when no more
    // can come (hung up, or no slave open any more).
    long read_now(std::string &out);
    // Waits up to `ms` for output or a hangup.
    bool wait_readable(int ms) const;

    // Closes the master side: the program's terminal hangs up.
    void hangup();
    bool hungup() const { return mfd < 0; }
    // The settings as the program's side sees them now.
    termios settings() const;

private:
    int mfd = -1, sfd = -1;
    int ncols, nrows;
};
