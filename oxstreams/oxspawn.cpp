#include "oxspawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char **environ;

namespace {
// Errors execve may report, with their texts made before fork: between fork
// and exec only async-signal-safe calls are allowed, and strerror is not one.
const int exec_errors[] = {ENOENT, EACCES, ENOEXEC, ENOMEM, E2BIG, ETXTBSY, ELOOP, ENOTDIR,
                           EISDIR, EPERM, ENAMETOOLONG, EIO, ELIBBAD, EINVAL, EFAULT, EMFILE};

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

void write_all_raw(int fd, const char *s, size_t n)
{
    while (n > 0) {
        ssize_t k = write(fd, s, n);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            return;
        s += k;
        n -= size_t(k);
    }
}
} // namespace

OxChild ox_spawn(const char *program, const char *const argv[], const int fds[3])
{
    OxChild child;
    if (!program)
        program = "";
    int lookup_err = 0;
    std::string path = *program ? find_program(program, lookup_err) : std::string();
    if (!*program)
        lookup_err = ENOENT;

    std::vector<std::string> msgs;
    for (int e : exec_errors)
        msgs.push_back(std::string(program) + ": " + std::strerror(e) + "\n");
    std::string generic = std::string(program) + ": cannot be started\n";
    std::string lookup_msg = lookup_err ? std::string(program) + ": " + std::strerror(lookup_err) + "\n" : "";

    std::vector<const char *> args;
    if (argv && argv[0])
        for (size_t i = 0; argv[i]; ++i)
            args.push_back(argv[i]);
    else
        args.push_back(program);
    args.push_back(nullptr);
    // A script without "#!" is run by the shell, as the shell itself would.
    std::vector<const char *> shargs = {"/bin/sh", path.c_str()};
    shargs.insert(shargs.end(), args.begin() + 1, args.end());

    rlimit rl{};
    long maxfd = getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY ? long(rl.rlim_cur) : 65536;
    if (maxfd > 65536)
        maxfd = 65536;

    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigset_t all, old, none;
    sigfillset(&all);
    sigemptyset(&none);
    // No handler of ours may run in the child before it has dropped them.
    pthread_sigmask(SIG_SETMASK, &all, &old);
    pid_t pid = fork();
    if (pid == 0) {
        for (int sig = 1; sig < NSIG; ++sig)
            if (sig != SIGKILL && sig != SIGSTOP)
                sigaction(sig, &dfl, nullptr);
        setpgid(0, 0);
        int tmp[3];
        for (int i = 0; i < 3; ++i)
            tmp[i] = fds[i] >= 0 ? fcntl(fds[i], F_DUPFD_CLOEXEC, 3) : -1;
        for (int i = 0; i < 3; ++i) {
            if (tmp[i] >= 0)
                dup2(tmp[i], i);
            else
                close(i);
        }
        if (syscall(SYS_close_range, 3U, ~0U, 0U) != 0)
            for (long fd = 3; fd < maxfd; ++fd)
                close(int(fd));
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (lookup_err) {
            write_all_raw(1, lookup_msg.data(), lookup_msg.size());
            _exit(127);
        }
        execve(path.c_str(), const_cast<char *const *>(args.data()), environ);
        int e = errno;
        if (e == ENOEXEC) {
            execve("/bin/sh", const_cast<char *const *>(shargs.data()), environ);
            e = errno;
        }
        const std::string *msg = &generic;
        for (size_t i = 0; i < sizeof exec_errors / sizeof exec_errors[0]; ++i)
            if (exec_errors[i] == e)
                msg = &msgs[i];
        write_all_raw(1, msg->data(), msg->size());
        _exit(127);
    }
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
