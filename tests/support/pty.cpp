#include "pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

[[noreturn]] void fail(const char *what)
{
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

} // namespace

Pty::Pty(int cols, int rows) : ncols(cols), nrows(rows)
{
    mfd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (mfd < 0)
        fail("posix_openpt");
    if (grantpt(mfd) != 0 || unlockpt(mfd) != 0)
        fail("grantpt/unlockpt");
    char name[128];
    if (ptsname_r(mfd, name, sizeof name) != 0)
        fail("ptsname_r");
    do
        sfd = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    while (sfd < 0 && errno == EINTR);
    if (sfd < 0)
        fail("open pty slave");
    resize(cols, rows);
    fcntl(mfd, F_SETFL, fcntl(mfd, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty()
{
    hangup();
    close(sfd);
}

int Pty::dup_slave() const
{
    int fd = fcntl(sfd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        fail("dup pty slave");
    return fd;
}

void Pty::resize(int cols, int rows)
{
    winsize ws{};
    ws.ws_col = (unsigned short)cols;
    ws.ws_row = (unsigned short)rows;
    int r;
    do
        r = ioctl(mfd, TIOCSWINSZ, &ws);
    while (r < 0 && errno == EINTR);
    if (r < 0)
        fail("TIOCSWINSZ");
    ncols = cols;
    nrows = rows;
}

bool Pty::type(std::string_view bytes, const std::function<void()> &stalled)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!bytes.empty()) {
        if (mfd < 0)
            return false;
        ssize_t n = ::write(mfd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(size_t(n));
        } else if (n < 0 && errno == EAGAIN) {
            if (std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("terminal input full");
            if (stalled)
                stalled();
            else
                poll(nullptr, 0, 10);
        } else if (!(n < 0 && errno == EINTR)) {
            return false;   // hung up: the program has gone
        }
    }
    return true;
}

long Pty::read_now(std::string &out)
{
    long got = 0;
    while (mfd >= 0) {
        char buf[65536];
        ssize_t n = ::read(mfd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, size_t(n));
            got += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return got > 0 || (n < 0 && errno == EAGAIN) ? got : -1;
        }
    }
    return got > 0 ? got : -1;
}

bool Pty::wait_readable(int ms) const
{
    if (mfd < 0)
        return false;
    pollfd p{mfd, POLLIN, 0};
    int r = poll(&p, 1, ms);
    return r > 0 || (r < 0 && errno == EINTR);
}

void Pty::hangup()
{
    if (mfd >= 0)
        close(mfd);
    mfd = -1;
}

termios Pty::settings() const
{
    termios t{};
    tcgetattr(sfd, &t);
    return t;
}
