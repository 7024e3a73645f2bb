// The unattended run's settings: what each accepts, and the first words of
// the error that names it.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "racksettings.h"

namespace {

struct Row {
    std::map<std::string, std::string> env;
    size_t steps;
    long long seconds;
    const char *error;   // "" : none
};

const std::string yes = destroy_words;

const Row rows[] = {
    {{}, 0, -1, ""},
    {{{"RUNDIAGS_STEPS", "basic,advanced,copy"}}, 3, -1, ""},
    {{{"RUNDIAGS_STEPS", "advanced,,copy"}}, 2, -1, "RUNDIAGS_STEPS: \"\" is no step"},
    {{{"RUNDIAGS_STEPS", "memtest"}}, 0, -1, "RUNDIAGS_STEPS: \"memtest\" is no step"},
    {{{"RUNDIAGS_BURNIN_TIME", "90"}}, 0, 5400, ""},
    {{{"RUNDIAGS_BURNIN_TIME", "12h"}}, 0, 43200, ""},
    {{{"RUNDIAGS_BURNIN_TIME", "1.5h"}}, 0, -1, "RUNDIAGS_BURNIN_TIME: \"1.5h\" is not a duration"},
    {{{"RUNDIAGS_BURNIN_TIME", "0s"}}, 0, 0, "RUNDIAGS_BURNIN_TIME: \"0s\""},
    {{{"RUNDIAGS_AT_END", "halt"}}, 0, -1, "RUNDIAGS_AT_END: \"halt\""},
    {{{"RUNDIAGS_COUNTDOWN", "-1"}}, 0, -1, "RUNDIAGS_COUNTDOWN: \"-1\""},
    {{{"RUNDIAGS_RESULTS", "http://10.0.0.1/records/"}}, 0, -1, ""},
    {{{"RUNDIAGS_RESULTS", "ftp://10.0.0.1/records/"}}, 0, -1, "RUNDIAGS_RESULTS: \"ftp://"},
    {{{"RUNDIAGS_RESULTS", "http://h/a b/"}}, 0, -1, "RUNDIAGS_RESULTS:"},
    {{{"RUNDIAGS_STEPS", "burnin"}, {"RUNDIAGS_NETBOOT", "1"}}, 1, -1, "RUNDIAGS_DESTROY:"},
    {{{"RUNDIAGS_STEPS", "burnin"}, {"RUNDIAGS_DESTROY", "yes"}, {"RUNDIAGS_NETBOOT", "1"}}, 1, -1,
     "RUNDIAGS_DESTROY:"},
    {{{"RUNDIAGS_STEPS", "burnin"}, {"RUNDIAGS_DESTROY", yes}}, 1, -1, "DISKBURN_BOOT_DEVICE:"},
    {{{"RUNDIAGS_STEPS", "burnin"}, {"RUNDIAGS_DESTROY", yes}, {"DISKBURN_BOOT_DEVICE", "/dev/sr0"}}, 1, -1, ""},
    {{{"RUNDIAGS_STEPS", "burnin"}, {"RUNDIAGS_DESTROY", yes}, {"RUNDIAGS_NETBOOT", "1"}}, 1, -1, ""},
};

TEST(RackSettings, EachSettingAcceptsItsFormAndNamesItselfWhenWrong)
{
    for (const Row &row : rows) {
        const RackSettings r = read_rack_settings([&](const char *name) -> const char * {
            auto it = row.env.find(name);
            return it == row.env.end() ? nullptr : it->second.c_str();
        });
        const std::string first = r.errors.empty() ? "" : r.errors.front();
        SCOPED_TRACE(first);
        EXPECT_EQ(r.steps.size(), row.steps);
        EXPECT_EQ(r.burnin_seconds, row.seconds);
        EXPECT_EQ(first.compare(0, strlen(row.error), row.error), 0);
        EXPECT_EQ(r.errors.empty(), *row.error == 0);
        EXPECT_EQ(r.automatic(), row.steps > 0 && r.errors.empty());
    }
}

} // namespace
