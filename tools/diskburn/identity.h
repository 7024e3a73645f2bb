// diskburn: what makes two entries one disk, and how a disk is known again
// in a later pass.  A disk is known by its WWID; without one, by its serial
// number together with its size; without either, by where it sits in sysfs
// (bus, host and port: a stick plugged in again gets a new host number)
// together with its size and model.  Firmware that has no real serial number fills in
// a placeholder ("To Be Filled By O.E.M.", all zeros...), the same on every
// such disk, so a placeholder is no identity at all.
#pragma once

#include <optional>
#include <string>

#include "target.h"

namespace diskburn {

// False for a placeholder serial number (and for "unknown").
bool usable_serial(const std::string& serial);
// False for a placeholder WWID: nothing but zeros (or one repeated
// character) after its type prefix, e.g. naa.0000000000000000.
bool usable_wwid(const std::string& wwid);

// Why b is the same disk as a (one device, or two paths to one LUN), or nothing.
std::optional<std::string> same_disk(const Target& a, const Target& b);
// True when a and b are two paths to one disk, by WWID or serial number.
bool same_identity(const Target& a, const Target& b);

// The key a disk is known by across the passes of one burn-in, e.g.
// "wwid naa.5000c500a1b2c3d4", "serial ZC1234AB 4000787030016",
// "device /devices/pci0000:00/.../block/sdc 4000787030016 MODEL",
// "file /srv/a.img 67108864".  Never contains a tab or a newline.
std::string burn_key(const Target& t);

}  // namespace diskburn
