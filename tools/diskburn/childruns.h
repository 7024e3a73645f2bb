// diskburn: asks a program (smartctl, blkid) about several disks at once.
// A disk that hangs must not hang the pass, and a stop must stay prompt:
// every question has one time limit, the answers are bounded, and a stop
// signal kills what is still running at once.  The program runs without a
// shell, in a process group of its own (so what it starts dies with it),
// with standard input and error on /dev/null and no descriptor of ours but
// its output pipe.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace diskburn {

// What came back for one disk.
struct ChildAnswer {
  bool ended = false;  // it ended by itself, output within bounds
  int status = -1;     // its exit status, when it ended
  std::string out;     // standard output
  std::string why;     // otherwise: why there is no answer
};

class ChildRuns {
 public:
  // name: what the reasons call it; program: an absolute path; args go
  // before each disk's path.
  ChildRuns(std::string name, std::string program, std::vector<std::string> args,
            std::chrono::milliseconds limit, size_t max_out)
      : program_(std::move(program)),
        name_(std::move(name)),
        args_(std::move(args)),
        limit_(limit),
        max_out_(max_out) {}

  // One answer per path, in order.  False if a stop signal came first: then
  // whatever still ran is killed and the answers are incomplete.
  bool ask(const std::vector<std::string>& paths, std::vector<ChildAnswer>& answers);

  // The program a name stands for: as it is if it holds a '/', else the
  // first executable of that name in $PATH, /usr/sbin or /sbin; "" if none.
  static std::string find(const std::string& name);

 private:
  struct Child;
  bool start(const std::string& path, Child& c);
  void pump(std::vector<Child>& kids, std::chrono::milliseconds wait);
  void reap(std::vector<Child>& kids, bool block_briefly);

  std::string program_;
  std::string name_;  // as the reasons name it
  std::vector<std::string> args_;
  std::chrono::milliseconds limit_;
  size_t max_out_;
};

}  // namespace diskburn
