// diskburn's SMART readings: smartctl's JSON answers of each kind of disk,
// and answers that are garbage, cut short or huge; how two readings are
// judged; and how smartctl is run (time limit, bounded answer, nothing of
// ours inherited).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "childruns.h"
#include "smartread.h"

namespace {

using namespace diskburn;

const std::string kAta = R"({"json_format_version":[1,0],"smartctl":{"version":[7,3],"exit_status":0},
 "device":{"name":"/dev/sda","type":"sat","protocol":"ATA"},
 "ata_smart_attributes":{"revision":16,"table":[
  {"id":1,"name":"Raw_Read_Error_Rate","value":200,"raw":{"value":12,"string":"12"}},
  {"id":5,"name":"Reallocated_Sector_Ct","value":100,"flags":{"value":51,"string":"PO--CK \"x\"\\ \u00e9"},
   "raw":{"value":8,"string":"8"}},
  {"id":9,"name":"Power_On_Hours","raw":{"value":1234,"string":"1234"}},
  {"raw":{"value":2,"string":"2"},"id":197,"name":"Current_Pending_Sector"},
  {"id":198,"name":"Offline_Uncorrectable","raw":{"value":0,"string":"0"}},
  {"id":199,"name":"UDMA_CRC_Error_Count","raw":{"value":1.5e3,"string":"1500"}}]},
 "temperature":{"current":-3}})";

const std::string kNvme = R"({"device":{"name":"/dev/nvme0","type":"nvme","protocol":"NVMe"},
 "smart_status":{"passed":true,"nvme":{"value":0}},
 "nvme_smart_health_information_log":{"critical_warning":4,"temperature":35,"available_spare":9,
  "available_spare_threshold":10,"percentage_used":3,"data_units_read":18446744073709551615,
  "media_errors":0,"num_err_log_entries":12}})";

const std::string kScsi = R"({"device":{"name":"/dev/sdc","type":"scsi","protocol":"SCSI"},
 "scsi_grown_defect_list":3,
 "scsi_error_counter_log":{"read":{"errors_corrected_by_eccfast":0,"total_uncorrected_errors":0},
  "write":{"total_uncorrected_errors":1},"verify":{"total_uncorrected_errors":18446744073709551616}}})";

struct ParseCase {
  const char* name;
  std::string json;
  std::optional<std::string> summary;  // nothing: no reading
};

TEST(DiskburnSmart, ReadsTheCountersOfEachKindAndNothingFromBadAnswers) {
  std::string deep(100000, '[');
  std::string wide = R"({"scsi_grown_defect_list":7,"x":[)";
  for (int i = 0; i < 200000; ++i) wide += "1,";
  wide += "1]}";
  const std::vector<ParseCase> cases{
      {"ATA, id after or before raw, non-integers skipped", kAta,
       "reallocated sectors 8, pending sectors 2, offline uncorrectable sectors 0"},
      {"NVMe", kNvme, "media errors 0, critical warning 0x04, available spare 9% (threshold 10%)"},
      {"NVMe spare without a threshold", R"({"nvme_smart_health_information_log":{"available_spare":9}})",
       std::nullopt},
      {"SCSI, an overflowing count skipped", kScsi,
       "grown defects 3, uncorrected read errors 0, uncorrected write errors 1"},
      {"counters at other places", R"({"media_errors":1,"x":{"scsi_grown_defect_list":2},
        "ata_smart_attributes":{"table":{"id":5,"raw":{"value":1}}}})", std::nullopt},
      {"no counters", R"({"smartctl":{"exit_status":2},"messages":[{"string":"open failed"}]})", std::nullopt},
      {"not JSON", "Smartctl open device: /dev/sda failed: No such device\n", std::nullopt},
      {"cut short", kAta.substr(0, kAta.size() / 2), std::nullopt},
      {"cut inside an escape", R"({"scsi_grown_defect_list":1,"a":"\u00)", std::nullopt},
      {"trailing garbage", kScsi + "}", std::nullopt},
      {"raw control byte", "{\"scsi_grown_defect_list\":1,\"a\":\"\x01\"}", std::nullopt},
      {"nested too deep", deep, std::nullopt},
      {"deep but within bounds", R"({"scsi_grown_defect_list":4,"a":[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[0]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]})",
       "grown defects 4"},
      {"huge", wide, "grown defects 7"},
  };
  for (const auto& c : cases) {
    auto r = parse_smart(c.json);
    EXPECT_EQ(r.has_value(), c.summary.has_value()) << c.name;
    if (r && c.summary) {
      EXPECT_EQ(smart_summary(*r), *c.summary) << c.name;
    }
  }
  // Every cut and every changed byte of the good answers: never a crash.
  for (const std::string& good : {kAta, kNvme, kScsi})
    for (size_t i = 0; i < good.size(); ++i) {
      parse_smart(std::string_view(good).substr(0, i));
      std::string bad = good;
      for (char b : {'\0', '"', '{', ']', '\\', '9', '-'}) {
        bad[i] = b;
        parse_smart(bad);
      }
    }
}

