// End-to-end runner: starts a program under a pseudo-terminal of a chosen
// size, types keys into it, renders what it draws through a terminal
// emulator and collects its exit status. Tests never touch the terminal of
// whoever runs them. Also a scratch directory of stub helper programs that a
// test puts first on PATH in place of the real (destructive) helpers.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files.h"
#include "pty.h"
#include "vtscreen.h"

// Bytes a terminal sends for the keys the program knows.
namespace keys {
inline constexpr std::string_view Enter = "\r";
inline constexpr std::string_view Esc = "\x1b";
// Cursor keys as sent in normal cursor mode (ESC [) ...
inline constexpr std::string_view Up = "\x1b[A";
inline constexpr std::string_view Down = "\x1b[B";
inline constexpr std::string_view Right = "\x1b[C";
inline constexpr std::string_view Left = "\x1b[D";
// ... and in application cursor mode (ESC O).
inline constexpr std::string_view UpO = "\x1bOA";
inline constexpr std::string_view DownO = "\x1bOB";
inline constexpr std::string_view RightO = "\x1bOC";
inline constexpr std::string_view LeftO = "\x1bOD";
inline constexpr std::string_view Home = "\x1b[1~";
inline constexpr std::string_view End = "\x1b[4~";
inline constexpr std::string_view PgUp = "\x1b[5~";
inline constexpr std::string_view PgDn = "\x1b[6~";
} // namespace keys

// What the screen destructor leaves as the very last bytes on an H-row
// terminal: default attribute, cursor shown, cursor parked below the last row,
// and the newline written after the settings are restored.
std::string restore_tail(int rows);

// A temporary directory of stub helper programs (shell scripts). Removed with
// everything in it when the object goes. Typical use:
//     StubDir stubs;
//     StubDir::Stub s;
//     s.lines = {"CPU: Example 2.0GHz", "   Status: SUPPORTED"};
//     s.exit_code = 3;
//     stubs.stub("compat.pl", s);
//     PtyRun::Options o;
//     o.path = {stubs.path()};
//     PtyRun run(RUNDIAGS_BIN, o);
//     ASSERT_TRUE(run.wait_text("Main Menu")) << run.dump();
//     run.send(keys::Enter);
//     ... stubs.argv_of("compat.pl"), run.wait_exit() ...
class StubDir : public ScratchDir {
public:
    StubDir() : ScratchDir("rundiags-stubs") {}

    // An executable "#!/bin/sh" script `name` with the given body.
    void script(const std::string &name, const std::string &body);
    // A plain file `name` for the stubs to read, or to let one go on.
    void write(const std::string &name, const std::string &bytes) const { write_file(file(name), bytes); }

    struct Stub {
        std::vector<std::string> lines;   // printed to stdout, one per line, as given
        int exit_code = 0;
        // Blocks (before printing the lines that follow `gate_after` of them)
        // until release(name) is called. SIGTERM to the process group ends it.
        bool gated = false;
        size_t gate_after = 0;
        // Keeps running (ignores SIGTERM) until SIGKILL, once the lines are out.
        bool ignore_term = false;
        // Written to file("<name>.term") when SIGTERM arrives, then exit 143.
        bool record_term = false;
        // Seconds to sleep after the lines (a foreground sleep: SIGTERM to
        // the process group ends it at once).
        double sleep = 0;
        std::string extra;                // more shell commands run before exiting
    };
    // A stub that records each start (file("<name>.runs"), one line per run)
    // and its arguments (file("<name>.argv")), prints its lines and exits
    // with the given code.
    void stub(const std::string &name, const Stub &s);
    // Lets a gated stub go on.
    void release(const std::string &name);

    // Arguments (without argv[0]) of the last start of stub `name`; empty
    // arguments are kept. Empty when it never ran.
    std::vector<std::string> argv_of(const std::string &name) const;
    // How many times stub `name` was started.
    int runs_of(const std::string &name) const;
    bool exists(const std::string &name) const;
    // Waits until file(name) exists (for a stub that outlives the program).
    bool wait_exists(const std::string &name, int timeout_ms = 5000) const;
    std::string read(const std::string &name) const { return read_file(file(name)); }
};

