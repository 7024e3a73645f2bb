// Terminals for tests that drive the program's screen in their own process:
// an in-memory stream (and a screen over it), and a pseudo-terminal whose
// output is collected in the background. No test touches a real terminal.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "oxstream.h"
#include "plscreen.h"
#include "pty.h"

// An OxStream without descriptors: input comes from inject(), output is
// captured. It can serve as the screen's terminal (getfd() is then -1, so no
// terminal settings are touched and the screen is 80 x 24).
class MemStream : public OxStream {
public:
    MemStream() = default;

    // Input side. inject() may be called from another thread; waits in
    // select()/read()/runonce() wake up for it.
    void inject(std::string_view bytes);
    void end_input();                       // no more input: isok() turns false once drained
    size_t pending() const;                 // injected bytes not yet read

    // Output side.
    std::string output() const;             // everything flushed (or written undelayed)
    std::string take_output();              // the same, and forgets it
    std::string held() const;               // written while delayed, not yet flushed
    size_t flush_count() const { return flushes; }
    // Output of each flush that carried bytes, in order.
    std::vector<std::string> chunks() const;
    // Everything delivered is also appended here (it must outlive the
    // stream), so output can be checked after the owner deleted the stream.
    std::string *copy_to = nullptr;

    // Hooks: force isok() false; run a function whenever a reader would wait.
    void set_ok(bool ok);
    std::function<void(MemStream &)> on_wait;

    bool isok() const override;
    int getrfd() const override { return -1; }
    int getwfd() const override { return -1; }
    bool getline(OxString &line, int waitms = 0, char sep = '\n', size_t readahead = 1024) override;
    bool isreadable() override;
    bool select(int ms, bool readable, bool writable = false, bool exception = false) override;
    size_t read(OxDynBuf &buf, size_t max) override;
    bool write(const char *data, size_t n) override;
    using OxStream::write;
    void delay_output(bool on) override;
    bool flush(int waitms = -1) override;
    int runonce(int ms) override;
    bool ready_now() const override;
    void pre_select(std::vector<pollfd> &) override {}
    void post_select(const pollfd *, size_t) override {}

private:
    bool wait_input(int ms);                // true when input or its end is there
    void deliver_held();                    // with mu held
    bool readable_locked() const { return inpos < in.size() || ended; }

    mutable std::mutex mu;
    std::condition_variable cv;
    std::string in;
    size_t inpos = 0;
    bool ended = false;
    bool forced_bad = false;
    std::string out, hold;
    std::vector<std::string> flushed;
    bool delayed_out = false;
    size_t flushes = 0;
};

// An in-memory screen: a PlScreen over a MemStream (no descriptor: 80 x 24,
// no settings), already past its first refresh unless told not to, so that
// tests see only what they change.
struct MemScreen {
    MemStream *term = new MemStream;        // owned by the screen
    std::unique_ptr<PlScreen> scr{new PlScreen(term, term)};

    explicit MemScreen(bool settle = true)
    {
        if (settle)
            refresh();
    }
    // Output of one refresh.
    std::string refresh(bool full = false)
    {
        scr->refresh(full);
        return term->take_output();
    }
    void put(int x, int y, int ch, int attr) { *scr->cell(x, y) = PlCell(ch, PlAttr(attr)); }
};

// The fixed frame around every refresh that sends cells.
inline const std::string REFRESH_HEAD = "\x1b[0;30;40m\x0f\x1b)0\x1b[?25l";
inline const std::string REFRESH_TAIL = "\x0f\x1b)B\x1b(B";

// The terminal of a test binary's own screen: a pseudo-terminal whose output
// a background thread collects, so the screen never blocks on a full pty.
class TestPty {
public:
    explicit TestPty(int cols = 80, int rows = 25);
    ~TestPty();
    TestPty(const TestPty &) = delete;
    TestPty &operator=(const TestPty &) = delete;

    int slave() const { return pty.slave(); }
    int dup_slave() const { return pty.dup_slave(); }
    int cols() const { return pty.cols(); }
    int rows() const { return pty.rows(); }

    // Keys typed at the terminal.
    void write_keys(std::string_view bytes);
    // The terminal goes away: collecting stops and the master side closes.
    void hangup();

    // Everything the program side wrote so far (as read from the master).
    std::string output() const;
    std::string take_output();              // the same, and forgets it
    void clear_output() { take_output(); }
    // Waits until pred(output so far) holds; false after timeout_ms.
    bool wait_until(const std::function<bool(const std::string &)> &pred, int timeout_ms = 5000) const;
    bool wait_for_bytes(std::string_view needle, int timeout_ms = 5000) const;
    // Waits until the output has not grown for quiet_ms (bounded by timeout_ms).
    bool wait_quiet(int quiet_ms = 50, int timeout_ms = 5000) const;

private:
    void collect();

    Pty pty;
    int stopfd[2] = {-1, -1};
    mutable std::mutex mu;
    mutable std::condition_variable cv;
    std::string buf;
    std::thread thr;
};

// The pseudo-terminal behind a test binary's global screen, built on first
// use at the size of that first call. Lives until after the global screen
// is gone. Define the screen in one line:
//     PlScreen screen(testpty_slave_fd(), testpty_slave_fd());
TestPty &test_pty(int cols = 80, int rows = 25);
// A fresh close-on-exec duplicate of its slave.
inline int testpty_slave_fd(int cols = 80, int rows = 25)
{
    return test_pty(cols, rows).dup_slave();
}
