#include "oxdynbuf.h"

#include <algorithm>
#include <cassert>
#include <cstring>

OxDynBuf::OxDynBuf(size_t minalloc, size_t limit) : maxalloc(std::max(limit, size_t(1)))
{
    data.resize(std::min(std::max(minalloc, size_t(1)), this->maxalloc));
}

size_t OxDynBuf::room() const
{
    return maxalloc - count();
}

size_t OxDynBuf::append(const char *bytes, size_t n)
{
    n = std::min(n, room());
    if (n == 0)
        return 0;
    if (start == end)
        start = end = 0;
    if (data.size() - end < n) {
        // Move what is unread to the front before growing: a buffer worked
        // off from the front would otherwise creep towards maxalloc.
        if (start > 0) {
            std::memmove(data.data(), data.data() + start, end - start);
            end -= start;
            start = 0;
        }
        if (data.size() - end < n) {
            size_t want = std::max(data.size() * 2, end + n);
            data.resize(std::min(want, maxalloc));
        }
    }
    std::memcpy(data.data() + end, bytes, n);
    end += n;
    return n;
}

const char *OxDynBuf::take(size_t n)
{
    assert(n <= count());
    const char *p = data.data() + start;
    start += n;
    return p;
}

void OxDynBuf::putback(size_t n)
{
    assert(n <= start);
    start -= n;
}
