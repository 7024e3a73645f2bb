// diskburn: see childruns.h.

#include "childruns.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "toolframe/settings.h"
#include "toolframe/stopsignal.h"
#include "toolframe/util.h"

extern char** environ;

namespace diskburn {

struct ChildRuns::Child {
  pid_t pid = -1;  // -1 once reaped (or never started)
  int fd = -1;     // the read end of its output, -1 once closed
  ChildAnswer* answer = nullptr;
  void close_fd() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  // The whole group: a wrapper's own children hold the pipe open too.
  void kill_all() {
    if (pid > 0) ::kill(-pid, SIGKILL);
    close_fd();
  }
};

std::string ChildRuns::find(const std::string& name) {
  if (name.empty()) return "";
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
  std::string dirs = toolframe::SettingsReader::text("PATH").value_or("") + ":/usr/sbin:/sbin";
  for (const auto& d : toolframe::split(dirs, ':')) {
    if (d.empty() || d[0] != '/') continue;  // never relative to wherever we stand
    std::string p = d + "/" + name;
    if (::access(p.c_str(), X_OK) == 0) return p;
  }
  return "";
}

bool ChildRuns::start(const std::string& path, Child& c) {
  int p[2];
  if (::pipe2(p, O_CLOEXEC) != 0) {
    c.answer->why = toolframe::fmt("%s could not be started (%s)", name_.c_str(), std::strerror(errno));
    return false;
  }
  ::fcntl(p[0], F_SETFL, O_NONBLOCK);
  posix_spawn_file_actions_t fa;
  posix_spawnattr_t at;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, p[1], 1);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
  posix_spawn_file_actions_addclosefrom_np(&fa, 3);  // even what others left open without O_CLOEXEC
#endif
  posix_spawnattr_init(&at);
  sigset_t none, dflt;
  sigemptyset(&none);
  sigemptyset(&dflt);
  for (int s : {SIGPIPE, SIGTERM, SIGINT, SIGHUP}) sigaddset(&dflt, s);
  posix_spawnattr_setsigmask(&at, &none);
  posix_spawnattr_setsigdefault(&at, &dflt);
  posix_spawnattr_setpgroup(&at, 0);
  posix_spawnattr_setflags(&at, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  std::vector<char*> argv{const_cast<char*>(program_.c_str())};
  for (auto& a : args_) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(const_cast<char*>(path.c_str()));
  argv.push_back(nullptr);
  int rc = ::posix_spawn(&c.pid, program_.c_str(), &fa, &at, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&at);
  ::close(p[1]);
  c.fd = p[0];
  if (rc == 0) return true;
  c.pid = -1;
  c.close_fd();
  c.answer->why = toolframe::fmt("%s could not be started (%s)", name_.c_str(), std::strerror(rc));
  return false;
}

// Reads what is there, waiting at most `wait` for something to come.
void ChildRuns::pump(std::vector<Child>& kids, std::chrono::milliseconds wait) {
  std::vector<pollfd> fds;
  std::vector<Child*> who;
  for (auto& c : kids)
    if (c.fd >= 0) {
      fds.push_back({c.fd, POLLIN, 0});
      who.push_back(&c);
    }
  if (fds.empty()) {
    std::this_thread::sleep_for(std::min(wait, std::chrono::milliseconds(10)));  // a child that closed early
    return;
  }
  if (::poll(fds.data(), fds.size(), static_cast<int>(wait.count())) <= 0) return;  // EINTR: a signal
  for (size_t i = 0; i < fds.size(); ++i) {
    if (!fds[i].revents) continue;
    Child& c = *who[i];
    char buf[16384];
    ssize_t n = ::read(c.fd, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      c.close_fd();
      continue;
    }
    c.answer->out.append(buf, static_cast<size_t>(n));
    if (c.answer->out.size() > max_out_) {
      c.answer->why = name_ + "'s answer is too long";
      c.kill_all();
    }
  }
}

// Collects the children that ended; block_briefly gives the killed ones
// 100 ms.  One stuck in the kernel (a hung disk) is left behind.
void ChildRuns::reap(std::vector<Child>& kids, bool block_briefly) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(block_briefly ? 100 : 0);
  for (;;) {
    bool left = false;
    for (auto& c : kids) {
      int st = 0;
      if (c.pid <= 0 || ::waitpid(c.pid, &st, WNOHANG) != c.pid) {
        left |= c.pid > 0;
        continue;
      }
      if (c.fd >= 0) ::kill(-c.pid, SIGKILL);  // what it left behind holds the pipe open: its answer is complete
      c.pid = -1;
      if (!c.answer->why.empty()) continue;
      if (WIFEXITED(st)) {
        c.answer->ended = true;
        c.answer->status = WEXITSTATUS(st);
      } else {
        c.answer->why = toolframe::fmt("%s was killed by signal %d", name_.c_str(), WTERMSIG(st));
      }
    }
    if (!left || std::chrono::steady_clock::now() >= until) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool ChildRuns::ask(const std::vector<std::string>& paths, std::vector<ChildAnswer>& answers) {
  answers.assign(paths.size(), ChildAnswer{});
  std::vector<Child> kids(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    kids[i].answer = &answers[i];
    if (!toolframe::g_signalled) start(paths[i], kids[i]);
  }
  const auto until = std::chrono::steady_clock::now() + limit_;
  auto busy = [&] {
    for (auto& c : kids)
      if (c.pid > 0 || c.fd >= 0) return true;
    return false;
  };
  while (busy() && !toolframe::g_signalled && std::chrono::steady_clock::now() < until) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    pump(kids, std::clamp(left, std::chrono::milliseconds(1), std::chrono::milliseconds(100)));
    reap(kids, false);
  }
  for (auto& c : kids) {
    if (c.pid <= 0) continue;  // ended: what it wrote is its answer, even if its pipe is still open
    if (c.answer->why.empty())
      c.answer->why = toolframe::fmt("%s gave no answer within %lld s", name_.c_str(), static_cast<long long>(limit_.count() / 1000));
    c.kill_all();
  }
  reap(kids, true);
  for (auto& c : kids) c.close_fd();
  return !toolframe::g_signalled;
}

}  // namespace diskburn
