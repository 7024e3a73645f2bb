// The terminal of the fuzz targets: an in-memory stream that hands out
// prepared input in prepared chunks and throws the output away, and the one
// global screen built over it at a size the input picks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "oxstream.h"

class FuzzTerm : public OxStream {
public:
    // `sizefd` is a terminal descriptor whose window size the screen reads
    // (it is never read from or written to); -1 gives the fallback size.
    explicit FuzzTerm(int sizefd) : sizefd(sizefd) {}

    void push(std::string chunk) { chunks.push_back(std::move(chunk)); }
    void end_input() { ended = true; }
    size_t written() const { return nwritten; }

    bool isok() const override { return !chunks.empty() || !ended; }
    int geterr() const override { return 0; }
    int getrfd() const override { return sizefd; }
    int getwfd() const override { return sizefd; }
    bool getline(OxString &, int = 0, char = '\n', size_t = 1024) override { return false; }
    bool isreadable() override { return !chunks.empty() || ended; }
    bool select(int, bool readable, bool writable = false, bool = false) override
    {
        return (readable && isreadable()) || writable;
    }
    size_t read(OxDynBuf &buf, size_t max) override;
    bool write(const char *, size_t n) override
    {
        nwritten += n;
        return true;
    }
    using OxStream::write;
    void delay_output(bool) override {}
    bool flush(int = -1) override { return true; }
    int runonce(int) override { return isreadable() ? 1 : 0; }
    bool ready_now() const override { return !chunks.empty() || ended; }
    void pre_select(std::vector<pollfd> &) override {}
    void post_select(const pollfd *, size_t) override {}

private:
    int sizefd;
    std::deque<std::string> chunks;
    bool ended = false;
    size_t nwritten = 0;
};

// Reads fuzzer bytes front to back; past the end every read gives 0.
class FuzzInput {
public:
    FuzzInput(const uint8_t *data, size_t size) : p(data), n(size) {}
    uint8_t byte()
    {
        if (n == 0)
            return 0;
        n--;
        return *p++;
    }
    bool empty() const { return n == 0; }
    size_t left() const { return n; }
    // Up to `max` bytes (fewer at the end).
    std::string take(size_t max)
    {
        size_t k = max < n ? max : n;
        std::string s(reinterpret_cast<const char *>(p), k);
        p += k;
        n -= k;
        return s;
    }
    std::string rest() { return take(n); }

private:
    const uint8_t *p;
    size_t n;
};

// Builds the global screen anew at cols x rows over a fresh FuzzTerm (only
// when the size changes, or when `fresh` is set) and returns that terminal.
// Also resets the console layer's window to the whole screen.
FuzzTerm &fuzz_screen(int cols, int rows, bool fresh = false);
// The two sizes the program must work on: the smallest and the usual one.
FuzzTerm &fuzz_screen_pick(uint8_t choice, bool fresh = false);
