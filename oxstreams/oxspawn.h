// Starting a child process for a pipe stream.
#pragma once

#include <sys/types.h>

struct OxChild {
    pid_t pid = -1;
    int pidfd = -1;        // -1 when the kernel offers none; the caller then polls
    int err = 0;           // errno when no process could be made at all
};

// What one of a child's standard descriptors is: a descriptor of ours, the
// null device, closed, or (for OxPipe only) a pipe back to us.
struct OxStdio {
    enum Kind { Closed, Fd, Null, Pipe };
    Kind kind = Closed;
    int fd = -1;

    static constexpr OxStdio of(int fd) { return {Fd, fd}; }
    static constexpr OxStdio null() { return {Null, -1}; }
    static constexpr OxStdio pipe() { return {Pipe, -1}; }
    static constexpr OxStdio closed() { return {Closed, -1}; }
};

enum : unsigned {
    // SIGTTOU and SIGTTIN ignored: a child outside the terminal's foreground
    // group that sets terminal modes is not stopped for it, and one that
    // reads the terminal gets an error instead of stopping for good.
    OX_SPAWN_NO_TTY_STOPS = 1,
    // A program that cannot be run exits 127 without saying why on its
    // descriptor 1 (which may be the operator's terminal).
    OX_SPAWN_QUIET = 2,
};

// How to start a child: the program (looked up in PATH when it holds no '/';
// empty and relative entries are skipped), its NULL-terminated argv (NULL:
// the program alone), NULL-terminated "NAME=value" entries added to the
// environment it inherits (replacing variables of the same names; NULL:
// none), its three standard descriptors (by default: no input, our output
// and error) and OX_SPAWN_* flags.
struct OxSpawnOptions {
    const char *program = nullptr;
    const char *const *argv = nullptr;
    const char *const *env = nullptr;
    OxStdio stdio[3] = {OxStdio::null(), OxStdio::of(1), OxStdio::of(2)};
    unsigned flags = 0;
};

// Starts a child as `o` says (a Pipe disposition counts as closed here). The
// child runs in a process group of its own, with default signal dispositions
// (but see OX_SPAWN_NO_TTY_STOPS), an empty signal mask and nothing but its
// standard descriptors open; it gets SIGTERM when the calling thread ends
// (and does not start at all if the caller is gone already). When the
// program cannot be run, the child writes "<program>: <reason>" and a
// newline to its descriptor 1 (unless OX_SPAWN_QUIET) and exits 127.
OxChild ox_spawn(const OxSpawnOptions &o);

// In a child between fork and exec; `parent` is the pid of the process that
// forked it, taken before the fork. The child gets SIGTERM when the forking
// thread ends, and ends at once (status 127) if the parent is gone already,
// as that signal would then never come. Async-signal-safe.
void ox_die_with_parent(pid_t parent);
