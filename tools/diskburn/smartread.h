// diskburn: the SMART counters that tell a disk is wearing out, as
// smartctl's JSON answer gives them, and how two readings taken at the
// start and at the end of a pass are judged.
//
//   ATA:  attributes 5, 197, 198 and 199 (raw values): reallocated,
//         pending and offline-uncorrectable sectors, UDMA CRC errors.
//   NVMe: the health log's media errors, critical warning, and available
//         spare against its threshold.
//   SCSI: the grown defect list and the uncorrected read, write and
//         verify errors of the error counter log.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace diskburn {

struct SmartCounter {
  enum Rule {
    kMustNotGrow,  // a count of defects
    kMustBeZero,   // NVMe critical warning: shown in hex
    kThreshold,    // NVMe available spare: a percentage, never below `floor`
  };
  const char* name = "";
  Rule rule = kMustNotGrow;
  uint64_t value = 0;
  uint64_t floor = 0;
};

using SmartReading = std::vector<SmartCounter>;

// The counters in a smartctl -j answer; nothing if it holds none or is no
// JSON at all.
std::optional<SmartReading> parse_smart(std::string_view json);

// "reallocated sectors 0, pending sectors 0" / "critical warning 0x00" /
// "available spare 100% (threshold 10%)".
std::string smart_summary(const SmartReading& r);

// What makes the end reading a failure against the start one ("pending
// sectors grew, 0 at the start of the pass, 3 at its end"), for the first
// counter that does; nothing if the disk held up.
std::optional<std::string> smart_judge(const SmartReading& start, const SmartReading& end);

}  // namespace diskburn
