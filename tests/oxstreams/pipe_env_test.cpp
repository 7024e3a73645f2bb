// Variables given to a pipe reach its child only, replacing inherited ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "childtools.h"

namespace {

TEST(OxPipeEnv, AddsAndReplacesVariablesForTheChildOnly)
{
    ScriptDir d;
    setenv("OXTEST_KEEP", "kept", 1);
    setenv("OXTEST_PASS", "77", 1);
    setenv("OXTEST_PASSWORD", "same beginning", 1);
    d.script("showenv", "env | grep '^OXTEST_' | sort");
    const char *const argv[] = {"showenv", nullptr};
    const char *const env[] = {"OXTEST_PASS=3", "OXTEST_NEW=x y", nullptr};
    OxPipe p(OxPipe::reading("showenv", argv, env));
    EXPECT_EQ(drain_lines(p), (std::vector<std::string>{"OXTEST_KEEP=kept", "OXTEST_NEW=x y", "OXTEST_PASS=3",
                                                        "OXTEST_PASSWORD=same beginning"}));
    EXPECT_STREQ(getenv("OXTEST_PASS"), "77");
    EXPECT_EQ(getenv("OXTEST_NEW"), nullptr);
    for (const char *name : {"OXTEST_KEEP", "OXTEST_PASS", "OXTEST_PASSWORD"})
        unsetenv(name);
}

TEST(OxPipeEnv, WithoutVariablesTheChildInheritsOurs)
{
    ScriptDir d;
    setenv("OXTEST_KEEP", "kept", 1);
    d.script("showenv", "env | grep '^OXTEST_' | sort");
    std::unique_ptr<OxPipe> p(start("showenv"));
    EXPECT_EQ(drain_lines(*p), (std::vector<std::string>{"OXTEST_KEEP=kept"}));
    unsetenv("OXTEST_KEEP");
}

} // namespace
