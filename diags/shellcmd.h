// Runs one shell command line and waits for it, as the C library's system()
// does, but so that a termination request of the program can end it.
#pragma once

// The wait status of "/bin/sh -c command" (exit code in bits 8-15), or -1
// when no shell could be started. The command runs in a process group of
// its own with default signal dispositions (but SIGTTOU and SIGTTIN ignored)
// and /dev/null as its standard input: it cannot take the operator's keys. A
// termination request of the program sends its group SIGTERM (SIGKILL after
// a grace of 3 s); the death of the program sends the shell SIGTERM.
int run_shell(const char *command);

// The number the operator is told for a result of run_shell: the shell's exit
// code (bits 8-15); 0 for a command ended by a signal, 255 for -1.
inline int shell_error_number(int status)
{
    return (status >> 8) & 0xFF;
}
