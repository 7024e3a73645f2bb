#include "oxstream.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
// A helper that dies while we write to it must make the stream not ok, not
// end the program. Ignored once, process-wide, unless the program installed
// a handler of its own.
void ignore_sigpipe()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    struct sigaction old;
    if (sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler == SIG_DFL && !(old.sa_flags & SA_SIGINFO))
        signal(SIGPIPE, SIG_IGN);
}

// Waits until fd is ready for `events`, or a message of the signal pipe
// comes (unless use_signals is false). ms: -1 no limit. Returns 1 ready,
// 0 timeout, -1 cut short or failed.
int wait_fd(int fd, short events, int ms, bool use_signals = true)
{
    return ox_wait_fd(fd, events, ms, use_signals);
}
} // namespace

OxStream::OxStream()
{
    ignore_sigpipe();
}

OxStream::~OxStream() = default;

bool OxStream::isok() const
{
    bool ok = !failed && !(ended() && pending() == 0);
    if (!ok)
        endseen = true;
    return ok;
}

size_t OxStream::find_sep(char sep) const
{
    if (sep != scansep) {
        scansep = sep;
        scanned = rpos;
    }
    const size_t from = std::max(scanned, rpos);
    const char *base = rbuf.data();
    const void *hit = std::memchr(base + from, sep, rbuf.size() - from);
    if (hit)
        return size_t(static_cast<const char *>(hit) - base);
    scanned = rbuf.size();
    return std::string::npos;
}

bool OxStream::has_line(char sep) const
{
    const size_t avail = pending();
    return avail > 0 && (avail >= line_cap || find_sep(sep) != std::string::npos);
}

bool OxStream::take_line(OxString &line, char sep)
{
    const size_t avail = pending();
    if (avail == 0)
        return false;
    const size_t hit = find_sep(sep);
    size_t len, skip;
    if (hit != std::string::npos && hit - rpos <= line_cap) {
        len = hit - rpos;
        skip = 1;
    } else if (avail >= line_cap) {
        // A child that never ends its line: hand out what we have rather than
        // grow without bound; the rest follows as the next line.
        len = line_cap;
        skip = 0;
    } else if (ended() || eof) {
        len = avail;
        skip = 0;
    } else {
        return false;
    }
    line = OxString(std::string_view(rbuf.data() + rpos, len));
    consume(len + skip);
    return true;
}

void OxStream::consume(size_t n)
{
    rpos += n;
    scanned = std::max(scanned, rpos);
    if (rpos == rbuf.size()) {
        rbuf.clear();
        rpos = scanned = 0;
    }
}

