// diskburn: see smartread.h.

#include "smartread.h"

#include <array>
#include <cinttypes>

#include "jsonscan.h"
#include "toolframe/util.h"

namespace diskburn {

namespace {
struct Wanted {
  const char* name;
  SmartCounter::Rule rule;
};

constexpr std::array<std::pair<uint64_t, Wanted>, 4> kAta{{
    {5, {"reallocated sectors", SmartCounter::kMustNotGrow}},
    {197, {"pending sectors", SmartCounter::kMustNotGrow}},
    {198, {"offline uncorrectable sectors", SmartCounter::kMustNotGrow}},
    {199, {"UDMA CRC errors", SmartCounter::kMustNotGrow}},
}};

// Paths below the top level, with "*" for any array position.
struct Named {
  std::array<std::string_view, 3> path;
  Wanted what;
};
constexpr std::array<Named, 8> kNamed{{
    {{"nvme_smart_health_information_log", "media_errors", ""}, {"media errors", SmartCounter::kMustNotGrow}},
    {{"nvme_smart_health_information_log", "critical_warning", ""}, {"critical warning", SmartCounter::kMustBeZero}},
    {{"nvme_smart_health_information_log", "available_spare", ""}, {"available spare", SmartCounter::kThreshold}},
    {{"nvme_smart_health_information_log", "available_spare_threshold", ""}, {"", SmartCounter::kThreshold}},
    {{"scsi_grown_defect_list", "", ""}, {"grown defects", SmartCounter::kMustNotGrow}},
    {{"scsi_error_counter_log", "read", "total_uncorrected_errors"}, {"uncorrected read errors", SmartCounter::kMustNotGrow}},
    {{"scsi_error_counter_log", "write", "total_uncorrected_errors"}, {"uncorrected write errors", SmartCounter::kMustNotGrow}},
    {{"scsi_error_counter_log", "verify", "total_uncorrected_errors"}, {"uncorrected verify errors", SmartCounter::kMustNotGrow}},
}};

// Collects the values of the paths above; the ATA table row by row (an
// answer may hold each row's "id" before or after its "raw" value).
struct Collect {
  static void integer(void* ctx, const JsonStep* p, size_t depth, uint64_t v) {
    static_cast<Collect*>(ctx)->take(p, depth, v);
  }
  void take(const JsonStep* p, size_t depth, uint64_t v) {
    if (depth == 5 && p[0].key == "ata_smart_attributes" && p[1].key == "table" && p[2].key.empty() &&
        p[3].key == "raw" && p[4].key == "value")
      row(p[2].index).raw = v;
    if (depth == 4 && p[0].key == "ata_smart_attributes" && p[1].key == "table" && p[2].key.empty() &&
        p[3].key == "id")
      row(p[2].index).id = v;
    for (size_t i = 0; i < kNamed.size(); ++i) {
      const auto& want = kNamed[i].path;
      size_t n = want[1].empty() ? 1 : want[2].empty() ? 2 : 3;
      bool match = depth == n;
      for (size_t k = 0; match && k < n; ++k) match = p[k].key == want[k];
      if (match) named[i] = v;
    }
  }
  struct Row {
    std::optional<uint64_t> id, raw;
  };
  Row& row(size_t i) { return rows[i < rows.size() ? i : rows.size() - 1]; }
  std::array<Row, 256> rows{};  // the ATA table has at most 30; the last one takes any beyond
  std::array<std::optional<uint64_t>, kNamed.size()> named{};
};
}  // namespace

std::optional<SmartReading> parse_smart(std::string_view json) {
  Collect c;
  if (!JsonScanner(json, &Collect::integer, &c).scan()) return std::nullopt;
  SmartReading r;
  for (const auto& [id, what] : kAta)
    for (size_t i = 0; i + 1 < c.rows.size(); ++i)
      if (c.rows[i].id == id && c.rows[i].raw) {
        r.push_back({what.name, what.rule, *c.rows[i].raw, 0});
        break;
      }
  for (size_t i = 0; i < kNamed.size(); ++i) {
    const Wanted& w = kNamed[i].what;
    if (!c.named[i] || !*w.name) continue;
    SmartCounter s{w.name, w.rule, *c.named[i], 0};
    if (w.rule == SmartCounter::kThreshold) {
      if (!c.named[i + 1]) continue;  // a spare means nothing without its threshold
      s.floor = *c.named[i + 1];
    }
    r.push_back(s);
  }
  if (r.empty()) return std::nullopt;
  return r;
}

namespace {
std::string shown(const SmartCounter& c, uint64_t v) {
  switch (c.rule) {
    case SmartCounter::kMustBeZero: return toolframe::fmt("0x%02" PRIx64, v);
    case SmartCounter::kThreshold: return toolframe::fmt("%" PRIu64 "%%", v);
    default: return toolframe::fmt("%" PRIu64, v);
  }
}
}  // namespace

std::string smart_summary(const SmartReading& r) {
  std::string s;
  for (const auto& c : r) {
    s += (s.empty() ? "" : ", ") + std::string(c.name) + " " + shown(c, c.value);
    if (c.rule == SmartCounter::kThreshold) s += toolframe::fmt(" (threshold %" PRIu64 "%%)", c.floor);
  }
  return s;
}

std::optional<std::string> smart_judge(const SmartReading& start, const SmartReading& end) {
  for (const auto& e : end) {
    std::optional<uint64_t> before;
    for (const auto& s : start)
      if (std::string_view(s.name) == e.name) before = s.value;
    if (!before) continue;  // only what both readings hold is compared
    const char* what = nullptr;
    if (e.rule == SmartCounter::kMustNotGrow && e.value > *before) what = "grew";
    if (e.rule == SmartCounter::kMustBeZero && e.value != 0) what = "set";
    std::string below = toolframe::fmt("below its threshold of %" PRIu64 "%%", e.floor);
    if (e.rule == SmartCounter::kThreshold && e.value < e.floor) what = below.c_str();
    if (what)
      return toolframe::fmt("%s %s, %s at the start of the pass, %s at its end", e.name, what,
                         shown(e, *before).c_str(), shown(e, e.value).c_str());
  }
  return std::nullopt;
}

}  // namespace diskburn
