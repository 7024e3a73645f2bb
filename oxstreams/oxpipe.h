// A child process whose standard output (and, on request, standard error)
// is read as a stream.
#pragma once

#include <sys/types.h>

#include "oxspawn.h"
#include "oxstream.h"

class OxPipe : public OxStream {
public:
    // Starts a child as `o` says (see ox_spawn). A Pipe disposition makes a
    // pipe to us: for stdin, one we write to; for stdout, the stream we read;
    // for stderr, merged into the stdout pipe. When the child cannot be
    // started it writes "<program>: <reason>" into the pipe and exits 127.
    explicit OxPipe(const OxSpawnOptions &o);
    // What the helpers get: stdin the null device (a helper never reads the
    // operator's keys), stdout and stderr merged into the stream we read.
    static OxSpawnOptions reading(const char *program, const char *const argv[], const char *const env[] = nullptr);
    // A child still running gets SIGTERM (its group), a grace of about 2 s,
    // then SIGKILL, and is reaped; a child that even then does not end
    // within a few seconds is left behind rather than hanging the program.
    ~OxPipe() override;

    // Not ok once the child has exited and every byte of its output has been
    // handed out (output arriving within about 1 s after the exit is still
    // delivered; then the read end is closed even if a grandchild holds it).
    bool isok() const override;
    bool isreadable() override;

    // Waits for the child to exit (wait=false: only checks). True once it has.
    // A wait is cut short once the program is to end (then false).
    bool finish(bool wait);
    bool child_exited() const { return exited; }
    // The exit code; 128 + the signal number for a child ended by a signal.
    int exit_status() const { return status; }
    pid_t getpid() const { return pid; }
    // Signals the child's process group, also the workers left in it after
    // the child itself exited; nothing once the child has been reaped.
    bool kill(int sig);

    bool ready_now() const override;
    void pre_select(std::vector<pollfd> &fds) override;
    void post_select(const pollfd *fds, size_t n) override;
    int next_timeout_ms() const override;

    // Output still arriving this long after the child's exit is delivered;
    // then the read end is closed.
    static constexpr int output_grace_ms = 1000;

protected:
    bool ended() const override { return eof && exited; }

private:
    void reap(bool wait);
    void reap_zombie();
    // Notices the child's exit, closes an ended read end, and ends the output
    // grace once it has run out.
    void update(bool check_exit);
    bool wait_exit(int ms);

    pid_t pid = -1;
    int pidfd = -1;
    bool exited = false;
    // The exited child is kept as a zombie until the pipe goes: its number,
    // and so its process group's, cannot be reused meanwhile, so the group
    // can still be signalled safely for workers the child left behind.
    bool reaped = false;
    int status = -1;
    long long exit_ms = 0;          // monotonic time of the exit, for the output grace
    size_t nbase = 0;               // descriptors the base stream added in pre_select
};
