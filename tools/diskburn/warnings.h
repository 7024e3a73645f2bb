// diskburn: the warnings the medium's start-up gave the operator (one per
// line in /run/rundiags/warnings), repeated before any disk is named, so
// that whoever confirms the burn-in reads them right above its disks.
#pragma once

#include <string>
#include <vector>

namespace diskburn {

// "Medium warning: <text>" for each line of the file, its control bytes
// blanked; none when there is no such file.
std::vector<std::string> medium_warning_lines();

}  // namespace diskburn
