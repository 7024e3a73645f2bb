// diskburn: see describe.h.

#include "describe.h"

#include <cstdlib>

#include "sysroot.h"
#include "topology.h"
#include "toolio.h"

namespace diskburn {

namespace {
// An attribute as message text: printable, and nothing if it holds nothing
// worth showing.
std::optional<std::string> shown(const std::string& full_path) {
  auto v = attr(full_path);
  if (!v) return std::nullopt;
  std::string s = printable(*v);
  if (s.find_first_not_of(" ?") == std::string::npos) return std::nullopt;
  return s;
}
}  // namespace

std::string disk_model(const std::string& name) {
  std::string base = sys("/sys/block/" + name);
  std::string bf = loop_backing_path(base);
  if (!bf.empty()) return "loop device on " + printable(bf);
  std::string vendor = shown(base + "/device/vendor").value_or("");
  std::string model = shown(base + "/device/model").value_or("");
  if (vendor == "ATA") vendor.clear();
  std::string s = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
  return s.empty() ? "unknown model" : s;
}

std::string disk_serial(const std::string& name) {
  std::string base = sys("/sys/block/" + name);
  for (const char* f : {"/device/serial", "/serial"})
    if (auto s = shown(base + f)) return *s;
  // SCSI and SATA disks: the unit serial number VPD page (4-byte header).
  if (auto v = toolio::read_file(base + "/device/vpd_pg80", 4096); v && v->size() > 4) {
    std::string s;
    for (char c : v->substr(4))
      if (c > ' ' && c < 127) s += c;
    if (!s.empty()) return printable(s);
  }
  return "unknown";
}

std::string disk_wwid(const std::string& name) {
  std::string base = sys("/sys/block/" + name);
  for (const char* f : {"/device/wwid", "/wwid"})
    if (auto w = shown(base + f)) return *w;
  return "";
}

std::optional<uint64_t> disk_bytes(const std::string& name) {
  auto sz = attr(sys("/sys/block/" + name + "/size"));
  if (!sz || sz->empty()) return std::nullopt;
  if (sz->size() > 20 || sz->find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  unsigned long long sectors = std::strtoull(sz->c_str(), nullptr, 10);
  if (sectors > UINT64_MAX / 512) return std::nullopt;
  return static_cast<uint64_t>(sectors) * 512;
}

}  // namespace diskburn
