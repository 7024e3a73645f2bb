#include "testterm.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

// ---- MemStream ----

void MemStream::inject(std::string_view bytes)
{
    {
        std::lock_guard<std::mutex> l(mu);
        in.append(bytes.data(), bytes.size());
    }
    cv.notify_all();
}

void MemStream::end_input()
{
    {
        std::lock_guard<std::mutex> l(mu);
        ended = true;
    }
    cv.notify_all();
}

size_t MemStream::pending() const
{
    std::lock_guard<std::mutex> l(mu);
    return in.size() - inpos;
}

std::string MemStream::output() const
{
    std::lock_guard<std::mutex> l(mu);
    return out;
}

std::string MemStream::take_output()
{
    std::lock_guard<std::mutex> l(mu);
    std::string r;
    r.swap(out);
    flushed.clear();
    return r;
}

std::string MemStream::held() const
{
    std::lock_guard<std::mutex> l(mu);
    return hold;
}

std::vector<std::string> MemStream::chunks() const
{
    std::lock_guard<std::mutex> l(mu);
    return flushed;
}

void MemStream::set_ok(bool ok)
{
    std::lock_guard<std::mutex> l(mu);
    forced_bad = !ok;
}

bool MemStream::isok() const
{
    std::lock_guard<std::mutex> l(mu);
    if (forced_bad)
        return false;
    if (ended && inpos == in.size()) {
        endseen = true;
        return false;
    }
    return true;
}

bool MemStream::wait_input(int ms)
{
    if (on_wait) {
        bool ready;
        {
            std::lock_guard<std::mutex> l(mu);
            ready = readable_locked();
        }
        if (!ready)
            on_wait(*this);
    }
    std::unique_lock<std::mutex> l(mu);
    auto pred = [this] { return readable_locked(); };
    if (ms < 0) {
        cv.wait(l, pred);
        return true;
    }
    return cv.wait_for(l, std::chrono::milliseconds(ms), pred);
}

bool MemStream::getline(OxString &line, int waitms, char sep, size_t)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitms < 0 ? 0 : waitms);
    for (;;) {
        {
            std::lock_guard<std::mutex> l(mu);
            size_t p = in.find(sep, inpos);
            if (p != std::string::npos) {
                line = OxString(std::string_view(in).substr(inpos, p - inpos));
                inpos = p + 1;
                return true;
            }
            if (ended) {
                if (inpos < in.size()) {
                    line = OxString(std::string_view(in).substr(inpos));
                    inpos = in.size();
                    return true;
                }
                return false;
            }
        }
        if (waitms == 0)
            return false;
        int left = -1;
        if (waitms > 0) {
            auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                return false;
            left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count()) + 1;
        }
        // Waits for any new byte, then looks for a whole line again.
        size_t had = pending();
        std::unique_lock<std::mutex> l(mu);
        auto grown = [&] { return in.size() - inpos > had || ended; };
        if (left < 0)
            cv.wait(l, grown);
        else if (!cv.wait_for(l, std::chrono::milliseconds(left), grown))
            return false;
    }
}

bool MemStream::isreadable()
{
    std::lock_guard<std::mutex> l(mu);
    return readable_locked();
}

bool MemStream::select(int ms, bool readable, bool writable, bool)
{
    if (writable)
        return true;
    if (!readable)
        return false;
    return wait_input(ms);
}

size_t MemStream::read(OxDynBuf &buf, size_t max)
{
    wait_input(-1);
    std::lock_guard<std::mutex> l(mu);
    size_t n = std::min(in.size() - inpos, max);
    n = buf.append(in.data() + inpos, n);
    inpos += n;
    return n;
}

bool MemStream::write(const char *data, size_t n)
{
    std::lock_guard<std::mutex> l(mu);
    if (delayed_out) {
        hold.append(data, n);
    } else {
        out.append(data, n);
        if (copy_to)
            copy_to->append(data, n);
    }
    return !forced_bad;
}

void MemStream::deliver_held()
{
    if (hold.empty())
        return;
    out += hold;
    if (copy_to)
        *copy_to += hold;
    flushed.push_back(hold);
    hold.clear();
}

void MemStream::delay_output(bool on)
{
    std::lock_guard<std::mutex> l(mu);
    delayed_out = on;
    if (!on)
        deliver_held();
}

bool MemStream::flush(int)
{
    std::lock_guard<std::mutex> l(mu);
    flushes++;
    deliver_held();
    return !forced_bad;
}

int MemStream::runonce(int ms)
{
    return wait_input(ms) ? 1 : 0;
}

bool MemStream::ready_now() const
{
    std::lock_guard<std::mutex> l(mu);
    return readable_locked();
}

// ---- TestPty ----

TestPty::TestPty(int cols, int rows) : pty(cols, rows)
{
    if (pipe2(stopfd, O_CLOEXEC) < 0)
        throw std::runtime_error(std::string("pipe2: ") + strerror(errno));
    thr = std::thread([this] { collect(); });
}

TestPty::~TestPty()
{
    hangup();
    close(stopfd[0]);
    close(stopfd[1]);
}

void TestPty::hangup()
{
    if (thr.joinable()) {
        char c = 0;
        while (::write(stopfd[1], &c, 1) < 0 && errno == EINTR) {
        }
        thr.join();
    }
    pty.hangup();
}

void TestPty::collect()
{
    for (;;) {
        pollfd p[2] = {{pty.master(), POLLIN, 0}, {stopfd[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0 && errno != EINTR)
            return;
        // Drain what the master has before looking at the stop request, so
        // that nothing written before the pty goes away is lost.
        std::string got;
        long n = pty.read_now(got);
        if (n > 0) {
            {
                std::lock_guard<std::mutex> l(mu);
                buf += got;
            }
            cv.notify_all();
        } else if (n < 0 || p[1].revents) {
            // No slave open (EIO), or asked to stop: only the stop request
            // is left to wait for.
            pollfd s = {stopfd[0], POLLIN, 0};
            while (poll(&s, 1, -1) < 0 && errno == EINTR) {
            }
            return;
        }
    }
}

void TestPty::write_keys(std::string_view bytes)
{
    if (!pty.type(bytes))
        throw std::runtime_error("write to pty master: hung up");
}

std::string TestPty::output() const
{
    std::lock_guard<std::mutex> l(mu);
    return buf;
}

std::string TestPty::take_output()
{
    std::lock_guard<std::mutex> l(mu);
    return std::exchange(buf, {});
}

bool TestPty::wait_until(const std::function<bool(const std::string &)> &pred, int timeout_ms) const
{
    std::unique_lock<std::mutex> l(mu);
    return cv.wait_for(l, std::chrono::milliseconds(timeout_ms), [&] { return pred(buf); });
}

bool TestPty::wait_for_bytes(std::string_view needle, int timeout_ms) const
{
    return wait_until([&](const std::string &s) { return s.find(needle) != std::string::npos; }, timeout_ms);
}

bool TestPty::wait_quiet(int quiet_ms, int timeout_ms) const
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::unique_lock<std::mutex> l(mu);
    for (;;) {
        size_t had = buf.size();
        if (!cv.wait_for(l, std::chrono::milliseconds(quiet_ms), [&] { return buf.size() != had; }))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
}

TestPty &test_pty(int cols, int rows)
{
    static TestPty pty(cols, rows);
    return pty;
}
