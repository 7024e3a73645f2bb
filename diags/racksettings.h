// The settings of an unattended run, read from the environment (on the
// medium they come from the kernel command line as rundiags.NAME=value).
#pragma once

#include <functional>
#include <string>
#include <vector>

enum class RackStep { BASIC, ADVANCED, BURNIN, COPY };
enum class AtEnd { STAY, POWEROFF, REBOOT };

struct RackSettings {
    std::vector<RackStep> steps;          // RUNDIAGS_STEPS; empty: no automation
    long long burnin_seconds = -1;        // RUNDIAGS_BURNIN_TIME; -1: until stopped
    AtEnd at_end = AtEnd::STAY;           // RUNDIAGS_AT_END
    int countdown = 10;                   // RUNDIAGS_COUNTDOWN, seconds per question
    std::string results;                  // RUNDIAGS_RESULTS
    std::string state_file;               // RUNDIAGS_STATE_FILE
    // What went wrong, each naming its setting: the automation does not start.
    std::vector<std::string> errors;

    bool automatic() const { return !steps.empty() && errors.empty(); }
};

// The words that let a burn-in destroy disks with no one at the console.
constexpr const char *destroy_words = "every-disk-but-the-boot-device";

using EnvReader = std::function<const char *(const char *)>;
RackSettings read_rack_settings(const EnvReader &env);
const char *rack_step_name(RackStep s);
