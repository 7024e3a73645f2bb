// Byte streams over POSIX descriptors: line reading with read-ahead, buffered
// output, and the hooks that let a stream list wait on many streams at once.
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "oxdynbuf.h"
#include "oxstring.h"

class OxStream;

// Waits up to `ms` (-1: no limit) until one of the streams has something to
// offer, and lets each take in its input. Returns the number of streams
// ready; `woken` (when given) tells whether a message of the signal pipe
// (OxSignalPipe) cut the wait short or the program is to end.
int ox_wait_streams(OxStream *const *streams, size_t n, int ms, bool *woken = nullptr);
// Waits up to `ms` (-1: no limit) until fd is ready for `events` (poll's
// flags), or a message of the signal pipe comes or has come that ends
// every wait (when `signals` is true). Returns 1 ready, 0 time out, -1 cut
// short by a message, -2 failed.
int ox_wait_fd(int fd, short events, int ms, bool signals = true);
// Milliseconds of a monotonic clock.
long long ox_monotonic_ms();

class OxStream {
public:
    // Longest line kept back waiting for its separator: past this the bytes
    // so far are handed out as a line of their own, so a child that never
    // ends its line cannot grow our memory without bound.
    static constexpr size_t line_cap = 1 << 20;

    OxStream();
    OxStream(const OxStream &) = delete;
    OxStream &operator=(const OxStream &) = delete;
    virtual ~OxStream();

    // False once input has ended or failed and every byte read has been
    // handed out (and, for writers, once a write failed).
    virtual bool isok() const;
    virtual int geterr() const { return err; }    // errno of the failure, 0 if none
    virtual int getrfd() const { return rfd; }
    virtual int getwfd() const { return wfd; }

    // Hands out the next complete line, without its separator, into `line`.
    // Waits at most `waitms` for one (0: never waits, -1: no limit). Reads
    // ahead in blocks of at least `readahead` bytes, but only while no
    // complete line is waiting. At the end of input a last line without a
    // separator is handed out. Returns false when no line is available.
    virtual bool getline(OxString &line, int waitms = 0, char sep = '\n', size_t readahead = 1024);

    // True when a read would not wait: bytes are buffered or the descriptor
    // has input (or has reached its end).
    virtual bool isreadable();
    // Waits up to `ms` (-1: no limit) for the requested readiness; true when ready.
    virtual bool select(int ms, bool readable, bool writable = false, bool exception = false);
    // Appends the bytes available, up to `max` and no more than buf.room(),
    // to buf; waits for input when none is pending. Returns the number of
    // bytes appended; 0 at the end of input, on failure, or when the wait was
    // interrupted through the wake descriptor.
    virtual size_t read(OxDynBuf &buf, size_t max);

    // Output. Failures make the stream not ok; they never raise SIGPIPE.
    virtual bool write(const char *data, size_t n);
    bool write(const OxString &text) { return write(text.cstr(), text.len()); }
    template <class... Args>
    bool print(const char *format, const Args &...args)
    {
        if constexpr (sizeof...(args) == 0)
            return write(OxString::format(format, nullptr, 0));
        else
            return write(OxString(format, args...));
    }
    // While on, output is held until flush(); used to send a screen update in one write.
    virtual void delay_output(bool on);
    // Sends the held output. It always goes out whole, waiting as long as the
    // descriptor needs: an update cut short would leave the terminal out of
    // step with what the screen believes it shows. `waitms` is accepted for
    // compatibility and does not shorten that.
    virtual bool flush(int waitms = -1);

    // Waits up to `ms` (-1: no limit) until this stream has something to
    // offer and takes in what is there. Returns the number of ready streams
    // (0 on timeout or when interrupted through the wake descriptor).
    virtual int runonce(int ms);

    // --- Hooks for waiting on several streams at once (stream lists). ---
    // True when the stream has something to offer without waiting: a
    // complete line held back, or an end the caller has not seen yet (the
    // caller sees it by calling isok() and getting false).
    virtual bool ready_now() const;
    // Descriptors to poll for readable input; the stream appends its own.
    virtual void pre_select(std::vector<pollfd> &fds);
    // After poll: take in what the descriptors the stream added say.
    virtual void post_select(const pollfd *fds, size_t n);
    // Milliseconds until the stream needs another look without any descriptor
    // becoming ready (-1: none). A pipe uses it for its grace period after
    // its child's exit.
    virtual int next_timeout_ms() const { return -1; }

protected:
    // Reads once from rfd into the read-ahead (up to max bytes, no waiting
    // unless `wait`); handles EOF, errors, EINTR and EAGAIN. Returns the
    // number of bytes read.
    size_t fill(size_t max, bool wait);
    // Where the next `sep` in the read-ahead stands (an offset into rbuf),
    // or npos; remembers how far it looked, so no byte is scanned twice.
    size_t find_sep(char sep) const;
    // A complete line (or a line_cap run without separator) is held back.
    bool has_line(char sep) const;
    // Moves the next line into `line`: a complete one, a line_cap run, or at
    // the end of input whatever is left. False when there is none.
    bool take_line(OxString &line, char sep);
    // No more input will come (the pipe overrides it: its child must have
    // exited as well).
    virtual bool ended() const { return eof; }
    size_t pending() const { return rbuf.size() - rpos; }
    // Drops n bytes from the front of the read-ahead.
    void consume(size_t n);
    // One read(2) from rfd: the number of bytes, 0 at the end of input or on
    // failure (both end the input), -1 when none are there yet.
    ssize_t read_some(char *data, size_t max);
    void set_eof() { eof = true; }
    void set_error(int e) { err = e; failed = true; }
    void close_read();                     // closes rfd (if owned) and marks the end
    bool write_all(const char *data, size_t n);

    int rfd = -1, wfd = -1;
    bool ownfds = true;
    bool eof = false, failed = false;
    mutable bool endseen = false;          // isok() has reported false to the caller
    int err = 0;
    std::string rbuf;                      // read-ahead: bytes read, not yet handed out
    size_t rpos = 0;                       // start of the unread part of rbuf
    mutable size_t scanned = 0;            // rbuf holds no `scansep` before this offset
    mutable char scansep = '\n';
    char lastsep = '\n';                   // separator of the last getline, for ready_now
    size_t readsize = 65536;               // block size of reads done for a stream list
    bool bytemode = false;                 // read() is used: any buffered byte is input
    std::string wbuf;                      // held output while delayed
    bool delayed = false;
};

// A stream over a read descriptor and a write descriptor (either may be -1,
// both may be the same). It owns them: they are closed with the stream.
class OxFDStream : public OxStream {
public:
    OxFDStream(int rfd, int wfd);
    ~OxFDStream() override;
};

// Forwards every operation to another stream; the base of the terminal screen.
class OxStreamClone : public OxStream {
public:
    OxStreamClone(OxStream *target = nullptr) : clone(target) {}
    void setclone(OxStream *target) { clone = target; }
    OxStream *getclone() const { return clone; }

    bool isok() const override;
    int geterr() const override;
    int getrfd() const override;
    int getwfd() const override;
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
    void pre_select(std::vector<pollfd> &fds) override;
    void post_select(const pollfd *fds, size_t n) override;
    int next_timeout_ms() const override;

private:
    OxStream *clone;
};

// A file opened as a stream. The descriptor is always close-on-exec.
class OxFile : public OxStream {
public:
    OxFile(const char *name, int flags, mode_t mode = 0666);
    ~OxFile() override;
};
