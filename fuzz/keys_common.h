// What the key fuzz targets share: cutting the input into reads, the key
// codes that may come out, and decoding everything in one go as the
// reference a chunked decode must agree with.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "conio.h"
#include "fuzzterm.h"
#include "keydecoder.h"

// The first input bytes pick the read sizes (1 to 16 bytes, 0 meaning
// a large read); the rest is what the terminal sends.
inline std::vector<std::string> fuzz_chunks(FuzzInput &in)
{
    size_t nsizes = in.byte() % 16 + 1;
    std::vector<size_t> sizes;
    for (size_t i = 0; i < nsizes; i++) {
        size_t s = in.byte() % 17;
        sizes.push_back(s == 0 ? 4096 : s);
    }
    std::vector<std::string> chunks;
    for (size_t i = 0; !in.empty(); i++)
        chunks.push_back(in.take(sizes[i % sizes.size()]));
    return chunks;
}

inline bool valid_key(int k)
{
    if (k >= 0 && k <= 255)
        return true;
    switch (k) {
    case KEY_NONE: case KEY_HOME: case KEY_UP: case KEY_PGUP: case KEY_LEFT:
    case KEY_RIGHT: case KEY_END: case KEY_DOWN: case KEY_PGDN: case KEY_INSERT:
    case KEY_DELETE: case KEY_CTRL_PGDN: case KEY_CTRL_PGUP:
        return true;
    default:
        return false;
    }
}

// All bytes in one buffer, decoded to the end; KEY_NONE (nothing decoded)
// is left out.
inline std::vector<int> decode_whole(const std::string &bytes)
{
    KeyDecoder d;
    if (d.feed(bytes.data(), bytes.size()) != bytes.size())
        abort();
    std::vector<int> keys;
    for (size_t guard = 0; guard <= bytes.size() + 2; guard++) {
        if (d.pending() == 0)
            return keys;
        int k = d.next();
        if (!valid_key(k))
            abort();
        if (k != KEY_NONE)
            keys.push_back(k);
        if (d.incomplete())
            d.drop_incomplete();
    }
    abort();   // a decoder that makes no progress would hang a reader
}

// With FUZZ_VERBOSE set, a mismatch is printed before the abort.
inline void check_same_keys(const std::vector<int> &got, const std::vector<int> &want)
{
    if (got == want)
        return;
    if (getenv("FUZZ_VERBOSE")) {
        fprintf(stderr, "got: ");
        for (int k : got)
            fprintf(stderr, " %d", k);
        fprintf(stderr, "\nwant:");
        for (int k : want)
            fprintf(stderr, " %d", k);
        fprintf(stderr, "\n");
    }
    abort();
}
