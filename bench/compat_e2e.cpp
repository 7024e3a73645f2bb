// The compatibility test under a flood of probe output, end to end: rundiags
// on an 80 x 25 pseudo-terminal shows N generated probe lines; the same lines
// go through `dialog --progressbox` sized like the Details list, on the same
// terminal size. Reported per run: lines per second, the program's own CPU
// microseconds per line, and terminal bytes per line; then the ratios.
//
// The program is found next to this binary (../diags/rundiags) unless
// RUNDIAGS_BIN names it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "ptyrun.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int COLS = 80, ROWS = 25;

struct Outcome {
    double secs = 0;        // first line asked for .. last line on the terminal
    double cpu_us = 0;      // the program's own CPU time over that span
    size_t bytes = 0;       // terminal bytes over that span
    bool complete = false;  // the last line and the end were seen on screen
};
std::map<std::pair<std::string, long>, Outcome> results;

// Probe-style lines of 40-70 characters, each carrying its number.
std::string make_lines(long n)
{
    static const char *const kinds[] = {
        "CPU: Intel(R) Xeon(R) CPU E5-2670 0 @ 2.60GHz (P4)",
        "   Status: SUPPORTED",
        "NETWORK: Intel Corporation 82576 Gigabit Network Connection (igb)",
        "   Status: UNSUPPORTED",
        "DISK: SEAGATE ST373207LW - sdb (73 GB)",
        "   Status: SUPPORTED",
        "Checking PCI device 0000:03:00.1 vendor 8086 device 10c9",
        "Memory Total: 2048 MB",
    };
    std::string out;
    out.reserve(size_t(n) * 60);
    for (long i = 0; i < n; i++) {
        std::string l = kinds[i % 8];
        size_t want = 40 + size_t((i * 7) % 31);
        std::string tag = " #" + std::to_string(i + 1);
        if (l.size() + tag.size() > want)
            l.resize(want > tag.size() ? want - tag.size() : 0);
        while (l.size() + tag.size() < want)
            l += '.';
        out += l + tag + "\n";
    }
    return out;
}

std::string program()
{
    if (const char *p = getenv("RUNDIAGS_BIN"))
        return p;
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        throw std::runtime_error("cannot find myself");
    self[n] = 0;
    return (std::filesystem::path(self).parent_path().parent_path() / "diags" / "rundiags").string();
}

// CPU time of a live process's main thread, in microseconds.
double cpu_us(pid_t pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/schedstat");
    unsigned long long ns = 0;
    f >> ns;
    return double(ns) / 1000.0;
}

PtyRun::Options term_options(const std::string &dir)
{
    PtyRun::Options o;
    o.cols = COLS;
    o.rows = ROWS;
    if (!dir.empty())
        o.path = {dir};
    o.clean_env = true;
    o.env = {{"HOME", "/tmp"}};
    return o;
}

Outcome run_rundiags(long n)
{
    Outcome o;
    StubDir dir;
    dir.write("lines", make_lines(n));
    dir.script("compat.pl", "cat " + sh_quote(dir.file("lines")) + "\n: > " + sh_quote(dir.file("done")) + "\n");
    {
        PtyRun t(program(), term_options(dir.path()));
        if (!t.wait_text("Main Menu", 10000))
            throw std::runtime_error("no menu");
        t.send(keys::Enter);
        if (!t.wait_text("begin...", 10000))
            throw std::runtime_error("no question");
        t.settle(50, 10000);
        double cpu0 = cpu_us(t.pid());
        size_t bytes0 = t.output().size();
        auto start = Clock::now();
        t.send(keys::Enter);
        // Until the probe is done and the program has gone quiet; the
        // terminal emulator sees nothing of it until the end.
        auto limit = Clock::now() + std::chrono::seconds(600);
        while (Clock::now() < limit) {
            bool got = t.pump(300);
            if (!got && dir.exists("done"))
                break;
        }
        o.secs = std::chrono::duration<double>(t.last_output() - start).count();
        o.cpu_us = cpu_us(t.pid()) - cpu0;
        o.bytes = t.output().size() - bytes0;
        o.complete = t.has_text("#" + std::to_string(n)) && t.has_text("** FINISHED - Press Enter When Done **");
        t.send(keys::Enter);
        t.wait_text("Main Menu", 5000);
        t.send(keys::Esc);
        t.wait_text("(y/n)", 5000);
        t.send("y");
        t.wait_exit(5000);
    }
    return o;
}

