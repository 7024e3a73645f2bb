// _getch over an in-memory terminal whose reads come in arbitrary pieces:
// the keys are those of the decoder given all the bytes at once, and once
// the input has ended every call returns at once.
#include <cstdint>
#include <cstdlib>

#include "keys_common.h"
#include "plscreen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t sizepick = in.byte();
    std::vector<std::string> chunks = fuzz_chunks(in);
    std::string all;
    for (const auto &c : chunks)
        all += c;
    const std::vector<int> want = decode_whole(all);

    FuzzTerm &term = fuzz_screen_pick(sizepick, true);
    kbflush();
    for (auto &c : chunks)
        term.push(c);
    term.end_input();

    // Every call takes in a read or decodes at least one byte, so this many
    // calls drain everything; a decoder that stalls leaves keys behind and
    // the comparison fails.
    std::vector<int> got;
    const size_t calls = all.size() + chunks.size() + 8;
    for (size_t i = 0; i < calls; i++) {
        // getch() also refreshes the screen and maps LF and DEL; use the
        // raw call so the comparison is exact, and refresh now and then.
        if (i % 7 == 0)
            screen.refresh(i % 14 == 0);
        int k = _getch();
        if (!valid_key(k))
            abort();
        if (k != KEY_NONE)
            got.push_back(k);
    }
    // Once the input has ended nothing blocks and nothing more comes.
    if (screen.isok() || _getch() != KEY_NONE)
        abort();
    check_same_keys(got, want);
    return 0;
}
