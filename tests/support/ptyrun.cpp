#include "ptyrun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

long long ms_left(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : left;
}

[[noreturn]] void fail(const std::string &what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

std::string restore_tail(int rows)
{
    // The last "\n" goes out with the restored (cooked) settings, so the
    // terminal's output processing makes it CR LF.
    return "\x1b[0;37;40m\x1b[?25h\x1b[" + std::to_string(rows + 1) + ";2H\r\n";
}

// ---------------------------------------------------------------- StubDir

void StubDir::script(const std::string &name, const std::string &body)
{
    write_file(file(name), "#!/bin/sh\n" + body);
    if (chmod(file(name).c_str(), 0755) != 0)
        fail("chmod " + file(name));
}

void StubDir::stub(const std::string &name, const Stub &s)
{
    std::string b;
    const std::string base = sh_quote(file(name));
    // Traps first: a test that saw the start may signal at once.
    if (s.record_term)
        b += "trap 'echo TERM > " + base + ".term; exit 143' TERM\n";
    if (s.ignore_term)
        b += "trap '' TERM\n";
    // Record the start and the arguments: their count first, then one per line.
    b += "echo run >> " + base + ".runs\n";
    b += "{ echo $#; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > " + base + ".argv.tmp && mv " + base +
         ".argv.tmp " + base + ".argv\n";
    for (size_t i = 0; i <= s.lines.size(); i++) {
        if (s.gated && i == s.gate_after) {
            b += "while [ ! -e " + base + ".go ]; do sleep 0.02; done\n";
        }
        if (i < s.lines.size())
            b += "printf '%s\\n' " + sh_quote(s.lines[i]) + "\n";
    }
    if (s.sleep > 0)
        b += "sleep " + std::to_string(s.sleep) + "\n";
    if (s.ignore_term)
        b += "while :; do sleep 1; done\n";
    b += s.extra;
    if (!s.extra.empty() && s.extra.back() != '\n')
        b += "\n";
    b += "exit " + std::to_string(s.exit_code) + "\n";
    script(name, b);
}

void StubDir::release(const std::string &name)
{
    write(name + ".go", "");
}

std::vector<std::string> StubDir::argv_of(const std::string &name) const
{
    std::vector<std::string> args;
    std::ifstream f(file(name) + ".argv");
    std::string line;
    if (!std::getline(f, line))
        return args;
    int n = std::atoi(line.c_str());
    for (int i = 0; i < n && std::getline(f, line); i++)
        args.push_back(line);
    return args;
}

int StubDir::runs_of(const std::string &name) const
{
    std::ifstream f(file(name) + ".runs");
    int n = 0;
    std::string line;
    while (std::getline(f, line))
        n++;
    return n;
}

bool StubDir::exists(const std::string &name) const
{
    return access(file(name).c_str(), F_OK) == 0;
}

bool StubDir::wait_exists(const std::string &name, int timeout_ms) const
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!exists(name)) {
        if (ms_left(deadline) == 0)
            return false;
        poll(nullptr, 0, 10);
    }
    return true;
}

// ---------------------------------------------------------------- PtyRun

PtyRun::PtyRun(const std::string &program, const Options &opt) : pty(opt.cols, opt.rows)
{
    initial = pty.settings();
    screen = std::make_unique<VtScreen>(opt.rows, opt.cols);
    lastout = Clock::now();

    // Everything the child needs is built before fork.
    std::vector<std::string> argstore{program};
    argstore.insert(argstore.end(), opt.args.begin(), opt.args.end());
    std::string path;
    for (const auto &d : opt.path)
        path += d + ":";
    path += "/usr/bin:/bin";
    std::vector<std::pair<std::string, std::string>> vars{{"PATH", path}, {"TERM", "xterm"}};
    for (const auto &kv : opt.env)
        vars.push_back(kv);
    std::vector<std::string> envstore;
    for (char **e = environ; *e && !opt.clean_env; e++) {
        std::string s = *e;
        std::string key = s.substr(0, s.find('='));
        bool replaced = key == "LINES" || key == "COLUMNS";
        for (const auto &kv : vars)
            replaced = replaced || kv.first == key;
        if (!replaced)
            envstore.push_back(s);
    }
    for (const auto &kv : vars)
        envstore.push_back(kv.first + "=" + kv.second);
    std::vector<char *> argv, envp;
    for (auto &s : argstore)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto &s : envstore)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    const char *cwd = opt.cwd.empty() ? nullptr : opt.cwd.c_str();
    const int slave = pty.slave();

    child = fork();
    if (child < 0)
        fail("fork");
    if (child == 0) {
        setsid();
        ioctl(slave, TIOCSCTTY, 0);
        dup2(opt.stdin_fd >= 0 ? opt.stdin_fd : slave, 0);
        dup2(slave, 1);
        dup2(slave, 2);
        for (int sig = 1; sig < NSIG; sig++)
            ::signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        // A test may end the program with a fatal signal: no core files.
        rlimit nocore{0, 0};
        setrlimit(RLIMIT_CORE, &nocore);
        if (cwd && chdir(cwd) != 0)
            _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
}