ssize_t OxStream::read_some(char *data, size_t max)
{
    for (;;) {
        const ssize_t n = ::read(rfd, data, max);
        if (n > 0)
            return n;
        if (n == 0) {
            set_eof();
            return 0;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return -1;
        // A read error ends the input like EOF; what was read stays deliverable.
        err = errno;
        set_eof();
        return 0;
    }
}

size_t OxStream::fill(size_t max, bool wait)
{
    if (rfd < 0 || eof)
        return 0;
    if (wait && wait_fd(rfd, POLLIN, -1) <= 0)
        return 0;
    if (rpos > 0) {
        rbuf.erase(0, rpos);
        scanned = scanned > rpos ? scanned - rpos : 0;
        rpos = 0;
    }
    char chunk[65536];
    const ssize_t n = read_some(chunk, std::min(std::max(max, size_t(1)), sizeof chunk));
    if (n <= 0)
        return 0;
    rbuf.append(chunk, size_t(n));
    return size_t(n);
}

void OxStream::close_read()
{
    if (rfd >= 0 && ownfds && rfd != wfd)
        ::close(rfd);
    rfd = -1;
    set_eof();
}

bool OxStream::getline(OxString &line, int waitms, char sep, size_t readahead)
{
    lastsep = sep;
    bytemode = false;
    readsize = std::max(readahead, size_t(65536));
    long long deadline = waitms < 0 ? -1 : ox_monotonic_ms() + waitms;
    OxStream *self = this;
    for (;;) {
        if (take_line(line, sep))
            return true;
        if (ended() || (rfd < 0 && !eof))
            return false;
        int left = deadline < 0 ? -1 : int(std::max(0LL, deadline - ox_monotonic_ms()));
        bool woken = false;
        // Each pass reads one block; without waiting we still take in all
        // that is already there, so a long line comes out in one call.
        int ready = ox_wait_streams(&self, 1, left, &woken);
        if (take_line(line, sep))
            return true;
        if (woken)
            return false;
        if (ready == 0 && left >= 0 && ox_monotonic_ms() >= deadline)
            return false;
    }
}

bool OxStream::isreadable()
{
    if (pending() > 0 || ended())
        return true;
    if (rfd < 0)
        return false;
    pollfd p = {rfd, POLLIN, 0};
    int rc;
    do
        rc = poll(&p, 1, 0);
    while (rc < 0 && errno == EINTR);
    return rc > 0 && p.revents != 0;
}

bool OxStream::select(int ms, bool readable, bool writable, bool exception)
{
    if (readable && (pending() > 0 || ended()))
        return true;
    short events = 0;
    if (readable || exception) {
        if (rfd < 0)
            return false;
        events = (readable ? POLLIN : 0) | (exception ? POLLPRI : 0);
        if (writable && wfd == rfd)
            events |= POLLOUT;
        return wait_fd(rfd, events, ms) > 0;
    }
    if (writable) {
        if (wfd < 0)
            return false;
        return wait_fd(wfd, POLLOUT, ms) > 0;
    }
    return false;
}

size_t OxStream::read(OxDynBuf &buf, size_t max)
{
    bytemode = true;
    max = std::min(max, buf.room());
    if (max == 0)
        return 0;
    if (pending() > 0) {
        const size_t n = buf.append(rbuf.data() + rpos, std::min(max, pending()));
        consume(n);
        return n;
    }
    if (rfd < 0 || eof)
        return 0;
    for (;;) {
        if (wait_fd(rfd, POLLIN, -1) <= 0)
            return 0;
        char chunk[65536];
        const ssize_t n = read_some(chunk, std::min(max, sizeof chunk));
        if (n >= 0)
            return n > 0 ? buf.append(chunk, size_t(n)) : 0;
    }
}

bool OxStream::write_all(const char *data, size_t n)
{
    if (failed || wfd < 0)
        return false;
    while (n > 0) {
        ssize_t k = ::write(wfd, data, n);
        if (k > 0) {
            data += k;
            n -= size_t(k);
            continue;
        }
        if (k < 0 && errno == EINTR)
            continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // An inherited non-blocking descriptor: wait for room. The wake
            // descriptor does not cut output short (the terminal must still be
            // restored after a termination request).
            if (wait_fd(wfd, POLLOUT, -1, false) < 0) {
                set_error(errno ? errno : EIO);
                return false;
            }
            continue;
        }
        set_error(k < 0 ? errno : EIO);
        return false;
    }
    return true;
}

bool OxStream::write(const char *data, size_t n)
{
    if (failed || wfd < 0)
        return false;
    if (delayed) {
        wbuf.append(data, n);
        return true;
    }
    return write_all(data, n);
}

void OxStream::delay_output(bool on)
{
    delayed = on;
    if (!on)
        flush();
}

bool OxStream::flush(int)
{
    if (wbuf.empty())
        return !failed;
    std::string out;
    out.swap(wbuf);
    return write_all(out.data(), out.size());
}

int OxStream::runonce(int ms)
{
    OxStream *self = this;
    return ox_wait_streams(&self, 1, ms);
}

bool OxStream::ready_now() const
{
    if (pending() > 0 && (bytemode || eof || has_line(lastsep)))
        return true;
    return ended() && !endseen;
}

void OxStream::pre_select(std::vector<pollfd> &fds)
{
    if (rfd < 0 || eof || has_line(lastsep))
        return;
    fds.push_back({rfd, POLLIN, 0});
}

void OxStream::post_select(const pollfd *fds, size_t n)
{
    if (n > 0 && fds[0].revents)
        fill(readsize, false);
}
