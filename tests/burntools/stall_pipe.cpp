// Runs a command with its output going into a nearly full pipe that nobody
// reads for a while, the way rundiags leaves a child's pipe alone while the
// operator has a question open.  Then it drains the pipe, passes the
// command's output on, and exits with the command's status.
//
//   stall_pipe SECONDS COMMAND [ARGS...]

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: stall_pipe SECONDS COMMAND [ARGS...]\n");
    return 2;
  }
  int fds[2];
  if (pipe(fds) != 0) return 2;
  int cap = fcntl(fds[1], F_SETPIPE_SZ, 4096);
  if (cap < 0) cap = fcntl(fds[1], F_GETPIPE_SZ);
  // Leave room for a line or two only, so the child blocks early in its run.
  const int prefill = cap - 200;
  std::vector<char> junk(static_cast<size_t>(prefill), 'x');
  if (write(fds[1], junk.data(), junk.size()) != prefill) return 2;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    close(fds[1]);
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  close(fds[1]);
  sleep(static_cast<unsigned>(std::atoi(argv[1])));
  long skip = prefill;
  char buf[65536];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) {
    ssize_t from = 0;
    if (skip > 0) {
      from = n < skip ? n : skip;
      skip -= from;
    }
    if (n > from) fwrite(buf + from, 1, static_cast<size_t>(n - from), stdout);
  }
  fflush(stdout);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
