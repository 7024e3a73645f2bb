// A directory of its own under /tmp for one test, removed with all it
// holds (FIFOs and device nodes too) when the test is done.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace burntest {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix) {
    std::string t = "/tmp/" + prefix + ".XXXXXX";
    if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp");
    path_ = t;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace burntest
