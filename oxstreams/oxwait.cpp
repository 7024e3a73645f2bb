// The one place where streams wait: poll over every stream's descriptors and
// the signal pipe, retried on EINTR.
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "oxsignalpipe.h"
#include "oxstream.h"

long long ox_monotonic_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

int ox_wait_fd(int fd, short events, int ms, bool signals)
{
    const long long deadline = ms < 0 ? -1 : ox_monotonic_ms() + ms;
    for (;;) {
        if (signals && OxSignalPipe::quitting())
            return -1;
        pollfd fds[2] = {{fd, events, 0}, {signals ? OxSignalPipe::fd() : -1, POLLIN, 0}};
        const int timeout = deadline < 0 ? -1 : int(std::max(0LL, deadline - ox_monotonic_ms()));
        const int rc = poll(fds, 2, timeout);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return -2;
        }
        if (fds[0].revents)
            return 1;
        if (fds[1].revents) {
            OxSignalPipe::take();
            return -1;
        }
        if (rc == 0)
            return 0;
    }
}

int ox_wait_streams(OxStream *const *streams, size_t n, int ms, bool *woken)
{
    if (woken)
        *woken = false;
    long long deadline = ms < 0 ? -1 : ox_monotonic_ms() + ms;
    std::vector<pollfd> fds;
    std::vector<size_t> first(n + 1);
    for (;;) {
        int ready = 0;
        for (size_t i = 0; i < n; ++i)
            if (streams[i]->ready_now())
                ++ready;
        fds.clear();
        for (size_t i = 0; i < n; ++i) {
            first[i] = fds.size();
            streams[i]->pre_select(fds);
        }
        first[n] = fds.size();
        // With members ready and nothing of theirs to poll there is no wait
        // to end; once the program is to end, no wait waits.
        const bool waits = !(ready > 0 && fds.empty()) && !OxSignalPipe::quitting();
        const int sfd = waits ? OxSignalPipe::fd() : -1;
        const size_t sigat = fds.size();
        if (sfd >= 0)
            fds.push_back({sfd, POLLIN, 0});

        int timeout = -1;
        if (ready > 0 || OxSignalPipe::quitting())
            timeout = 0;
        else if (deadline >= 0)
            timeout = int(std::max(0LL, deadline - ox_monotonic_ms()));
        for (size_t i = 0; i < n && timeout != 0; ++i) {
            int t = streams[i]->next_timeout_ms();
            if (t >= 0 && (timeout < 0 || t < timeout))
                timeout = t;
        }

        // Members that are all ready and have nothing to poll: no system call.
        int rc = fds.empty() && timeout == 0 ? 0 : poll(fds.data(), fds.size(), timeout);
        if (rc < 0) {
            if (errno != EINTR)
                return 0;
            for (auto &f : fds)
                f.revents = 0;
        }
        const bool signalled = sfd >= 0 && fds[sigat].revents != 0;
        if (signalled)
            OxSignalPipe::take();
        const bool wake = signalled || OxSignalPipe::quitting();
        if (woken)
            *woken = wake;

        ready = 0;
        for (size_t i = 0; i < n; ++i) {
            bool events = false;
            for (size_t k = first[i]; k < first[i + 1]; ++k)
                if (fds[k].revents)
                    events = true;
            streams[i]->post_select(fds.data() + first[i], first[i + 1] - first[i]);
            if (events || streams[i]->ready_now())
                ++ready;
        }
        if (ready > 0 || wake)
            return ready;
        if (deadline >= 0 && ox_monotonic_ms() >= deadline)
            return 0;
        // Nothing that counts yet (a timer of a stream ran out, or a signal
        // interrupted poll): wait on.
    }
}
