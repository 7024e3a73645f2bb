// diskburn: see identity.h.

#include "identity.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>

#include "sysroot.h"

namespace diskburn {

namespace {
std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Nothing but one character, over and over, once blanks and separators
// are set aside: "00000000", "FFFF FFFF", "----", "?".
bool one_repeated(const std::string& s) {
  std::string t;
  for (char c : s)
    if (c != ' ' && c != '-' && c != '.' && c != '_' && c != ':') t += static_cast<char>(std::tolower(c));
  return t.find_first_not_of(t.empty() ? '\0' : t[0]) == std::string::npos;
}
}  // namespace

bool usable_serial(const std::string& serial) {
  static const char* const kPlaceholders[] = {
      "unknown",
      "to be filled by o.e.m.",
      "default string",
      "none",
      "not specified",
      "not available",
      "n/a",
      "na",
      "serial",
      "serial number",
      "system serial number",
      "0123456789",
      "123456789",
      "1234567890",
      "empty",
      "null",
      "undefined",
  };
  if (one_repeated(serial)) return false;
  std::string s = lower(serial);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(0, 1);
  return std::none_of(std::begin(kPlaceholders), std::end(kPlaceholders), [&](const char* p) { return s == p; });
}

bool usable_wwid(const std::string& wwid) {
  size_t dot = wwid.find('.');
  std::string body = dot == std::string::npos || dot > 5 ? wwid : wwid.substr(dot + 1);
  if (body.rfind("0x", 0) == 0) body = body.substr(2);
  return !one_repeated(body);
}

bool same_identity(const Target& a, const Target& b) {
  if (!a.is_block || !b.is_block) return false;
  if (usable_wwid(a.wwid) && usable_wwid(b.wwid)) return a.wwid == b.wwid;
  return usable_serial(a.serial) && a.serial == b.serial;
}

std::optional<std::string> same_disk(const Target& a, const Target& b) {
  if (a.is_block != b.is_block) return std::nullopt;
  if (!a.is_block) {
    if (a.dev == b.dev && a.ino == b.ino) return "the same file as " + a.name;
    return std::nullopt;
  }
  if (a.dev == b.dev) return "the same device as " + a.name;
  if (!same_identity(a, b)) return std::nullopt;
  if (usable_wwid(a.wwid) && usable_wwid(b.wwid)) return "same WWID as " + a.name + " (another path to one disk)";
  return "same serial number as " + a.name + " (another path to one disk)";
}

std::string burn_key(const Target& t) {
  std::string size = fmt("%" PRIu64, t.sysfs_size);
  if (!t.is_block) return "file " + printable(t.name, 4000) + " " + size;
  if (usable_wwid(t.wwid)) return "wwid " + t.wwid;
  if (usable_serial(t.serial)) return "serial " + t.serial + " " + size;
  return "device " + printable(t.sysfs_path, 4000) + " " + size + " " + t.model;
}

}  // namespace diskburn
