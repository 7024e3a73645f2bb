// Interpretation of the hardware probe's result lines into a summary.
#pragma once

#include "oxstring.h"

struct CompatResult {
    OxString cpu, memory, video, scsi, disks, network, serial, parallel;
    OxString category;       // category word of the last device line
    OxString description;    // description of the last device line
    int cpucount = 0;        // status lines read while the category was "CPU"
};

// Adds text to field when stat begins with "SUPPORTED".
void addstr(OxString &field, const OxFastString &text, const OxFastString &stat);
// Adds NONE in the alert colour when flag is set.
void addnone(OxString &field, bool flag);
// The short name of a device description.
OxString shortname(const OxFastString &description);
// The device name of a disk description ("model - sda (500 GB)" gives "sda").
OxString diskname(const OxFastString &description);

void compat_clear(CompatResult &r);
// Interprets one output line (without its newline).
void compat_line(CompatResult &r, const OxString &line);
// Marks the empty fields once the probe's output has ended.
void compat_close(CompatResult &r);
// The CPU and memory texts of the summary's first row.
OxString compat_cputext(const CompatResult &r);
OxString compat_memtext(const CompatResult &r);
// Prints the seven summary rows at the console cursor (the focused test window).
void compat_drawsummary(const CompatResult &r);
