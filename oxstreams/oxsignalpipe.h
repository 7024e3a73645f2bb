// The one way a signal handler speaks to the program: one byte a message
// into one pipe. Every wait of the streams also waits on the pipe, so a
// message cuts short whatever wait is in progress; whoever takes the bytes
// out records them here, so a message taken by a wait that is not the
// program's loop is still there for the loop to act on.
#pragma once

class OxSignalPipe {
public:
    enum Message : char {
        QUIT = 'q',     // a termination was requested: every loop is to end
        RESIZE = 'r',   // the terminal changed size: repaint it all
    };

    // Makes the pipe (close-on-exec, non-blocking). Until then, or if it
    // cannot be made, a message is only recorded and wakes no wait.
    static void open();
    // The read end to poll beside one's own descriptors; -1 without a pipe.
    static int fd();
    // Async-signal-safe.
    static void post(Message m);
    // Empties the pipe and records what it held.
    static void take();

    // Whether a QUIT has been taken. It stays: once the program is to end,
    // no wait waits any more.
    static bool quitting();
    // Whether a RESIZE was taken since the last call.
    static bool take_resize();
    // Empties the pipe and forgets every message: a fresh start, as each
    // test of the streams wants.
    static void clear();
};
