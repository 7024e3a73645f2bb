// The one place where streams wait: poll over every stream's descriptors and
// the wake and kick descriptors, retried on EINTR.
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "oxstream.h"

namespace {
std::atomic<int> wakefd{-1};
std::atomic<int> kickfd{-1};
}

void ox_set_wakefd(int fd)
{
    wakefd.store(fd);
}

int ox_wakefd()
{
    return wakefd.load();
}

void ox_set_kickfd(int fd)
{
    kickfd.store(fd);
}

int ox_kickfd()
{
    return kickfd.load();
}

void ox_take_kick()
{
    const int fd = kickfd.load();
    if (fd < 0)
        return;
    char buf[64];
    ssize_t n;
    do
        n = read(fd, buf, sizeof buf);
    while (n > 0 || (n < 0 && errno == EINTR));
}

long long ox_monotonic_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
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
        // With members ready and nothing of theirs to poll there is no wait to end.
        const bool waits = !(ready > 0 && fds.empty());
        const int wfd = waits ? ox_wakefd() : -1, kfd = waits ? ox_kickfd() : -1;
        const size_t wakeat = fds.size();
        if (wfd >= 0)
            fds.push_back({wfd, POLLIN, 0});
        const size_t kickat = fds.size();
        if (kfd >= 0)
            fds.push_back({kfd, POLLIN, 0});

        int timeout = -1;
        if (ready > 0)
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
        const bool wake = wfd >= 0 && fds[wakeat].revents != 0;
        if (woken)
            *woken = wake;
        const bool kicked = kfd >= 0 && fds[kickat].revents != 0;
        if (kicked)
            ox_take_kick();

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
        if (ready > 0 || wake || kicked)
            return ready;
        if (deadline >= 0 && ox_monotonic_ms() >= deadline)
            return 0;
        // Nothing that counts yet (a timer of a stream ran out, or a signal
        // interrupted poll): wait on.
    }
}
