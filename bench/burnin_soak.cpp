// Long-run figures of the burn-in test: restarts at the fastest allowed rate
// with a chatty network helper. Drives the built program under a
// pseudo-terminal with stub helpers (nothing touches a disk or a network).
//
//   bench_burnin_soak [passes]      (default 200; one pass a second at most)
//
// Reports disk passes per second, the program's CPU time per helper line,
// its peak memory and how that memory grew over the run.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ptyrun.h"

#ifndef RUNDIAGS_BIN
#define RUNDIAGS_BIN "build/diags/rundiags"
#endif

namespace {

long kb_of(pid_t pid, const char *key)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::string(key).size());
    return -1;
}

long count_lines(const std::string &path)
{
    std::ifstream f(path);
    std::string line;
    long n = 0;
    while (std::getline(f, line))
        n++;
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    const int passes = argc > 1 ? std::atoi(argv[1]) : 200;
    StubDir stubs;
    const std::string counter = stubs.file("status.lines");
    // A pass of the network helper: status lines as fast as it can for 0.5 s.
    stubs.script("netburn", "end=$(( $(date +%s%N) + 500000000 )); n=0\n"
                            "while [ $(date +%s%N) -lt $end ]; do\n"
                            "  for i in 1 2 3 4 5 6 7 8 9 10; do echo \"@$n eth0=$n eth1=$n eth2=$n eth3=$n\"; done\n"
                            "  n=$((n + 10))\n"
                            "done\necho $n >> " + counter + "\necho 'pass done'\nexit 0\n");
    // A disk pass that ends at once: the program restarts it as fast as it allows.
    stubs.script("diskburn", "echo 'sda: pass'\necho ' sda: 100%'\nexit 0\n");

    PtyRun::Options o;
    o.path = {stubs.path()};
    o.cwd = stubs.path();
    PtyRun run(RUNDIAGS_BIN, o);
    if (!run.wait_text("Copy results to floppy disk", 10000))
        return fprintf(stderr, "no menu\n"), 1;
    run.settle();
    run.send("\x1b[B\x1b[B\x1b[B\r");
    run.wait_text("THIS IS DANGEROUS");
    run.send("\r");
    run.wait_text("VERY");
    run.send("y");
    run.wait_text("Configure Hardware");
    run.send("\r");
    run.wait_text("Loop:2", 10000);
    const long mem_start = kb_of(run.pid(), "VmRSS:");
    const long long t0 = run.cpu_ticks();
    timespec a, b;
    clock_gettime(CLOCK_MONOTONIC, &a);
    const std::string target = "Loop:" + std::to_string(passes + 2);
    if (!run.wait_text(target, passes * 2000 + 10000))
        return fprintf(stderr, "did not reach %s\n%s\n", target.c_str(), run.dump().c_str()), 1;
    clock_gettime(CLOCK_MONOTONIC, &b);
    const long long t1 = run.cpu_ticks();
    const long mem_end = kb_of(run.pid(), "VmRSS:");
    const long peak = kb_of(run.pid(), "VmHWM:");

    long status_lines = 0;
    {
        std::ifstream f(counter);
        long n;
        while (f >> n)
            status_lines += n;
    }
    const long log_lines = count_lines("/tmp/burnin.log");
    const double secs = (b.tv_sec - a.tv_sec) + (b.tv_nsec - a.tv_nsec) / 1e9;
    const double cpu_us = double(t1 - t0) * 1e6 / double(sysconf(_SC_CLK_TCK));
    const double lines = double(status_lines + log_lines);
    printf("disk passes          %d in %.1f s: %.2f passes/s\n", passes, secs, passes / secs);
    printf("helper lines         %ld status + %ld logged\n", status_lines, log_lines);
    printf("program CPU          %.0f ms: %.2f us/line\n", cpu_us / 1000, cpu_us / lines);
    printf("memory               RSS %ld kB at start, %ld kB at end, peak %ld kB\n", mem_start, mem_end, peak);

    run.send("q");
    run.wait_text("Stop the burn-in test now?");
    run.send("y");
    run.wait_text("Press Enter When Done", 15000);
    run.send("\r");
    run.wait_text("Copy results to floppy disk");
    run.settle();
    run.send("\x1b");
    run.wait_text("Really quit?");
    run.send("y");
    return run.wait_exit() == 0 ? 0 : 1;
}
