#include "oxsignalpipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {

volatile sig_atomic_t read_end = -1;
volatile sig_atomic_t write_end = -1;
// Set by take(), or by post() itself while there is no pipe to carry the
// message; read by the program, never by a handler.
volatile sig_atomic_t quit_taken = 0;
volatile sig_atomic_t resize_taken = 0;

void record(char m)
{
    if (m == OxSignalPipe::QUIT)
        quit_taken = 1;
    else if (m == OxSignalPipe::RESIZE)
        resize_taken = 1;
}

} // namespace

void OxSignalPipe::open()
{
    if (read_end >= 0)
        return;
    int p[2];
    if (pipe2(p, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    write_end = p[1];
    read_end = p[0];
}

int OxSignalPipe::fd()
{
    return read_end;
}

void OxSignalPipe::post(Message m)
{
    const int saved_errno = errno;
    const char byte = char(m);
    // A full pipe has messages enough to wake every wait; the flag below
    // keeps the message itself.
    if (write_end < 0 || ::write(write_end, &byte, 1) != 1)
        record(byte);
    errno = saved_errno;
}

void OxSignalPipe::take()
{
    if (read_end < 0)
        return;
    char buf[64];
    ssize_t n;
    do {
        n = ::read(read_end, buf, sizeof buf);
        for (ssize_t i = 0; i < n; ++i)
            record(buf[i]);
    } while (n > 0 || (n < 0 && errno == EINTR));
}

bool OxSignalPipe::quitting()
{
    return quit_taken != 0;
}

bool OxSignalPipe::take_resize()
{
    const bool r = resize_taken != 0;
    resize_taken = 0;
    return r;
}

void OxSignalPipe::clear()
{
    take();
    quit_taken = 0;
    resize_taken = 0;
}
