// The key decoder fed arbitrary bytes in arbitrary reads must hand out the
// same keys as when it gets them all at once, and always make progress.
#include <cstdint>
#include <cstdlib>

#include "keys_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    std::vector<std::string> chunks = fuzz_chunks(in);
    std::string all;
    for (const auto &c : chunks)
        all += c;
    const std::vector<int> want = decode_whole(all);

    KeyDecoder d;
    std::vector<int> got;
    size_t next = 0;
    size_t calls = 0;
    for (;;) {
        // Like the console layer: read when there is nothing to decode, or
        // when a lone ESC may be the first half of a split sequence.
        if ((d.needs_input() || d.lone_esc()) && next < chunks.size()) {
            const std::string &c = chunks[next++];
            if (d.feed(c.data(), c.size()) != c.size())
                abort();
            continue;
        }
        if (d.pending() == 0)
            break;
        if (d.incomplete()) {
            // The input has ended inside a sequence.
            d.drop_incomplete();
            if (d.incomplete())
                abort();
        }
        int k = d.next();
        if (!valid_key(k))
            abort();
        if (k != KEY_NONE)
            got.push_back(k);
        if (++calls > all.size() + chunks.size() + 2)
            abort();   // no progress
    }
    check_same_keys(got, want);
    return 0;
}
