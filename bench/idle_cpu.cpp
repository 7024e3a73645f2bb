// Processor time of an idle program: in the menu, on a finished
// compatibility test, and in a burn-in whose helpers have failed or are
// silent. Each runs the built program under a pseudo-terminal with stub
// helpers and reads utime + stime from /proc/<pid>/stat across a quiet
// stretch (IDLE_SECONDS, default 10). The figure is ms of CPU per idle
// second; anything above 0 means a loop that polls.
#include <limits.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "ptyrun.h"

namespace {

// RUNDIAGS_BIN from the environment, else the program of this build tree.
std::string program()
{
    if (const char *p = std::getenv("RUNDIAGS_BIN"))
        return p;
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, size_t(n)) : std::string("build/bench/x");
    dir = dir.substr(0, dir.rfind('/'));
    return dir + "/../diags/rundiags";
}

int idle_seconds()
{
    const char *s = std::getenv("IDLE_SECONDS");
    return s && std::atoi(s) > 0 ? std::atoi(s) : 10;
}

enum Where { MENU, COMPAT_FINISHED, BURNIN_FAILED, BURNIN_SILENT };

// Brings the program to the idle state; false (with a message) on failure.
bool reach(Where where, PtyRun &run, benchmark::State &state)
{
    if (!run.wait_text("Copy results to floppy disk")) {
        state.SkipWithError("no main menu");
        return false;
    }
    run.settle();
    if (where == MENU)
        return true;
    if (where == COMPAT_FINISHED) {
        run.send(keys::Enter);
        if (!run.wait_text("Press ENTER to begin..."))
            return state.SkipWithError("no question"), false;
        run.send(keys::Enter);
        if (!run.wait_text("** FINISHED - Press Enter When Done **", 10000))
            return state.SkipWithError("compatibility test did not finish"), false;
        return run.settle(), true;
    }
    for (int i = 0; i < 3; i++)
        run.send(keys::Down);
    run.send(keys::Enter);
    if (!run.wait_text("THIS IS DANGEROUS"))
        return state.SkipWithError("no first question"), false;
    run.send(keys::Enter);
    if (!run.wait_text("THIS IS *VERY* DANGEROUS"))
        return state.SkipWithError("no second question"), false;
    run.send("y");
    if (!run.wait_text("Configure Hardware"))
        return state.SkipWithError("no third question"), false;
    run.send(keys::Enter);
    const char *until = where == BURNIN_FAILED ? "** FAILED - Press Enter When Done **" : "helper waiting";
    if (!run.wait_text(until, 10000))
        return state.SkipWithError("burn-in did not reach its idle state"), false;
    return run.settle(), true;
}

void BM_Idle(benchmark::State &state)
{
    const Where where = Where(state.range(0));
    StubDir stubs;
    stubs.script("compat.pl", "printf 'CPU: Example 2.0GHz\\n   Status: SUPPORTED\\n'\n");
    if (where == BURNIN_FAILED) {
        stubs.script("netburn", "echo 'no ports'\nexit 2\n");
        stubs.script("diskburn", "echo 'no disks'\nexit 5\n");
    } else {
        stubs.script("netburn", "trap 'exit 0' TERM\necho 'helper waiting'\nwhile :; do sleep 1; done\n");
        stubs.script("diskburn", "trap 'exit 0' TERM\necho 'helper waiting'\nwhile :; do sleep 1; done\n");
    }
    PtyRun::Options o;
    o.path = {stubs.path()};
    o.cwd = stubs.path();
    PtyRun run(program(), o);
    if (!reach(where, run, state))
        return;
    const int secs = idle_seconds();
    const long hz = sysconf(_SC_CLK_TCK);
    double ms_per_s = 0;
    for (auto _ : state) {
        const long long t0 = run.cpu_ticks();
        const auto c0 = std::chrono::steady_clock::now();
        // Keep draining the terminal (there should be nothing) without typing.
        run.wait_until([] { return false; }, secs * 1000);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - c0).count();
        const long long used = run.cpu_ticks() - t0;
        ms_per_s = double(used) * 1000.0 / double(hz) / wall;
        state.counters["cpu_ticks"] = double(used);
        state.counters["wall_s"] = wall;
    }
    state.counters["cpu_ms_per_s"] = ms_per_s;
    state.counters["terminal_bytes"] = double(run.output().size());
    // The terminal goes away: the program ends its helpers and exits (a
    // SIGKILL from the runner would leave the helpers behind).
    run.hangup();
    if (run.wait_exit(20000) != 0)
        state.SkipWithError("the program did not end cleanly on hangup");
}
BENCHMARK(BM_Idle)
    ->ArgName("where")
    ->Arg(MENU)
    ->Arg(COMPAT_FINISHED)
    ->Arg(BURNIN_FAILED)
    ->Arg(BURNIN_SILENT)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
