// toolframe: see emit.h.

#include "toolframe/emit.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>

#include "toolframe/stopsignal.h"

namespace toolframe {

namespace {
// A descriptor of its own for standard output when that is a pipe, with
// O_NONBLOCK set on it alone: a write then goes in whenever the pipe can
// take it (poll() would wait for a whole free page) and never blocks.  -1
// when standard output is no pipe or cannot be opened that way.  Made
// again if standard output has become another pipe.
int nonblocking_stdout() {
  static int fd = -1;
  static ino_t ino = 0;
  struct stat st;
  if (::fstat(STDOUT_FILENO, &st) != 0 || !S_ISFIFO(st.st_mode)) return -1;
  if (fd >= 0 && st.st_ino == ino) return fd;
  if (fd >= 0) ::close(fd);
  fd = ::open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  ino = st.st_ino;
  return fd;
}

// Set when a line was given up half-way (only one longer than PIPE_BUF
// can be): the next line then begins with the newline it lacks, so that
// the reader still finds that line, a "Stopped" one above all, whole.
bool g_torn = false;

// Writes the line in pieces no larger than PIPE_BUF (each goes in whole or
// not at all), so no write() blocks for long; gives up (false) when give_up
// says so between waits of at most 50 ms.
bool write_line(const std::string& text, const std::function<bool()>& give_up) {
  const size_t mend = g_torn ? 1 : 0;
  const std::string line = (g_torn ? "\n" : "") + text + '\n';
  size_t done = 0;
  const int nb = nonblocking_stdout();
  const int fd = nb >= 0 ? nb : STDOUT_FILENO;
  while (done < line.size()) {
    if (give_up()) {
      g_torn = done > mend || (mend && done == 0);
      return false;
    }
    if (nb < 0) {
      pollfd pfd{fd, POLLOUT, 0};
      int r = ::poll(&pfd, 1, 50);
      if (r < 0 && errno != EINTR) return false;
      if (r <= 0) continue;
    }
    ssize_t n = ::write(fd, line.data() + done, std::min<size_t>(line.size() - done, PIPE_BUF));
    if (n < 0 && errno == EAGAIN) {
      pollfd pfd{fd, POLLOUT, 0};
      ::poll(&pfd, 1, 50);  // a pause; the write is tried again either way
      continue;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;  // reader gone: nothing useful left to do with the text
    }
    done += static_cast<size_t>(n);
  }
  g_torn = false;
  return true;
}
}  // namespace

void emit(const std::string& text) {
  write_line(text, [] { return false; });
}

bool emit_or_stop(const std::string& text) {
  return write_line(text, [] { return g_signalled.load(); });
}

bool emit_before(const std::string& text, std::chrono::steady_clock::time_point deadline) {
  return write_line(text, [deadline] { return std::chrono::steady_clock::now() >= deadline; });
}

}  // namespace toolframe
