// diskburn: see smart.h.

#include "smart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "burnset.h"
#include "childruns.h"
#include "sysroot.h"
#include "toolframe/protocol.h"
#include "toolframe/readfile.h"
#include "toolframe/settings.h"

namespace diskburn {

namespace {
// smartctl answers in well under a second; a disk that takes this long is
// hung, and the pass goes on without its readings.
constexpr std::chrono::seconds kSmartLimit{20};
constexpr size_t kAnswerLimit = 1 << 20;  // a full -x answer is a few hundred kB

// What smartctl is asked: the counters (-A), the health log and the error
// counter log of SCSI disks (-l error), as JSON.
const std::vector<std::string> kArgs{"-j", "-A", "-l", "error"};

// The node smartctl is asked through: /dev/<name> when it is the disk's
// (smartctl tells the kinds of disk apart by that name), else the node the
// disk was opened through if it is still there; a file as it is.
std::string node_for(const Target& t) {
  if (!t.is_block || t.listed) return t.path;
  struct stat st;
  for (const std::string& p : {rooted("/dev/" + t.name), t.path})
    if (::stat(p.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == t.dev) return p;
  return "";
}

std::optional<SmartReading> reading(const ChildAnswer& a, std::string& why) {
  if (!a.ended) {
    why = a.why;
    return std::nullopt;
  }
  auto r = parse_smart(a.out);
  if (!r) why = a.status ? toolframe::fmt("smartctl ended with status %d", a.status) : "smartctl gave no counters";
  return r;
}
}  // namespace

bool SmartWatch::read(const Targets& targets, const char* when, Readings& out) {
  out.assign(targets.size(), std::nullopt);
  const std::string program = ChildRuns::find(toolframe::SettingsReader::text("DISKBURN_SMARTCTL").value_or("smartctl"));
  std::vector<std::string> nodes;
  for (auto& t : targets) nodes.push_back(node_for(*t));
  std::vector<ChildAnswer> answers(targets.size());
  std::vector<std::string> asked;
  for (auto& n : nodes)
    if (!n.empty()) asked.push_back(n);
  if (!program.empty() && !asked.empty()) {
    std::vector<ChildAnswer> got;
    if (!ChildRuns("smartctl", program, kArgs, kSmartLimit, kAnswerLimit).ask(asked, got)) return false;
    for (size_t i = 0, k = 0; i < targets.size(); ++i)
      if (!nodes[i].empty()) answers[i] = std::move(got[k++]);
  }
  for (size_t i = 0; i < targets.size(); ++i) {
    const Target& t = *targets[i];
    std::string why = program.empty() ? "smartctl not found" : nodes[i].empty() ? "no device node" : "";
    if (why.empty()) out[i] = reading(answers[i], why);
    if (out[i])
      say_(toolframe::smart_reading(t.name, when, smart_summary(*out[i])));
    else
      note(t, why);
  }
  return !toolframe::g_signalled;
}

bool SmartWatch::start(const Targets& targets) { return read(targets, "start", start_); }

bool SmartWatch::finish(Targets& targets) {
  Readings end;
  if (!read(targets, "end", end)) return false;
  for (size_t i = 0; i < targets.size() && i < start_.size(); ++i) {
    if (!start_[i] || !end[i]) continue;
    if (auto bad = smart_judge(*start_[i], *end[i]))
      targets[i]->fail(kExitSmart, toolframe::smart_failed(targets[i]->name, *bad));
  }
  return true;
}

// Once per burn-in for each disk: the later passes' runs find its name in
// the state file.  Where that file cannot be kept, the note comes each pass.
void SmartWatch::note(const Target& t, const std::string& why) {
  const std::string file = BurnSet::dir() + "/smart-noted";  // made by the disk set's first pass
  const std::string key = printable(t.name, 4000) + "\n";
  auto seen = toolframe::read_file(file, 1 << 20);
  if (seen && ("\n" + *seen).find("\n" + key) != std::string::npos) return;
  int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd >= 0) {
    [[maybe_unused]] ssize_t n = ::write(fd, key.data(), key.size());
    ::close(fd);
  }
  say_(toolframe::smart_unread(t.name, why));
}

}  // namespace diskburn
