// What a live run's rows show of one of its helpers.
#pragma once

// The run's own count of the helper's starts (RUNDIAGS_PASS), its first
// failing exit code, and whether it still runs or is due to run again.
struct HelperState {
    bool active = true;
    int code = 0;
    int pass = 1;
};