class PtyRun {
public:
    struct Options {
        int cols = 80;
        int rows = 25;
        // Directories put first on PATH; then only /usr/bin:/bin (so no real
        // helper installed elsewhere on this machine can be reached).
        std::vector<std::string> path;
        std::vector<std::pair<std::string, std::string>> env;  // added or replaced
        std::string cwd;                                       // empty: inherited
        std::vector<std::string> args;                         // after argv[0]
        // Nothing inherited: the environment is PATH, TERM and `env` only.
        bool clean_env = false;
        int stdin_fd = -1;        // standard input instead of the terminal
    };

    // Starts `program` with the slave side of a new pseudo-terminal as its
    // controlling terminal and standard input, output and error.
    PtyRun(const std::string &program, const Options &opt);
    explicit PtyRun(const std::string &program) : PtyRun(program, Options{}) {}
    // A program still running gets SIGKILL and is reaped.
    ~PtyRun();
    PtyRun(const PtyRun &) = delete;
    PtyRun &operator=(const PtyRun &) = delete;

    pid_t pid() const { return child; }
    int cols() const { return pty.cols(); }
    int rows() const { return pty.rows(); }

    // Typing.
    void send(std::string_view bytes);
    void key(std::string_view bytes) { send(bytes); }

    // Reads what the program has written within `ms` (0: only what is there)
    // and feeds it to the emulator. True when something came.
    bool pump(int ms);
    // Pumps until pred() holds or `timeout_ms` passed; returns pred().
    bool wait_until(const std::function<bool()> &pred, int timeout_ms = 5000);
    bool wait_text(std::string_view text, int timeout_ms = 5000);
    bool wait_gone(std::string_view text, int timeout_ms = 5000);
    // Waits until the output has been quiet for `quiet_ms` (at most timeout_ms).
    bool settle(int quiet_ms = 150, int timeout_ms = 5000);

    // What a person sees. The emulator catches up with the output only when
    // asked, so a benchmark that never looks pays nothing for it.
    VtScreen &vt();
    // 0-based row as text, line drawing as ASCII (VtScreen::plain).
    std::string row(int y);
    std::vector<std::string> rows_text();
    bool has_text(std::string_view text);
    std::string dump();                     // the whole screen, for failure messages

    // Every byte the program wrote so far, in order.
    const std::string &output() const { return out; }
    // Bytes written since an offset taken from output().size().
    std::string output_since(size_t mark) const { return out.substr(mark < out.size() ? mark : out.size()); }
    // When the last of them arrived.
    std::chrono::steady_clock::time_point last_output() const { return lastout; }

    // Terminal settings as the program's side sees them now, and as they
    // were before the program started.
    termios slave_settings() const { return pty.settings(); }
    const termios &initial_settings() const { return initial; }

    // The terminal window takes a new size (the program gets SIGWINCH); the
    // emulator keeps what it showed, cut at the new edges.
    void resize(int cols, int rows);
    // Closes the master side: the terminal hangs up.
    void hangup() { pty.hangup(); }
    bool hungup() const { return pty.hungup(); }
    void signal(int sig);

    // Waits for the program to end, reading its output meanwhile. Returns the
    // exit code, 128 + the signal for a program ended by one, or -1 on
    // timeout (the program is then killed and reaped).
    int wait_exit(int timeout_ms = 10000);
    bool exited() const { return done; }
    // Whether the program is still running (reaps it if it has ended).
    bool running() { return !reap(false); }
    int status() const { return exitcode; }
    // Processor time (user + system) the running program has used so far,
    // in clock ticks; -1 once it has gone.
    long long cpu_ticks() const;
    // What the ended program and the children it waited for used.
    const rusage &usage() const { return used; }

private:
    bool reap(bool wait);

    Pty pty;                  // the slave stays open, so its settings can be read at any time
    pid_t child = -1;
    bool done = false;
    int exitcode = -1;
    rusage used{};
    termios initial{};
    std::string out;
    size_t shown = 0;         // how much of `out` the emulator has had
    std::chrono::steady_clock::time_point lastout;
    std::unique_ptr<VtScreen> screen;
};
