#include "oxwriteall.h"

#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

void ox_write_all(int fd, const char *data, size_t n)
{
    while (n > 0) {
        ssize_t k = write(fd, data, n);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            return;
        data += k;
        n -= size_t(k);
    }
}

void ox_drain_output(int fd, int max_ms)
{
    const timespec step{0, 10 * 1000 * 1000};
    for (int waited = 0; waited < max_ms; waited += 10) {
        int queued = 0;
        if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0)
            return;
        nanosleep(&step, nullptr);
    }
}
