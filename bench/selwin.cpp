// Cost of a selection list's redraw against the length of the list: a log of
// a million lines must redraw as fast as one of a hundred, because reaching
// the rows on view is indexing, not a walk from the start.
#include <benchmark/benchmark.h>

#include "ovlwin.h"
#include "plscreen.h"
#include "selwin.h"
#include "testterm.h"

// The drawing grid is all these benchmarks touch; the terminal is an
// in-memory stream that is never refreshed.
PlScreen screen(new MemStream, new MemStream);

namespace {

// A "Details" log window as the tests show it, filled with n lines.
struct Log {
    SelectionWin win{"Details", PlRect(2, 3, 77, 21), false};

    explicit Log(long n)
    {
        winstyle.explode = 0;
        for (long i = 0; i < n; i++)
            win.append(OxString("disk sda: pass %s block %s ok", i / 1000, i));
        win.show();
        win.unfocus();
    }
};

// Appending one line to a log that follows its end: add, scroll, redraw.
void BM_AppendAndDraw(benchmark::State &state)
{
    Log log(state.range(0));
    log.win.focus();
    log.win.setcur(log.win.count());
    long i = 0;
    for (auto _ : state)
        log.win.append(OxString("netburn eth0: %s MB/s", i++));
    log.win.unfocus();
    state.counters["items"] = double(log.win.count());
}
BENCHMARK(BM_AppendAndDraw)->Arg(100)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// A redraw with the view in the middle of the list.
void BM_DrawMiddle(benchmark::State &state)
{
    Log log(state.range(0));
    log.win.focus();
    log.win.setcur(log.win.count() / 2);
    for (auto _ : state)
        log.win.draw();
    log.win.unfocus();
}
BENCHMARK(BM_DrawMiddle)->Arg(100)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// Moving the highlight one row down (redraws the window each time).
void BM_KeyDown(benchmark::State &state)
{
    Log log(state.range(0));
    log.win.focus();
    log.win.setcur(log.win.count() / 2);
    for (auto _ : state) {
        if (log.win.current() == log.win.count() - 1)
            log.win.setcur(log.win.count() / 2);
        log.win.handlekey(KEY_DOWN);
    }
    log.win.unfocus();
}
BENCHMARK(BM_KeyDown)->Arg(100)->Arg(1000000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
