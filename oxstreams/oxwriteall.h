// Writing where nothing may be allocated and nobody can be told of a failure:
// a child between fork and exec, a signal handler.
#pragma once

#include <cstddef>

// Writes all n bytes to fd, going on after interruptions and partial writes;
// stops quietly at any other failure. Async-signal-safe.
void ox_write_all(int fd, const char *data, size_t n);
