// diskburn: see describe.h.

#include "describe.h"

#include <cctype>
#include <cstdlib>

#include "sysroot.h"
#include "toolframe/readfile.h"
#include "topology.h"

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

constexpr size_t kNameMax = 48;

// Sysfs text as a disk's name shows it: control bytes count as blanks, runs
// of blanks become one and none is left at either end, other bytes outside
// printable ASCII show as '?'; "" when nothing else than blanks and '?'.
std::string name_text(const std::string& raw) {
  std::string s;
  for (unsigned char c : raw) {
    if (c <= ' ' || c == 0x7f) {
      if (!s.empty() && s.back() != ' ') s += ' ';
    } else {
      s += c < 0x7f ? static_cast<char>(c) : '?';
    }
  }
  if (!s.empty() && s.back() == ' ') s.pop_back();
  return s.find_first_not_of(" ?") == std::string::npos ? "" : s;
}

std::string pci_vendor(std::string number) {
  for (auto& c : number) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return number == "0x1af4" ? "Virtio" : "";
}
}  // namespace

// The disk naming rule that makefloppy's record follows too (see "How a
// disk is named" in docs/diskburn.md).
std::string disk_model(const std::string& name) {
  std::string base = rooted("/sys/block/" + name);
  std::string bf = loop_backing_path(base);
  if (!bf.empty()) return "loop device on " + printable(bf);
  std::string vendor = name_text(attr(base + "/device/vendor").value_or(""));
  std::string model = name_text(attr(base + "/device/model").value_or(""));
  if (model.empty()) model = name_text(attr(base + "/device/name").value_or(""));  // MMC
  if (vendor.size() == 6 && vendor.compare(0, 2, "0x") == 0 &&
      vendor.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos) {
    // A PCI vendor number (virtio): a name only when it is a known one.
    vendor = pci_vendor(vendor);
    if (!vendor.empty() && model.empty()) model = "disk";
  }
  if (vendor == "ATA") vendor.clear();  // what libata puts in every SATA disk's SCSI vendor field
  std::string s = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
  if (s.empty()) return "unknown model";
  return s.size() > kNameMax ? s.substr(0, kNameMax - 3) + "..." : s;
}

std::string disk_serial(const std::string& name) {
  std::string base = rooted("/sys/block/" + name);
  for (const char* f : {"/device/serial", "/serial"})
    if (auto s = shown(base + f)) return *s;
  // SCSI and SATA disks: the unit serial number VPD page (4-byte header).
  if (auto v = toolframe::read_file(base + "/device/vpd_pg80", 4096); v && v->size() > 4) {
    std::string s;
    for (char c : v->substr(4))
      if (c > ' ' && c < 127) s += c;
    if (!s.empty()) return printable(s);
  }
  return "unknown";
}

std::string disk_wwid(const std::string& name) {
  std::string base = rooted("/sys/block/" + name);
  for (const char* f : {"/device/wwid", "/wwid"})
    if (auto w = shown(base + f)) return *w;
  return "";
}

std::optional<uint64_t> disk_bytes(const std::string& name) {
  auto sz = attr(rooted("/sys/block/" + name + "/size"));
  if (!sz || sz->empty()) return std::nullopt;
  if (sz->size() > 20 || sz->find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  unsigned long long sectors = std::strtoull(sz->c_str(), nullptr, 10);
  if (sectors > UINT64_MAX / 512) return std::nullopt;
  return static_cast<uint64_t>(sectors) * 512;
}

}  // namespace diskburn
