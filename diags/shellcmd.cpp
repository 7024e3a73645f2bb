#include "shellcmd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "oxspawn.h"
#include "oxstream.h"
#include "plscreen.h"
#include "sigguard.h"

namespace {

const int grace_ms = 3000;

[[noreturn]] void exec_shell(const char *command, pid_t parent)
{
    setpgid(0, 0);
    // Dispositions that the program set to "ignore" would survive exec.
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD})
        signal(sig, SIG_DFL);
    // Its own group is not the terminal's foreground group: a command that
    // sets terminal modes must not be stopped for it, and one that reads the
    // terminal gets an error instead of stopping for good.
    signal(SIGTTOU, SIG_IGN);
    signal(SIGTTIN, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // The command must not outlive the program: our death sends it SIGTERM,
    // at its default disposition by now.
    ox_die_with_parent(parent);
    int null = open("/dev/null", O_RDONLY);   // close-on-exec itself; dup2 clears the flag
    if (null >= 0) {
        dup2(null, 0);
        close(null);
    }
    execl("/bin/sh", "sh", "-c", command, static_cast<char *>(nullptr));
    _exit(127);
}

// Waits until the child has exited (true) or `ms` passed (-1: no limit), or a
// termination was requested.
bool wait_exit(int pidfd, int ms)
{
    pollfd p[2] = {{pidfd, POLLIN, 0}, {ox_wakefd(), POLLIN, 0}};
    const int n = PlScreen::quit_requested() || p[1].fd < 0 ? 1 : 2;
    int r = poll(p, nfds_t(n), ms);
    return r > 0 && (p[0].revents & (POLLIN | POLLHUP));
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
    const pid_t self = getpid();
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0)
        exec_shell(command, self);
    setpgid(pid, pid);   // also here, so the group exists before we may signal it
    sigguard::set_child_group(pid);

    int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        fcntl(pidfd, F_SETFD, FD_CLOEXEC);
        while (!PlScreen::quit_requested()) {
            if (wait_exit(pidfd, -1))
                break;
        }
        if (PlScreen::quit_requested()) {
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
