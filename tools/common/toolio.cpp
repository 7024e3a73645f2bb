// toolio: see toolio.h.

#include "toolio.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace toolio {

std::atomic<bool> g_signalled{false};

namespace {
extern "C" void on_signal(int) { g_signalled.store(true); }
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

std::string fmt(const char* f, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, f);
  vsnprintf(buf, sizeof buf, f, ap);
  va_end(ap);
  return buf;
}

std::optional<std::string> read_text(const std::string& path, Trim trim) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  if (trim == Trim::kTrailing) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
  }
  size_t b = s.find_first_not_of(" \t\n");
  size_t e = s.find_last_not_of(" \t\n");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
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

}  // namespace toolio
