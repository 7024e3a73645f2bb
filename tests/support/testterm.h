// Terminals for tests: an in-memory stream and a pseudo-terminal whose output
// is collected in the background, so that no test touches a real terminal.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "oxstream.h"

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

// A pseudo-terminal pair of a given size. The master's output is read by a
// background thread, so the program side never blocks on a full pty.
class TestPty {
public:
    TestPty(int cols = 80, int rows = 25);
    ~TestPty();
    TestPty(const TestPty &) = delete;
    TestPty &operator=(const TestPty &) = delete;

    int master() const { return mfd; }
    int slave() const { return sfd; }
    int dup_slave() const;                  // a close-on-exec duplicate of the slave
    int cols() const { return ncols; }
    int rows() const { return nrows; }
    void resize(int cols, int rows);        // TIOCSWINSZ on the master

    // Keys typed at the terminal.
    void write_keys(std::string_view bytes);

    // Everything the program side wrote so far (as read from the master).
    std::string output() const;
    std::string take_output();              // the same, and forgets it
    size_t output_size() const;
    void clear_output();
    // Waits until pred(output so far) holds; false after timeout_ms.
    bool wait_until(const std::function<bool(const std::string &)> &pred, int timeout_ms = 5000) const;
    bool wait_for_bytes(std::string_view needle, int timeout_ms = 5000) const;
    // Waits until the output has not grown for quiet_ms (bounded by timeout_ms).
    bool wait_quiet(int quiet_ms = 50, int timeout_ms = 5000) const;

private:
    void reader();

    int mfd = -1, sfd = -1;
    int stopfd[2] = {-1, -1};
    int ncols, nrows;
    mutable std::mutex mu;
    mutable std::condition_variable cv;
    std::string buf;
    std::thread thr;
};

// The pseudo-terminal behind a test binary's global screen, built on first use
// with the size from TESTPTY_SIZE ("COLSxROWS", default 80x25). Lives until
// after the global screen is gone. Define the screen in one line:
//     PlScreen screen(testpty_slave_fd(), testpty_slave_fd());
TestPty &test_pty();
int testpty_slave_fd();                     // a fresh close-on-exec duplicate of its slave
