#include "oxspawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "oxwriteall.h"

extern char **environ;

namespace {
// Errors execve may report, with their texts made before fork: between fork
// and exec only async-signal-safe calls are allowed, and strerror is not one.
const int exec_errors[] = {ENOENT, EACCES, ENOEXEC, ENOMEM, E2BIG, ETXTBSY, ELOOP, ENOTDIR,
                           EISDIR, EPERM, ENAMETOOLONG, EIO, ELIBBAD, EINVAL, EFAULT, EMFILE};
constexpr size_t n_exec_errors = sizeof exec_errors / sizeof exec_errors[0];

// The full path to run, or "" with `err` set when PATH holds no such program.
std::string find_program(const char *program, int &err)
{
    if (std::strchr(program, '/'))
        return program;
    const char *path = std::getenv("PATH");
    if (!path)
        path = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
    err = ENOENT;
    std::string p = path;
    size_t i = 0;
    while (i <= p.size()) {
        size_t j = p.find(':', i);
        if (j == std::string::npos)
            j = p.size();
        std::string dir = p.substr(i, j - i);
        i = j + 1;
        // Empty and relative entries would run whatever lies in the current
        // directory, and we run as root.
        if (dir.empty() || dir[0] != '/')
            continue;
        std::string cand = dir + "/" + program;
        struct stat st;
        if (stat(cand.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (access(cand.c_str(), X_OK) == 0) {
            err = 0;
            return cand;
        }
        err = EACCES;
    }
    return "";
}

// Everything the child needs, made before fork. Not copyable: shargs points
// into path.
struct Plan {
    explicit Plan(const OxSpawnOptions &o);
    Plan(const Plan &) = delete;
    Plan &operator=(const Plan &) = delete;

    std::string path;                  // what to exec; empty when not found
    int lookup_err = 0;
    std::string lookup_msg;            // "<program>: <reason>\n" for lookup_err
    std::vector<std::string> msgs;     // the same for each of exec_errors
    std::string generic;               // for any other exec failure
    std::vector<const char *> args;    // argv, NULL-terminated
    std::vector<const char *> shargs;  // "/bin/sh <path> <args...>" for a script without "#!"
    std::vector<const char *> envp;    // the environment, NULL-terminated
    long maxfd = 65536;                // descriptors to close when close_range is missing
    pid_t parent = getpid();
    OxStdio stdio[3];
    unsigned flags = 0;
};

// NAME=value entries: whether `entry` names a variable that `env` sets.
bool set_in(const char *entry, const char *const env[])
{
    const size_t n = std::strcspn(entry, "=");
    for (size_t i = 0; env[i]; ++i)
        if (std::strncmp(entry, env[i], n) == 0 && env[i][n] == '=')
            return true;
    return false;
}

Plan::Plan(const OxSpawnOptions &o) : flags(o.flags)
{
    const char *program = o.program ? o.program : "";
    const char *const *argv = o.argv, *const *env = o.env;
    for (int i = 0; i < 3; ++i)
        stdio[i] = o.stdio[i];
    if (*program)
        path = find_program(program, lookup_err);
    else
        lookup_err = ENOENT;
    for (int e : exec_errors)
        msgs.push_back(std::string(program) + ": " + std::strerror(e) + "\n");
    generic = std::string(program) + ": cannot be started\n";
    if (lookup_err)
        lookup_msg = std::string(program) + ": " + std::strerror(lookup_err) + "\n";

    if (argv && argv[0])
        for (size_t i = 0; argv[i]; ++i)
            args.push_back(argv[i]);
    else
        args.push_back(program);
    args.push_back(nullptr);
    // A script without "#!" is run by the shell, as the shell itself would.
    shargs = {"/bin/sh", path.c_str()};
    shargs.insert(shargs.end(), args.begin() + 1, args.end());

    for (char **e = environ; *e; ++e)
        if (!env || !set_in(*e, env))
            envp.push_back(*e);
    for (size_t i = 0; env && env[i]; ++i)
        envp.push_back(env[i]);
    envp.push_back(nullptr);

    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY && long(rl.rlim_cur) < maxfd)
        maxfd = long(rl.rlim_cur);
}

// In the child: descriptor i becomes what stdio[i] says, nothing else stays open.
void arrange_descriptors(const OxStdio stdio[3], long maxfd)
{
    int tmp[3];
    for (int i = 0; i < 3; ++i)
        tmp[i] = stdio[i].kind == OxStdio::Fd && stdio[i].fd >= 0 ? fcntl(stdio[i].fd, F_DUPFD_CLOEXEC, 3) : -1;
    for (int i = 0; i < 3; ++i) {
        if (tmp[i] >= 0)
            dup2(tmp[i], i);
        else
            close(i);
    }
    for (int i = 0; i < 3; ++i) {
        if (stdio[i].kind != OxStdio::Null)
            continue;
        // The lowest free number: i itself, or a lower one meant to stay closed.
        const int null = open("/dev/null", i == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != i) {
            dup2(null, i);
            close(null);
        }
    }
    if (syscall(SYS_close_range, 3U, ~0U, 0U) != 0)
        for (long fd = 3; fd < maxfd; ++fd)
            close(int(fd));
}

// The child's side of the fork; only async-signal-safe calls. Starts with
// every signal blocked.
// What the child says on its descriptor 1 before it gives up.
void report(const Plan &p, const std::string &msg)
{
    if (!(p.flags & OX_SPAWN_QUIET))
        ox_write_all(1, msg.data(), msg.size());
}

[[noreturn]] void run_child(const Plan &p)
{
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig)
        if (sig != SIGKILL && sig != SIGSTOP)
            sigaction(sig, &dfl, nullptr);
    if (p.flags & OX_SPAWN_NO_TTY_STOPS) {
        signal(SIGTTOU, SIG_IGN);
        signal(SIGTTIN, SIG_IGN);
    }
    setpgid(0, 0);
    // A helper must not outlive us (a burn-in child left running would go on
    // destroying disks, and hold them "in use" for the next run). The SIGTERM
    // of our death is held back by the blocked mask until just before exec,
    // and then takes its default course.
    ox_die_with_parent(p.parent);
    arrange_descriptors(p.stdio, p.maxfd);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (p.lookup_err) {
        report(p, p.lookup_msg);
        _exit(127);
    }
    char *const *envp = const_cast<char *const *>(p.envp.data());
    execve(p.path.c_str(), const_cast<char *const *>(p.args.data()), envp);
    int e = errno;
    if (e == ENOEXEC) {
        execve("/bin/sh", const_cast<char *const *>(p.shargs.data()), envp);
        e = errno;
    }
    const std::string *msg = &p.generic;
    for (size_t i = 0; i < n_exec_errors; ++i)
        if (exec_errors[i] == e)
            msg = &p.msgs[i];
    report(p, *msg);
    _exit(127);
}
} // namespace

void ox_die_with_parent(pid_t parent)
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        _exit(127);
}

OxChild ox_spawn(const OxSpawnOptions &o)
{
    OxChild child;
    const Plan plan(o);

    sigset_t all, old;
    sigfillset(&all);
    // No handler of ours may run in the child before it has dropped them.
    pthread_sigmask(SIG_SETMASK, &all, &old);
    pid_t pid = fork();
    if (pid == 0)
        run_child(plan);
    int forkerr = errno;
    if (pid > 0) {
        // Also here, so that the group exists before the caller can signal it.
        setpgid(pid, pid);
        child.pid = pid;
        child.pidfd = int(syscall(SYS_pidfd_open, pid, 0));
        if (child.pidfd >= 0)
            fcntl(child.pidfd, F_SETFD, FD_CLOEXEC);
    } else {
        child.err = forkerr;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return child;
}
