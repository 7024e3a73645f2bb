#include "ptyterm.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

struct Pty {
    int master = -1;
    int slave = -1;
    int stoppipe[2] = {-1, -1};
    std::mutex lock;
    std::string output;
    std::thread drain;
};

Pty *pty = nullptr;

[[noreturn]] void fail(const char *what)
{
    perror(what);
    abort();
}

void drain_loop(Pty *p)
{
    char buf[4096];
    for (;;) {
        pollfd fds[2] = {{p->master, POLLIN, 0}, {p->stoppipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        const ssize_t n = read(p->master, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        std::lock_guard<std::mutex> g(p->lock);
        p->output.append(buf, size_t(n));
    }
}

Pty &open_pty(int cols, int rows)
{
    if (pty)
        return *pty;
    pty = new Pty;
    pty->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->master < 0 || grantpt(pty->master) || unlockpt(pty->master))
        fail("posix_openpt");
    const char *name = ptsname(pty->master);
    if (!name)
        fail("ptsname");
    pty->slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->slave < 0)
        fail("open slave");
    winsize ws{};
    ws.ws_col = (unsigned short)cols;
    ws.ws_row = (unsigned short)rows;
    if (ioctl(pty->master, TIOCSWINSZ, &ws) < 0)
        fail("TIOCSWINSZ");
    if (pipe2(pty->stoppipe, O_CLOEXEC) < 0)
        fail("pipe2");
    pty->drain = std::thread(drain_loop, pty);
    return *pty;
}

} // namespace

int ptyterm_slave(int cols, int rows)
{
    const int fd = fcntl(open_pty(cols, rows).slave, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        fail("dup slave");
    return fd;
}

void ptyterm_send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = write(pty->master, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("write master");
        bytes.remove_prefix(size_t(n));
    }
}

std::string ptyterm_output()
{
    std::lock_guard<std::mutex> g(pty->lock);
    return pty->output;
}

void ptyterm_hangup()
{
    if (pty->drain.joinable()) {
        const char c = 0;
        while (write(pty->stoppipe[1], &c, 1) < 0 && errno == EINTR) {
        }
        pty->drain.join();
    }
    close(pty->master);
    close(pty->slave);
    pty->master = pty->slave = -1;
}
