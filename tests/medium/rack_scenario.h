// The rack test's unattended run, with what it needs of the other parts of
// rack mode: the program's unattended mode and the medium's uploader.
#pragma once

#include <string>

class Guest;
class Rack;
class ScratchDir;

// What the unattended run still waits for: "" once the medium's program
// reads RUNDIAGS_STEPS and the medium (and the tree, for the machines
// played on the host) carries the uploader.
std::string rack_waits_for(const std::string &source_top);

// The emulated server `machine` (its serial number), booted and running
// unattended, to its whole record on the collector: the collector is
// stopped for 10 s during the burn-in, and two machines played on the host
// (one with a failing port) send theirs meanwhile. Every file arrives
// once, as the machine had it.
void unattended_rack(Guest &g, Rack &rack, const ScratchDir &d, const std::string &machine,
                     const std::string &source_top);
