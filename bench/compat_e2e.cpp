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
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "vtscreen.h"

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

std::string tempdir()
{
    const char *t = getenv("TMPDIR");
    std::string templ = std::string(t && *t ? t : "/tmp") + "/compat-bench.XXXXXX";
    if (!mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp");
    return templ;
}

void writefile(const std::string &path, const std::string &text, mode_t mode = 0644)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    f.close();
    chmod(path.c_str(), mode);
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

// A program on the slave side of a new 80 x 25 pseudo-terminal, as its
// controlling terminal; its output is drained here as fast as it comes.
class Term {
public:
    Term(const std::vector<std::string> &argv, const std::vector<std::string> &env, int stdin_fd = -1)
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) || unlockpt(master))
            throw std::runtime_error("pty");
        winsize ws{};
        ws.ws_col = COLS;
        ws.ws_row = ROWS;
        ioctl(master, TIOCSWINSZ, &ws);
        std::string name = ptsname(master);
        std::vector<char *> av, ev;
        for (const auto &a : argv)
            av.push_back(const_cast<char *>(a.c_str()));
        av.push_back(nullptr);
        for (const auto &e : env)
            ev.push_back(const_cast<char *>(e.c_str()));
        ev.push_back(nullptr);
        pid = fork();
        if (pid == 0) {
            setsid();
            int s = open(name.c_str(), O_RDWR);
            ioctl(s, TIOCSCTTY, 0);
            dup2(stdin_fd >= 0 ? stdin_fd : s, 0);
            dup2(s, 1);
            dup2(s, 2);
            execve(av[0], av.data(), ev.data());
            _exit(127);
        }
        fcntl(master, F_SETFL, O_NONBLOCK);
    }
    ~Term()
    {
        if (pid > 0 && !exited) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        close(master);
    }

    // Reads for up to ms; true when something came. Notes the time of the last byte.
    bool pump(int ms)
    {
        pollfd p{master, POLLIN, 0};
        int r = poll(&p, 1, ms);
        if (r <= 0)
            return false;
        bool got = false;
        char buf[65536];
        for (;;) {
            ssize_t n = read(master, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            out.append(buf, size_t(n));
            last = Clock::now();
            got = true;
        }
        return got;
    }
    bool wait_bytes(const std::string &needle, int ms)
    {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (out.find(needle, seen) == std::string::npos) {
            if (Clock::now() > end)
                return false;
            pump(20);
        }
        seen = out.size();
        return true;
    }
    void send(const std::string &s) { (void)!::write(master, s.data(), s.size()); }
    // Ends when the process has exited; gives its own resource use.
    bool wait_exit(int ms, rusage *ru)
    {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            int status;
            pid_t r = wait4(pid, &status, WNOHANG, ru);
            if (r == pid) {
                exited = true;
                exitat = Clock::now();
                while (pump(0)) {
                }
                return true;
            }
            pump(5);
        }
        return false;
    }

    pid_t pid = -1;
    int master = -1;
    bool exited = false;
    std::string out;
    size_t seen = 0;
    Clock::time_point last = Clock::now(), exitat;
};

bool screen_shows(const std::string &bytes, const std::vector<std::string> &texts)
{
    VtScreen vt(ROWS, COLS);
    for (size_t i = 0; i < bytes.size(); i += 4096)
        vt.feed(std::string_view(bytes).substr(i, 4096));
    for (const auto &t : texts)
        if (!vt.find(t))
            return false;
    return true;
}

Outcome run_rundiags(long n)
{
    Outcome o;
    std::string dir = tempdir();
    writefile(dir + "/lines", make_lines(n));
    writefile(dir + "/compat.pl", "#!/bin/sh\ncat '" + dir + "/lines'\n: > '" + dir + "/done'\n", 0755);
    {
        Term t({program()}, {"PATH=" + dir + ":/usr/bin:/bin", "TERM=xterm", "HOME=/tmp"});
        if (!t.wait_bytes("Main Menu", 10000))
            throw std::runtime_error("no menu");
        t.send("\r");
        if (!t.wait_bytes("begin...", 10000))
            throw std::runtime_error("no question");
        while (t.pump(50)) {
        }
        double cpu0 = cpu_us(t.pid);
        size_t bytes0 = t.out.size();
        auto start = Clock::now();
        t.send("\r");
        // Until the probe is done and the program has gone quiet.
        auto limit = Clock::now() + std::chrono::seconds(600);
        while (Clock::now() < limit) {
            bool got = t.pump(300);
            if (!got && std::filesystem::exists(dir + "/done"))
                break;
        }
        o.secs = std::chrono::duration<double>(t.last - start).count();
        o.cpu_us = cpu_us(t.pid) - cpu0;
        o.bytes = t.out.size() - bytes0;
        o.complete = screen_shows(t.out, {"#" + std::to_string(n), "** FINISHED - Press Enter When Done **"});
        t.send("\r");
        t.wait_bytes("Main Menu", 5000);
        t.send("\x1b");
        t.wait_bytes("(y/n)", 5000);
        t.send("y");
        t.wait_exit(5000, nullptr);
    }
    std::filesystem::remove_all(dir);
    return o;
}

Outcome run_dialog(long n)
{
    Outcome o;
    std::string dir = tempdir();
    writefile(dir + "/lines", make_lines(n));
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    auto start = Clock::now();
    pid_t feeder = fork();
    if (feeder == 0) {
        dup2(p[1], 1);
        execl("/bin/cat", "cat", (dir + "/lines").c_str(), (char *)nullptr);
        _exit(127);
    }
    close(p[1]);
    {
        // The Details list is 76 x 11 on an 80 x 25 screen.
        Term t({"/usr/bin/dialog", "--progressbox", "11", "76"},
               {"PATH=/usr/bin:/bin", "TERM=xterm", "HOME=/tmp", "DIALOGRC=/dev/null"}, p[0]);
        close(p[0]);
        rusage ru{};
        if (!t.wait_exit(600000, &ru))
            throw std::runtime_error("dialog did not end");
        o.secs = std::chrono::duration<double>(t.exitat - start).count();
        o.cpu_us = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e6 + ru.ru_utime.tv_usec + ru.ru_stime.tv_usec;
        o.bytes = t.out.size();
        o.complete = screen_shows(t.out, {"#" + std::to_string(n)});
    }
    waitpid(feeder, nullptr, 0);
    std::filesystem::remove_all(dir);
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