struct JudgeCase {
  const char* name;
  SmartReading start, end;
  std::optional<std::string> failure;
};

TEST(DiskburnSmart, FailsWhatGrewOrWarns) {
  using C = SmartCounter;
  const C realloc0{"reallocated sectors", C::kMustNotGrow, 0, 0}, realloc8{"reallocated sectors", C::kMustNotGrow, 8, 0};
  const C pend3{"pending sectors", C::kMustNotGrow, 3, 0}, pend1{"pending sectors", C::kMustNotGrow, 1, 0};
  const C warn0{"critical warning", C::kMustBeZero, 0, 0}, warn4{"critical warning", C::kMustBeZero, 4, 0};
  const C spare12{"available spare", C::kThreshold, 12, 10}, spare5{"available spare", C::kThreshold, 5, 10};
  const std::vector<JudgeCase> cases{
      {"unchanged", {realloc8, warn0, spare12}, {realloc8, warn0, spare12}, std::nullopt},
      {"a count that fell", {pend3}, {pend1}, std::nullopt},
      {"grew", {realloc0, pend1}, {realloc8, pend3}, "reallocated sectors grew, 0 at the start of the pass, 8 at its end"},
      {"only in the end reading", {pend1}, {realloc8, pend1}, std::nullopt},
      {"warning set", {warn0}, {warn4}, "critical warning set, 0x00 at the start of the pass, 0x04 at its end"},
      {"warning still set", {warn4}, {warn4}, "critical warning set, 0x04 at the start of the pass, 0x04 at its end"},
      {"spare below threshold", {spare12}, {spare5},
       "available spare below its threshold of 10%, 12% at the start of the pass, 5% at its end"},
  };
  for (const auto& c : cases) EXPECT_EQ(smart_judge(c.start, c.end), c.failure) << c.name;
}

struct RunCase {
  const char* name;
  const char* script;  // given as the disk's path, which comes last
  bool ended;
  int status;
  const char* out_or_why;
};

// All at once, as the disks are asked: the whole takes the time limit once.
TEST(DiskburnSmart, RunsSmartctlBoundedAndWithNothingOfOurs) {
  int leak = ::open("/dev/null", O_RDONLY);  // without O_CLOEXEC, as another program may leave one
  ASSERT_GE(leak, 3);
  const std::string leaked = "test -e /proc/self/fd/" + std::to_string(leak) + " && echo leaked; echo ok";
  const std::vector<RunCase> cases{
      {"answer and status", "printf '{}'; exit 3", true, 3, "{}"},
      {"nothing inherited", leaked.c_str(), true, 0, "ok\n"},
      {"hung", "exec sleep 30", false, -1, "smartctl gave no answer within 1 s"},
      {"hung, with a child holding the pipe", "sleep 30; echo", false, -1, "smartctl gave no answer within 1 s"},
      {"flood", "exec yes", false, -1, "smartctl's answer is too long"},
      {"killed", "kill -9 $$", false, -1, "smartctl was killed by signal 9"},
  };
  std::vector<std::string> paths;
  for (const auto& c : cases) paths.push_back(c.script);
  std::vector<ChildAnswer> got;
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(ChildRuns("smartctl", "/bin/sh", {"-c", "eval \"$0\""}, std::chrono::seconds(1), 4096).ask(paths, got));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1800));
  ASSERT_EQ(got.size(), cases.size());
  ::close(leak);
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    EXPECT_EQ(got[i].ended, c.ended) << c.name;
    EXPECT_EQ(got[i].status, c.status) << c.name;
    EXPECT_EQ(c.ended ? got[i].out : got[i].why, c.out_or_why) << c.name;
  }
  // Its answer is complete when it ends, whatever it left behind.
  t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(ChildRuns("smartctl", "/bin/sh", {"-c", "sleep 30 & echo hi"}, std::chrono::seconds(20), 4096).ask({"x"}, got));
  EXPECT_EQ(got.at(0).out, "hi\n");
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
  EXPECT_EQ(ChildRuns::find("sh-that-is-not-there"), "");
  EXPECT_EQ(ChildRuns::find("/bin/sh"), "/bin/sh");
  EXPECT_NE(ChildRuns::find("sh"), "");
}

}  // namespace
