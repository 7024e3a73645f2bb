// Cost of a refresh: the unchanged screen (every key wait pays this), one
// changed row (a list scrolling a line), and a whole-screen repaint.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include "plscreen.h"
#include "testterm.h"

PlScreen screen(testpty_slave_fd(), testpty_slave_fd());

namespace {

// 80 x 25 from a pseudo-terminal; the bytes go to /dev/null, so only the
// refresh itself is measured.
struct BenchScreen {
    TestPty pty{80, 25};
    PlScreen scr{pty.dup_slave(), open("/dev/null", O_WRONLY | O_CLOEXEC)};

    BenchScreen()
    {
        paint(0);
        scr.refresh();
    }
    void paint_row(int y, int variant)
    {
        for (int x = 0; x < scr.getxsize(); x++) {
            int ch = (x + y + variant) % 5 == 0 ? GLYPH_HLINE : 'A' + (x + y + variant) % 26;
            *scr.cell(x, y) = PlCell(ch, PlAttr(x / 10 % 2 ? 0x1E : 0x1F));
        }
    }
    void paint(int variant)
    {
        for (int y = 0; y < scr.getysize(); y++)
            paint_row(y, variant);
    }
};

void BM_RefreshUnchanged(benchmark::State &state)
{
    BenchScreen b;
    for (auto _ : state)
        b.scr.refresh();
}
BENCHMARK(BM_RefreshUnchanged);

void BM_RefreshOneRow(benchmark::State &state)
{
    BenchScreen b;
    int v = 0;
    for (auto _ : state) {
        b.paint_row(12, ++v & 1);
        b.scr.refresh();
    }
}
BENCHMARK(BM_RefreshOneRow);

void BM_RefreshWholeScreen(benchmark::State &state)
{
    BenchScreen b;
    int v = 0;
    for (auto _ : state) {
        state.PauseTiming();
        b.paint(++v & 1);
        state.ResumeTiming();
        b.scr.refresh();
    }
}
BENCHMARK(BM_RefreshWholeScreen);

} // namespace

BENCHMARK_MAIN();
