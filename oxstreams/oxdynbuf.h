// A growing byte buffer read from the front: the key decoder keeps terminal
// input here between calls.
#pragma once

#include <cstddef>
#include <vector>

class OxDynBuf {
public:
    // minalloc: first allocation; maxalloc: the most bytes it will hold.
    OxDynBuf(size_t minalloc = 1024, size_t maxalloc = 1048576);

    size_t count() const { return end - start; }
    size_t room() const;                    // bytes that may still be appended
    // Appends up to n bytes (no more than room()); returns how many were taken.
    size_t append(const char *data, size_t n);
    // Takes n bytes (n <= count()) from the front; they stay readable as one
    // contiguous run at the returned pointer until the next append.
    const char *take(size_t n);
    // Puts back the last n bytes taken; they return to the front, in order.
    void putback(size_t n);
    void clear() { start = end = 0; }

private:
    std::vector<char> data;
    size_t start = 0, end = 0, maxalloc;
};
