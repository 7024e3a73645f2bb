// diskburn: what the messages say about a disk -- model, serial number,
// WWID, size -- read from sysfs with whatever is missing, unreadable or odd
// there described as unknown rather than trusted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace diskburn {

std::string disk_model(const std::string& name);
// "unknown" when sysfs gives none.
std::string disk_serial(const std::string& name);
// The world-wide identifier, "" when sysfs gives none.
std::string disk_wwid(const std::string& name);
// Bytes, from the 512-byte sector count in sysfs.
std::optional<uint64_t> disk_bytes(const std::string& name);

}  // namespace diskburn
