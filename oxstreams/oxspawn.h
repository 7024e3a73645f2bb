// Starting a child process for a pipe stream.
#pragma once

#include <sys/types.h>

struct OxChild {
    pid_t pid = -1;
    int pidfd = -1;        // -1 when the kernel offers none; the caller then polls
    int err = 0;           // errno when no process could be made at all
};

// Starts `program` (looked up in PATH when it holds no '/'; empty and
// relative entries are skipped) with argv; fds[i] becomes the child's
// descriptor i. The child runs in a process group of its own, with default
// signal dispositions, an empty signal mask and nothing else open; it gets
// SIGTERM when the calling thread ends (and does not start at all if the
// caller is gone already). When the program cannot be run, the child writes
// "<program>: <reason>" and a newline to its descriptor 1 and exits 127.
// env (NULL-terminated "NAME=value" entries, may be NULL) is added to the
// environment the child inherits, replacing variables of the same names.
OxChild ox_spawn(const char *program, const char *const argv[], const int fds[3], const char *const env[] = nullptr);

// In a child between fork and exec; `parent` is the pid of the process that
// forked it, taken before the fork. The child gets SIGTERM when the forking
// thread ends, and ends at once (status 127) if the parent is gone already,
// as that signal would then never come. Async-signal-safe.
void ox_die_with_parent(pid_t parent);
