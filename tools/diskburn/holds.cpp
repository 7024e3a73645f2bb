// diskburn: see holds.h.

#include "holds.h"

#include <chrono>

#include "childruns.h"
#include "sysroot.h"
#include "toolframe/protocol.h"
#include "toolframe/util.h"
#include "topology.h"

namespace diskburn {

namespace {
constexpr auto kProbeTime = std::chrono::seconds(10);
constexpr size_t kProbeOutput = 64 << 10;
// Room for the rest of the line: a disk with a hundred partitions is
// named with its first ones and a count of the others.
constexpr size_t kLineRoom = 900;

// KEY=value lines, blanks and other bytes in values escaped with '\'.
std::map<std::string, std::string> parse_export(const std::string& out) {
  std::map<std::string, std::string> tags;
  for (auto& line : toolframe::split(out, '\n')) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string v;
    for (size_t i = eq + 1; i < line.size(); ++i) v += line[i] == '\\' && i + 1 < line.size() ? line[++i] : line[i];
    tags[line.substr(0, eq)] = v;
  }
  return tags;
}

// "sda1 ext4 "data"", or nothing when no filesystem was recognised.
std::optional<std::string> filesystem(const std::string& name, const std::map<std::string, std::string>& tags) {
  auto type = tags.find("TYPE");
  if (type == tags.end()) return std::nullopt;
  std::string item = name + " " + printable(type->second, 32);
  if (auto l = tags.find("LABEL"); l != tags.end() && !l->second.empty())
    item += " \"" + printable(l->second, 64) + "\"";
  return item;
}
}  // namespace

std::optional<std::map<std::string, std::string>> probe(const std::string& path) {
  static const std::string blkid = ChildRuns::find("blkid");
  if (blkid.empty()) return std::nullopt;
  std::vector<ChildAnswer> answers;
  if (!ChildRuns("blkid", blkid, {"-p", "-o", "export"}, kProbeTime, kProbeOutput).ask({path}, answers) ||
      !answers[0].ended)
    return std::nullopt;
  // blkid says 2 when it recognises nothing.
  return answers[0].status == 0 ? parse_export(answers[0].out) : std::map<std::string, std::string>{};
}

std::string holds_line(const Target& t, const std::string& node, DevNodes& nodes) {
  if (t.is_block && !may_open(t.dev)) return toolframe::disk_holds(t.name, "not known (not read)");
  auto whole = probe(node);
  if (!whole) return toolframe::disk_holds(t.name, "not known (blkid could not be run)");
  std::vector<std::string> items;
  if (auto pt = whole->find("PTTYPE"); pt != whole->end())
    items.push_back(printable(pt->second, 32) + " partition table");
  if (auto fs = filesystem(t.name, *whole)) items.push_back(*fs);
  if (t.is_block)
    for (auto& [part, dev] : Topology({}).partitions(t.name)) {
      std::string why;
      auto pnode = dev ? nodes.node(part, dev, why) : std::nullopt;
      auto tags = pnode ? probe(*pnode) : std::nullopt;
      if (auto fs = tags ? filesystem(part, *tags) : std::nullopt) items.push_back(*fs);
    }
  std::string list;
  for (size_t i = 0; i < items.size(); ++i) {
    if (list.size() + items[i].size() > kLineRoom) {
      list += fmt(", and %zu more", items.size() - i);
      break;
    }
    list += (i ? ", " : "") + items[i];
  }
  return toolframe::disk_holds(t.name, list);
}

}  // namespace diskburn
