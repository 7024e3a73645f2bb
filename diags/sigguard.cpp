#include "sigguard.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "oxsignalpipe.h"
#include "oxwriteall.h"
#include "plscreen.h"
#include "termseq.h"

namespace {

// Copies taken at install time: the handlers must not touch the screen
// object, which may be half torn down when a signal arrives.
int tty_fd = -1;          // for tcsetattr
int out_fd = -1;          // for the restore bytes
termios saved_tio;
bool have_tio = false;
volatile sig_atomic_t child_group = 0;
volatile sig_atomic_t term_signals = 0;

constexpr std::string_view restore_bytes = termseq::EMERGENCY_RESTORE.view();
constexpr std::string_view autowrap_on = termseq::AUTOWRAP_ON;

// Every signal whose default action would end the program: each is taken as
// a request to quit, so that the helpers are ended and the terminal given
// back whichever one comes.
constexpr int quit_signals[] = {SIGTERM, SIGHUP,  SIGINT,  SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
                                SIGPROF, SIGXCPU, SIGXFSZ, SIGSYS,  SIGTRAP, SIGPOLL, SIGPWR,  SIGSTKFLT};

void on_terminate(int)
{
    const int saved_errno = errno;
    if (term_signals != 0) {
        // Asked again while tearing down: do not wait for anything any more.
        if (child_group > 0)
            kill(-pid_t(child_group), SIGKILL);
        sigguard::emergency_restore();
        _exit(0);
    }
    term_signals = 1;
    if (child_group > 0)
        kill(-pid_t(child_group), SIGTERM);
    OxSignalPipe::post(OxSignalPipe::QUIT);
    errno = saved_errno;
}

// The terminal changed size: repaint it all, even if the program is idle.
void on_resize(int)
{
    OxSignalPipe::post(OxSignalPipe::RESIZE);
}

void on_fatal(int sig)
{
    sigguard::emergency_restore();
    // The handler was reset on entry: the signal, raised again (abort) or
    // met again (a fault re-executes), takes its default course on return.
    if (sig == SIGABRT)
        raise(sig);
}

int dup_cloexec(int fd)
{
    return fd < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, 3);
}

void handle(int sig, void (*fn)(int), int flags)
{
    struct sigaction sa{};
    sa.sa_handler = fn;
    sigemptyset(&sa.sa_mask);
    // A termination signal must not interrupt the handling of another.
    for (int q : quit_signals)
        sigaddset(&sa.sa_mask, q);
    sa.sa_flags = flags;
    sigaction(sig, &sa, nullptr);
}

} // namespace

namespace sigguard {

void install(PlScreen &scr)
{
    signal(SIGCHLD, SIG_DFL);

    tty_fd = dup_cloexec(scr.getfd());
    out_fd = dup_cloexec(scr.getwfd());
    have_tio = scr.hadtio();
    if (have_tio)
        saved_tio = scr.saved_settings();

    OxSignalPipe::open();

    for (int sig : quit_signals)
        handle(sig, on_terminate, SA_RESTART);
    handle(SIGWINCH, on_resize, SA_RESTART);
    handle(SIGABRT, on_fatal, SA_RESETHAND);
    // Leave the fault signals to a sanitizer that has claimed them.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
        struct sigaction old{};
        if (sigaction(sig, nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL)
            handle(sig, on_fatal, SA_RESETHAND);
    }
}

void set_child_group(pid_t pgid)
{
    child_group = pgid;
}

void emergency_restore()
{
    const int saved_errno = errno;
    if (have_tio && tty_fd >= 0) {
        int r;
        do
            r = tcsetattr(tty_fd, TCSANOW, &saved_tio);
        while (r < 0 && errno == EINTR);
    }
    if (out_fd >= 0) {
        if (PlScreen::autowrap_is_off())
            ox_write_all(out_fd, autowrap_on.data(), autowrap_on.size());
        ox_write_all(out_fd, restore_bytes.data(), restore_bytes.size());
        ox_drain_output(out_fd, PlScreen::restore_drain_ms);
    }
    errno = saved_errno;
}

} // namespace sigguard
