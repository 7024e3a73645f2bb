#include "shellcmd.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "oxsignalpipe.h"
#include "oxspawn.h"
#include "oxstream.h"
#include "sigguard.h"

namespace {

const int grace_ms = 3000;

// Waits until the child has exited (true) or `ms` passed (-1: no limit), or a
// termination was requested.
bool wait_exit(int pidfd, int ms)
{
    // Once the program is to end, the grace period is waited out whole.
    return ox_wait_fd(pidfd, POLLIN, ms, !OxSignalPipe::quitting()) > 0;
}

int reap(pid_t pid)
{
    int status = -1;
    pid_t r;
    do
        r = waitpid(pid, &status, 0);
    while (r < 0 && errno == EINTR);
    return r == pid ? status : -1;
}

} // namespace

int run_shell(const char *command)
{
    const char *const argv[] = {"sh", "-c", command, nullptr};
    OxSpawnOptions o;
    o.program = "/bin/sh";
    o.argv = argv;
    // Its own group is not the terminal's foreground group; the standard
    // output and error are the terminal's, so a shell that cannot start
    // must not write over the screen.
    o.flags = OX_SPAWN_NO_TTY_STOPS | OX_SPAWN_QUIET;
    const OxChild child = ox_spawn(o);
    const pid_t pid = child.pid;
    if (pid < 0)
        return -1;
    sigguard::set_child_group(pid);

    const int pidfd = child.pidfd;
    if (pidfd >= 0) {
        while (!OxSignalPipe::quitting()) {
            if (wait_exit(pidfd, -1))
                break;
        }
        if (OxSignalPipe::quitting()) {
            // The signal handler has sent SIGTERM already; one that came
            // before the group existed is repeated here.
            kill(-pid, SIGTERM);
            if (!wait_exit(pidfd, grace_ms))
                kill(-pid, SIGKILL);
        }
        close(pidfd);
    }
    int status = reap(pid);
    sigguard::set_child_group(0);
    return status;
}
