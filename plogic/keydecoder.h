// Turns the raw bytes of a terminal in raw mode into key codes. Fed bytes,
// knows nothing of descriptors, so it can be driven by tables in tests and by
// a fuzzer as well as by the console layer's reads.
#pragma once

#include <cstddef>

#include "oxdynbuf.h"

class KeyDecoder {
public:
    // Longest escape sequence waited for. A terminal never sends more; line
    // noise that looks like the start of one is thrown away at this length so
    // it cannot hold the buffer hostage.
    static constexpr size_t max_sequence = 32;
    // Digit runs are read into a number that stops growing here.
    static constexpr int max_number = 9999;

    KeyDecoder() : buf(1024, 1048576) {}

    // The undecoded bytes, oldest first. The terminal is read straight into
    // it; next() is then due even if incomplete() still says so.
    OxDynBuf &buffer() { return buf; }
    // Appends bytes (as many as fit); returns how many were taken. What was
    // unfinished may be finished now, so it is decoded afresh.
    size_t feed(const char *data, size_t n)
    {
        partial = false;
        return buf.append(data, n);
    }
    size_t pending() const { return buf.count(); }
    // The buffered bytes end inside an escape sequence: read more before decoding.
    bool incomplete() const { return partial; }
    // More input is needed before next() can say anything new.
    bool needs_input() const { return buf.count() == 0 || partial; }
    // Exactly one byte, ESC, is waiting: it may be a lone Escape or the
    // first half of a sequence split across reads.
    bool lone_esc();
    // Something next() will turn into a key without more input.
    bool key_ready() const { return buf.count() != 0 && !partial; }

    // Decodes the next key from the buffer: a byte as 0-255, a cursor or
    // editing key as its negative code, KEY_NONE when nothing is buffered,
    // when an unrecognised sequence was consumed, or when the bytes end inside
    // a sequence (incomplete() then holds and the bytes stay buffered).
    int next();
    // The input has ended: an unfinished sequence can never complete.
    void drop_incomplete();
    void clear();

private:
    static int code_for(char final, int number);

    OxDynBuf buf;
    bool partial = false;
};
