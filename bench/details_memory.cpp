// Memory of a long "Details" list: a burn-in left running for days appends
// millions of lines, so what one line costs decides how long the program can
// run. Appends 1,000,000 lines of about 60 bytes to a shown, following
// SelectionWin and reports the heap and resident bytes per line.
#include <malloc.h>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "ovlwin.h"
#include "plscreen.h"
#include "selwin.h"
#include "testterm.h"

// Only the drawing grid is touched; the terminal is never refreshed.
PlScreen screen(new MemStream, new MemStream);

namespace {

long long vmrss_bytes()
{
    std::ifstream f("/proc/self/status");
    std::string key;
    while (f >> key) {
        if (key == "VmRSS:") {
            long long kb = 0;
            f >> kb;
            return kb * 1024;
        }
        std::getline(f, key);
    }
    return -1;
}

void BM_MillionDetailLines(benchmark::State &state)
{
    const long n = state.range(0);
    winstyle.explode = 0;
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0);
        const size_t heap0 = mallinfo2().uordblks;
        const long long rss0 = vmrss_bytes();
        size_t textbytes = 0;
        state.ResumeTiming();
        {
            SelectionWin win("Details", PlRect(3, 9, 78, 23), true);
            win.show();
            win.setcur(2);
            for (long i = 0; i < n; i++) {
                // About 60 bytes, like a helper's progress line.
                OxString line("   Disk: sda: pass %s, block %s of 976773168 verified, ok", i / 1000, i);
                textbytes += line.len();
                win.append(line);
            }
            state.PauseTiming();
            const size_t heap1 = mallinfo2().uordblks;
            const long long rss1 = vmrss_bytes();
            state.counters["lines"] = double(win.count());
            state.counters["text_bytes_per_line"] = double(textbytes) / double(n);
            state.counters["heap_bytes_per_line"] = double(heap1 - heap0) / double(n);
            state.counters["rss_bytes_per_line"] = double(rss1 - rss0) / double(n);
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_MillionDetailLines)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
