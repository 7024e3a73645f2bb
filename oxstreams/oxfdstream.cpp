// Streams over descriptors we are given (OxFDStream) or open (OxFile).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "oxstream.h"

namespace {
// Descriptors 0-2 stay inheritable: commands run through the shell use them.
void set_cloexec(int fd)
{
    if (fd > 2) {
        int fl = fcntl(fd, F_GETFD);
        if (fl >= 0 && !(fl & FD_CLOEXEC))
            fcntl(fd, F_SETFD, fl | FD_CLOEXEC);
    }
}
} // namespace

OxFDStream::OxFDStream(int r, int w)
{
    rfd = r;
    wfd = w;
    set_cloexec(rfd);
    if (wfd != rfd)
        set_cloexec(wfd);
}

OxFDStream::~OxFDStream()
{
    flush();
    if (rfd >= 0)
        ::close(rfd);
    if (wfd >= 0 && wfd != rfd)
        ::close(wfd);
}

OxFile::OxFile(const char *name, int flags, mode_t mode)
{
    int fd;
    do
        fd = ::open(name, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        set_error(errno);
        eof = true;
        return;
    }
    int acc = flags & O_ACCMODE;
    if (acc == O_RDONLY || acc == O_RDWR)
        rfd = fd;
    if (acc == O_WRONLY || acc == O_RDWR)
        wfd = fd;
}

OxFile::~OxFile()
{
    flush();
    int fd = rfd >= 0 ? rfd : wfd;
    if (fd >= 0)
        ::close(fd);
}
