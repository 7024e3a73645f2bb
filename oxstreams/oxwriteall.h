// Writing where nothing may be allocated and nobody can be told of a failure:
// a child between fork and exec, a signal handler.
#pragma once

#include <cstddef>

// Writes all n bytes to fd, going on after interruptions and partial writes;
// stops quietly at any other failure. Async-signal-safe.
void ox_write_all(int fd, const char *data, size_t n);

// Waits until a terminal has sent what was written to it, for at most
// max_ms: a program whose end hangs up a serial line loses what the UART
// still holds (its terminal restore among it), but a line held by flow
// control may never drain. Returns at once for anything that keeps no
// output queue (a pipe, a file, a pseudo-terminal). Async-signal-safe.
void ox_drain_output(int fd, int max_ms);
