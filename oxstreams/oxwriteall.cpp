#include "oxwriteall.h"

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