PtyRun::~PtyRun()
{
    if (!done && child > 0) {
        ::kill(child, SIGKILL);
        reap(true);
    }
}

void PtyRun::send(std::string_view bytes)
{
    // While the program does not read, keep draining its output: it may be
    // blocked writing it.
    pty.type(bytes, [this] { pump(10); });
}

bool PtyRun::pump(int ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        long n = pty.read_now(out);
        if (n > 0)
            lastout = Clock::now();
        if (n != 0)
            return n > 0;
        long long left = ms_left(deadline);
        if (left == 0 || !pty.wait_readable(int(left)))
            return false;
    }
}

bool PtyRun::wait_until(const std::function<bool()> &pred, int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    pump(0);
    while (!pred()) {
        long long left = ms_left(deadline);
        if (left == 0)
            return false;
        if (hungup() || done) {
            // Nothing more can arrive.
            return pred();
        }
        if (!pump(int(left < 50 ? left : 50)))
            reap(false);
    }
    return true;
}

bool PtyRun::wait_text(std::string_view text, int timeout_ms)
{
    return wait_until([&] { return has_text(text); }, timeout_ms);
}

bool PtyRun::wait_gone(std::string_view text, int timeout_ms)
{
    return wait_until([&] { return !has_text(text); }, timeout_ms);
}

bool PtyRun::settle(int quiet_ms, int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (ms_left(deadline) > 0) {
        if (!pump(quiet_ms))
            return true;
    }
    return false;
}

VtScreen &PtyRun::vt()
{
    if (shown < out.size()) {
        screen->feed(std::string_view(out).substr(shown));
        shown = out.size();
    }
    return *screen;
}

std::string PtyRun::row(int y)
{
    return vt().plain(y);
}

std::vector<std::string> PtyRun::rows_text()
{
    std::vector<std::string> r;
    for (int y = 0; y < rows(); y++)
        r.push_back(row(y));
    return r;
}

bool PtyRun::has_text(std::string_view text)
{
    for (int y = 0; y < rows(); y++)
        if (row(y).find(text) != std::string::npos)
            return true;
    return false;
}

std::string PtyRun::dump()
{
    std::string s;
    for (int y = 0; y < rows(); y++) {
        std::string num = std::to_string(y);
        s += std::string(num.size() < 2 ? 1 : 0, ' ') + num + "|" + row(y) + "|\n";
    }
    return s;
}

void PtyRun::resize(int cols, int rows)
{
    // What the program wrote at the old size is shown at the old size.
    pump(0);
    vt();
    pty.resize(cols, rows);
    screen->resize(rows, cols);
}

void PtyRun::signal(int sig)
{
    if (!done && child > 0)
        ::kill(child, sig);
}

long long PtyRun::cpu_ticks() const
{
    if (done)
        return -1;
    std::ifstream f("/proc/" + std::to_string(child) + "/stat");
    std::string st((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t p = st.rfind(')');
    if (p == std::string::npos)
        return -1;
    // After the name: state and ten more fields, then utime and stime.
    std::istringstream in(st.substr(p + 2));
    std::string field;
    long long ticks = 0;
    for (int i = 0; i < 13 && in >> field; i++)
        if (i >= 11)
            ticks += std::atoll(field.c_str());
    return ticks;
}

bool PtyRun::reap(bool wait)
{
    if (done)
        return true;
    int st = 0;
    pid_t r;
    do
        r = wait4(child, &st, wait ? 0 : WNOHANG, &used);
    while (r < 0 && errno == EINTR);
    if (r != child)
        return false;
    done = true;
    exitcode = WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
    return true;
}

int PtyRun::wait_exit(int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    int pidfd = int(syscall(SYS_pidfd_open, child, 0));
    while (!reap(false)) {
        long long left = ms_left(deadline);
        if (left == 0) {
            ::kill(child, SIGKILL);
            reap(true);
            if (pidfd >= 0)
                close(pidfd);
            return -1;
        }
        pollfd p[2] = {{pidfd, POLLIN, 0}, {pty.master(), POLLIN, 0}};
        int wait = pidfd >= 0 ? int(left) : int(left < 10 ? left : 10);
        int r = poll(p, 2, wait);
        if (r > 0 && (p[1].revents & POLLIN))
            pump(0);
    }
    if (pidfd >= 0)
        close(pidfd);
    // What it wrote last is still in the terminal's buffer.
    while (pump(0)) {
    }
    return exitcode;
}
