// diskburn: see burnset.h.

#include "burnset.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "identity.h"
#include "report.h"
#include "sysroot.h"
#include "toolframe/readfile.h"
#include "toolframe/settings.h"
#include "toolframe/util.h"

namespace diskburn {

namespace {
const char kHeader[] = "rundiags diskburn set 1";
constexpr size_t kFileLimit = 4 << 20;

std::string set_path() { return BurnSet::dir() + "/set"; }

// The directory and those above it; the last one made private.
bool make_dirs(const std::string& dir) {
  for (size_t at = 1; at != std::string::npos;) {
    at = dir.find('/', at + 1);
    std::string part = dir.substr(0, at);
    if (::mkdir(part.c_str(), at == std::string::npos ? 0700 : 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool write_all(int fd, const std::string& s) {
  for (size_t done = 0; done < s.size();) {
    ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}
}  // namespace

std::string BurnSet::dir() {
  auto d = toolframe::SettingsReader::text("DISKBURN_STATE_DIR");
  return d && !d->empty() ? *d : "/run/rundiags/diskburn";
}

std::optional<std::string> BurnSet::save(const Targets& targets) {
  std::string text = std::string(kHeader) + "\n";
  for (auto& t : targets) text += burn_key(*t) + "\t" + printable(t->name, 4000) + "\t" + shown_serial(*t) + "\n";
  const std::string path = set_path(), tmp = path + fmt(".new.%ld", static_cast<long>(::getpid()));
  if (!make_dirs(dir())) return dir() + ": " + std::strerror(errno);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return tmp + ": " + std::strerror(errno);
  bool ok = write_all(fd, text) && ::fsync(fd) == 0;
  int err = errno;
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(tmp.c_str(), path.c_str()) == 0) return std::nullopt;
  err = ok ? errno : err;
  ::unlink(tmp.c_str());
  return path + ": " + std::strerror(err);
}

std::optional<std::string> BurnSet::load() {
  const std::string path = set_path();
  auto text = toolframe::read_file(path, kFileLimit);
  if (!text) {
    struct stat st;
    return path + ": " + (::stat(path.c_str(), &st) != 0 ? std::strerror(errno) : "cannot be read");
  }
  auto lines = toolframe::split(*text, '\n');
  if (lines.empty() || lines[0] != kHeader || text->size() >= kFileLimit) return path + ": not a disk set";
  entries_.clear();
  for (size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    auto f = toolframe::split(lines[i], '\t');
    if (f.size() != 3 || f[0].empty()) return path + ": not a disk set";
    entries_.push_back({f[0], f[1], f[2]});
  }
  return std::nullopt;
}

bool BurnSet::has(const std::string& key) const {
  for (auto& e : entries_)
    if (e.key == key) return true;
  return false;
}

std::vector<BurnSet::Entry> BurnSet::gone(const std::set<std::string>& seen) const {
  std::vector<Entry> out;
  for (auto& e : entries_)
    if (!seen.count(e.key)) out.push_back(e);
  return out;
}

}  // namespace diskburn
