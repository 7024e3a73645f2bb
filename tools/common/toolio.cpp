// toolio: see toolio.h.

#include "toolio.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace toolio {

std::atomic<bool> g_signalled{false};

namespace {
extern "C" void on_signal(int) { g_signalled.store(true); }

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

// Writes the line in pieces no larger than PIPE_BUF (each goes in whole or
// not at all), so no write() blocks for long; gives up (false) when give_up
// says so between waits of at most 50 ms.
bool write_line(const std::string& text, const std::function<bool()>& give_up) {
  std::string line = text + '\n';
  const char* p = line.data();
  size_t left = line.size();
  const int nb = nonblocking_stdout();
  const int fd = nb >= 0 ? nb : STDOUT_FILENO;
  while (left > 0) {
    if (give_up()) return false;
    if (nb < 0) {
      pollfd pfd{fd, POLLOUT, 0};
      int r = ::poll(&pfd, 1, 50);
      if (r < 0 && errno != EINTR) return false;
      if (r <= 0) continue;
    }
    ssize_t n = ::write(fd, p, std::min<size_t>(left, PIPE_BUF));
    if (n < 0 && errno == EAGAIN) {
      pollfd pfd{fd, POLLOUT, 0};
      ::poll(&pfd, 1, 50);  // a pause; the write is tried again either way
      continue;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;  // reader gone
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}
}  // namespace

void emit(const std::string& text) {
  std::string line = text;
  line += '\n';
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t n = ::write(STDOUT_FILENO, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // reader gone: nothing useful left to do with the text
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
}

bool emit_or_stop(const std::string& text) {
  return write_line(text, [] { return g_signalled.load(); });
}

bool emit_before(const std::string& text, std::chrono::steady_clock::time_point deadline) {
  return write_line(text, [deadline] { return std::chrono::steady_clock::now() >= deadline; });
}

std::string fmt(const char* f, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, f);
  vsnprintf(buf, sizeof buf, f, ap);
  va_end(ap);
  return buf;
}

std::optional<std::string> read_file(const std::string& path, size_t max_bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  std::optional<std::string> out;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    std::string s;
    char buf[4096];
    for (;;) {
      if (s.size() >= max_bytes) break;
      ssize_t n = ::read(fd, buf, std::min(sizeof buf, max_bytes - s.size()));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        s.clear();
        break;
      }
      if (n == 0) {
        out = std::move(s);
        break;
      }
      s.append(buf, static_cast<size_t>(n));
    }
    if (!out && s.size() >= max_bytes) out = std::move(s);  // cut at the bound
  }
  ::close(fd);
  return out;
}

std::optional<std::string> read_text(const std::string& path, Trim trim) {
  auto got = read_file(path, kTextLimit);
  if (!got) return std::nullopt;
  std::string& s = *got;
  if (trim == Trim::kTrailing) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
  }
  size_t b = s.find_first_not_of(" \t\n");
  size_t e = s.find_last_not_of(" \t\n");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> out;
  size_t pos = 0;
  for (;;) {
    size_t end = text.find(sep, pos);
    out.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    if (end == std::string::npos) return out;
    pos = end + 1;
  }
}

bool path_exists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

std::vector<std::string> list_dir(const std::string& path) {
  std::vector<std::string> v;
  if (DIR* d = ::opendir(path.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') v.emplace_back(e->d_name);
    ::closedir(d);
  }
  std::sort(v.begin(), v.end());
  return v;
}

void install_stop_signals() {
  struct sigaction sa{};
  sa.sa_handler = on_signal;  // no SA_RESTART: a blocked write must give way
  ::sigemptyset(&sa.sa_mask);
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGHUP, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

bool sleep_interruptibly(std::chrono::nanoseconds d) {
  auto ns = d.count();
  timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  ::nanosleep(&ts, nullptr);  // a signal cuts it short, which is the point
  return !g_signalled.load();
}

int pass_number() {
  const char* s = std::getenv("RUNDIAGS_PASS");
  if (!s || !*s) return 1;
  long long v = 0;
  for (const char* p = s; *p; ++p) {
    if (*p < '0' || *p > '9') return 1;
    v = v * 10 + (*p - '0');
    if (v > INT_MAX) return 1;
  }
  return v > 0 ? static_cast<int>(v) : 1;
}

std::string utc_now() {
  time_t now = ::time(nullptr);
  struct tm tm{};
  ::gmtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

}  // namespace toolio
