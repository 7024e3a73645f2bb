// getline throughput over a pipe: 60-byte lines (59 bytes and a newline),
// written by a thread as fast as the pipe takes them.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <string>
#include <thread>

#include "oxistreamlist.h"
#include "oxpipe.h"
#include "oxstream.h"

namespace {
struct Feeder {
    int rfd = -1;
    int wfd = -1;
    std::atomic<bool> stop{false};
    std::thread writer;

    Feeder()
    {
        int p[2];
        if (pipe2(p, O_CLOEXEC) != 0)
            abort();
        rfd = p[0];
        wfd = p[1];
    }
    void start()
    {
        writer = std::thread([this] {
            std::string line(59, 'x');
            line += '\n';
            std::string block;
            for (int i = 0; i < 1092; ++i)       // about 64 KiB
                block += line;
            while (!stop.load(std::memory_order_relaxed)) {
                const char *p = block.data();
                size_t n = block.size();
                while (n > 0) {
                    ssize_t k = ::write(wfd, p, n);
                    if (k < 0)
                        return;                  // reader gone (SIGPIPE is ignored by the streams)
                    p += k;
                    n -= size_t(k);
                }
            }
        });
    }
    void finish(OxStream *reader)
    {
        stop = true;
        delete reader;                         // closes the read end: the writer's write fails
        writer.join();
        ::close(wfd);
    }
};
} // namespace

// getline waiting as needed, one line per call.
static void BM_GetlineWaiting(benchmark::State &state)
{
    Feeder f;
    auto *s = new OxFDStream(f.rfd, -1);
    f.start();
    OxString line;
    for (auto _ : state) {
        if (!s->getline(line, -1, '\n', 1024))
            state.SkipWithError("no line");
        benchmark::DoNotOptimize(line.len());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * 60);
    f.finish(s);
}
BENCHMARK(BM_GetlineWaiting)->UseRealTime();

// The program's loop: runonce(-1) on a stream list, then getline never waiting.
static void BM_GetlineListLoop(benchmark::State &state)
{
    Feeder f;
    auto *s = new OxFDStream(f.rfd, -1);
    OxIStreamList list;
    list.append(s);
    f.start();
    OxString line;
    for (auto _ : state) {
        while (!s->getline(line, 0, '\n', 1024))
            list.runonce(-1);
        benchmark::DoNotOptimize(line.len());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * 60);
    list.unlink(s);
    f.finish(s);
}
BENCHMARK(BM_GetlineListLoop)->UseRealTime();

// A child process writing the lines: the program's loop over an OxPipe.
static void BM_GetlineChildPipe(benchmark::State &state)
{
    std::string text(59, 'y');
    const char *argv[] = {"yes", text.c_str(), nullptr};
    auto *p = new OxPipe(OxPipe::reading("yes", argv));
    OxIStreamList list;
    list.append(p);
    OxString line;
    for (auto _ : state) {
        while (!p->getline(line, 0, '\n', 1024))
            list.runonce(-1);
        benchmark::DoNotOptimize(line.len());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * 60);
    delete p;
}
BENCHMARK(BM_GetlineChildPipe)->UseRealTime();

BENCHMARK_MAIN();
