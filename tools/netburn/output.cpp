// netburn: see output.h.

#include "output.h"

#include <unistd.h>

#include <cerrno>

#include "toolio.h"

namespace netburn::out {

namespace {

bool write_line(const std::string& text, bool droppable) {
  const std::string line = text + '\n';
  size_t done = 0;
  while (done < line.size()) {
    ssize_t n = ::write(STDOUT_FILENO, line.data() + done, line.size() - done);
    if (n >= 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (errno != EINTR) return true;  // reader gone: nothing left to do with it
    // Once part of a line is out, the rest must follow or the next line tears.
    if (droppable && done == 0 && toolio::g_signalled.load()) return false;
  }
  return true;
}

}  // namespace

void message(const std::string& line) { write_line(line, false); }

bool status(const std::string& line) { return write_line(line, true); }

}  // namespace netburn::out
