#include "oxpipe.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "oxsignalpipe.h"
#include "oxspawn.h"

OxSpawnOptions OxPipe::reading(const char *program, const char *const argv[], const char *const env[])
{
    OxSpawnOptions o;
    o.program = program;
    o.argv = argv;
    o.env = env;
    o.stdio[1] = o.stdio[2] = OxStdio::pipe();
    return o;
}

OxPipe::OxPipe(const OxSpawnOptions &opt)
{
    OxSpawnOptions o = opt;
    int out[2] = {-1, -1}, in[2] = {-1, -1};
    if (o.stdio[0].kind == OxStdio::Pipe && pipe2(in, O_CLOEXEC) == 0) {
        wfd = in[1];
        o.stdio[0] = OxStdio::of(in[0]);
    }
    if (o.stdio[1].kind == OxStdio::Pipe && pipe2(out, O_CLOEXEC) == 0) {
        rfd = out[0];
        // Our end only: the child's end is a separate open file.
        fcntl(rfd, F_SETFL, fcntl(rfd, F_GETFL) | O_NONBLOCK);
        o.stdio[1] = OxStdio::of(out[1]);
    } else {
        eof = true;
    }
    if (o.stdio[2].kind == OxStdio::Pipe)
        o.stdio[2] = o.stdio[1];
    const char *program = o.program;

    OxChild c = ox_spawn(o);
    if (in[0] >= 0)
        close(in[0]);
    if (out[1] >= 0)
        close(out[1]);
    pid = c.pid;
    pidfd = c.pidfd;
    if (pid < 0) {
        // No process: say why, as the child would have, and end at once.
        std::string msg = std::string(program ? program : "") + ": " + std::strerror(c.err);
        rbuf = msg + "\n";
        close_read();
        exited = true;
        status = 127;
        exit_ms = ox_monotonic_ms();
    }
}

OxPipe::~OxPipe()
{
    if (exited && !reaped && pid > 0) {
        // The child is done; whatever it left running in its group (a
        // worker, a process holding its output) must not outlive the pipe.
        ::kill(-pid, SIGKILL);
        reap_zombie();
    }
    if (!exited && pid > 0) {
        reap(false);
        if (!exited) {
            ::kill(-pid, SIGTERM);
            wait_exit(2000);
        }
        if (!exited) {
            ::kill(-pid, SIGKILL);
            // A process stuck in disk I/O may not even die from this; we go
            // on rather than hang the program.
            wait_exit(3000);
        }
        if (exited) {
            ::kill(-pid, SIGKILL);
            reap_zombie();
        }
    }
    if (pidfd >= 0)
        close(pidfd);
    if (rfd >= 0)
        close(rfd);
    if (wfd >= 0)
        close(wfd);
    rfd = wfd = pidfd = -1;
}

void OxPipe::reap_zombie()
{
    if (reaped || pid <= 0)
        return;
    pid_t r;
    do
        r = waitpid(pid, nullptr, WNOHANG);
    while (r < 0 && errno == EINTR);
    reaped = r == pid || (r < 0 && errno == ECHILD);
}

bool OxPipe::wait_exit(int ms)
{
    long long deadline = ox_monotonic_ms() + ms;
    while (!exited) {
        long long left = deadline - ox_monotonic_ms();
        if (left <= 0)
            break;
        if (pidfd >= 0) {
            pollfd p = {pidfd, POLLIN, 0};
            if (poll(&p, 1, int(left)) < 0 && errno != EINTR)
                break;
        } else {
            poll(nullptr, 0, int(std::min(left, 20LL)));
        }
        reap(false);
    }
    return exited;
}

void OxPipe::reap(bool wait)
{
    if (exited || pid <= 0)
        return;
    // WNOWAIT: learn the exit but leave the zombie; see `reaped`.
    siginfo_t info{};
    int r;
    do
        r = waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT | (wait ? 0 : WNOHANG));
    while (r < 0 && errno == EINTR);
    if (r == 0 && info.si_pid == pid) {
        if (info.si_code == CLD_EXITED)
            status = info.si_status;
        else if (info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED)
            status = 128 + info.si_status;
        else
            status = 255;
    } else if (r < 0 && errno == ECHILD) {
        // Reaped elsewhere (SIGCHLD ignored by someone): gone, code unknown.
        status = 255;
        reaped = true;
    } else {
        return;
    }
    exited = true;
    exit_ms = ox_monotonic_ms();
    if (pidfd >= 0) {
        close(pidfd);
        pidfd = -1;
    }
}

void OxPipe::update(bool check_exit)
{
    // waitpid costs a system call; ask only when the pidfd said so, when
    // there is no pidfd, or once the output has ended and only the exit is missing.
    if (!exited && (check_exit || pidfd < 0 || eof))
        reap(false);
    if (eof && rfd >= 0) {
        close_read();
        return;
    }
    if (exited && rfd >= 0 && ox_monotonic_ms() - exit_ms >= output_grace_ms) {
        // Whatever the child wrote before it exited is in the pipe now; take
        // all of it, then stop listening to anyone else who holds the pipe.
        int avail = 0;
        if (ioctl(rfd, FIONREAD, &avail) == 0 && avail > 0) {
            size_t left = size_t(avail);
            while (left > 0 && !eof) {
                size_t n = fill(left, false);
                if (n == 0)
                    break;
                left -= std::min(left, n);
            }
        }
        close_read();
    }
}

bool OxPipe::isok() const
{
    const_cast<OxPipe *>(this)->update(false);
    return OxStream::isok();
}

bool OxPipe::isreadable()
{
    update(false);
    return OxStream::isreadable();
}

bool OxPipe::finish(bool wait)
{
    if (!exited && wait) {
        if (pidfd < 0) {
            reap(true);
        } else {
            // A resize does not end this wait; the end of the program does.
            while (!exited) {
                const int rc = ox_wait_fd(pidfd, POLLIN, -1);
                reap(false);
                if (rc == -2 || (rc < 0 && OxSignalPipe::quitting()))
                    break;
            }
        }
    }
    update(true);
    return exited;
}

bool OxPipe::kill(int sig)
{
    // Once reaped, the number may belong to someone else.
    if (reaped || pid <= 0)
        return false;
    return ::kill(-pid, sig) == 0 || ::kill(pid, sig) == 0;
}

bool OxPipe::ready_now() const
{
    return OxStream::ready_now();
}

void OxPipe::pre_select(std::vector<pollfd> &fds)
{
    size_t before = fds.size();
    OxStream::pre_select(fds);
    nbase = fds.size() - before;
    // While lines wait to be handed out the exit can wait too; leaving the
    // pidfd out then lets a list of busy members skip poll altogether.
    if (!exited && pidfd >= 0 && (nbase > 0 || !OxStream::ready_now()))
        fds.push_back({pidfd, POLLIN, 0});
}

void OxPipe::post_select(const pollfd *fds, size_t n)
{
    OxStream::post_select(fds, std::min(n, nbase));
    update(n > nbase && fds[nbase].revents != 0);
}

int OxPipe::next_timeout_ms() const
{
    if (exited && rfd >= 0 && !eof)
        return int(std::max(0LL, output_grace_ms - (ox_monotonic_ms() - exit_ms)));
    if (!exited && pidfd < 0)
        return 50;                         // no pidfd: look for the exit now and then
    return -1;
}