Outcome run_dialog(long n)
{
    Outcome o;
    StubDir dir;
    dir.write("lines", make_lines(n));
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    auto start = Clock::now();
    pid_t feeder = fork();
    if (feeder == 0) {
        dup2(p[1], 1);
        execl("/bin/cat", "cat", dir.file("lines").c_str(), (char *)nullptr);
        _exit(127);
    }
    close(p[1]);
    {
        // The Details list is 76 x 11 on an 80 x 25 screen.
        PtyRun::Options opt = term_options("");
        opt.args = {"--progressbox", "11", "76"};
        opt.env.push_back({"DIALOGRC", "/dev/null"});
        opt.stdin_fd = p[0];
        PtyRun t("/usr/bin/dialog", opt);
        close(p[0]);
        if (t.wait_exit(600000) < 0)
            throw std::runtime_error("dialog did not end");
        o.secs = std::chrono::duration<double>(Clock::now() - start).count();
        const rusage &ru = t.usage();
        o.cpu_us = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e6 + ru.ru_utime.tv_usec + ru.ru_stime.tv_usec;
        o.bytes = t.output().size();
        o.complete = t.has_text("#" + std::to_string(n));
    }
    waitpid(feeder, nullptr, 0);
    return o;
}

void report(benchmark::State &state, const char *who, const Outcome &o)
{
    long n = state.range(0);
    results[{who, n}] = o;
    state.SetIterationTime(o.secs);
    state.counters["lines_per_s"] = double(n) / o.secs;
    state.counters["cpu_us_per_line"] = o.cpu_us / double(n);
    state.counters["term_bytes_per_line"] = double(o.bytes) / double(n);
    state.counters["complete"] = o.complete ? 1 : 0;
    if (!o.complete)
        state.SkipWithError("not every line reached the screen");
}

void BM_RundiagsCompat(benchmark::State &state)
{
    for (auto _ : state)
        report(state, "rundiags", run_rundiags(state.range(0)));
}

void BM_DialogProgressbox(benchmark::State &state)
{
    for (auto _ : state)
        report(state, "dialog", run_dialog(state.range(0)));
}

BENCHMARK(BM_RundiagsCompat)->Arg(20000)->Arg(100000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DialogProgressbox)->Arg(20000)->Arg(100000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void summary()
{
    std::printf("\n%-10s %8s %12s %14s %16s\n", "program", "lines", "lines/s", "cpu us/line", "term bytes/line");
    for (const auto &[key, o] : results)
        std::printf("%-10s %8ld %12.0f %14.2f %16.1f\n", key.first.c_str(), key.second, double(key.second) / o.secs,
                    o.cpu_us / double(key.second), double(o.bytes) / double(key.second));
    auto get = [](const char *who, long n) -> const Outcome * {
        auto it = results.find({who, n});
        return it == results.end() ? nullptr : &it->second;
    };
    for (long n : {20000L, 100000L}) {
        const Outcome *r = get("rundiags", n), *d = get("dialog", n);
        if (r && d)
            std::printf("N=%-7ld speed rundiags/dialog %.2f (goal >= 8)   cpu/line rundiags/dialog %.2f (goal <= 0.1)\n", n,
                        (double(n) / r->secs) / (double(n) / d->secs), (r->cpu_us / n) / (d->cpu_us / n));
    }
    const Outcome *a = get("rundiags", 20000), *b = get("rundiags", 100000);
    if (a && b)
        std::printf("rundiags cpu/line at 100000 vs 20000: %.2f (goal <= 1.2)\n", (b->cpu_us / 100000) / (a->cpu_us / 20000));
}

} // namespace

int main(int argc, char **argv)
{
    signal(SIGPIPE, SIG_IGN);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    summary();
    return 0;
}
