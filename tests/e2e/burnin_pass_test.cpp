// Each burn-in helper is told which start of the run it is, in
// RUNDIAGS_PASS. Uses the fixed /tmp/burnin.log: never runs in parallel with
// the other suites that do.
#include <unistd.h>

#include <string>

#include "e2e.h"

namespace {

// A helper that notes what RUNDIAGS_PASS it got (and how often the variable
// appears) and ends its pass after `seconds`, for its first `clean` starts;
// from then on it runs until SIGTERM, on which it exits 0.
std::string noting_helper(const StubDir &stubs, const std::string &name, int clean, double seconds)
{
    const std::string base = stubs.file(name);
    return "trap 'exit 0' TERM\n"
           "echo \"${RUNDIAGS_PASS-unset} $(env | grep -c '^RUNDIAGS_PASS=')\" >> '" + base + ".passes'\n"
           "echo \"pass ${RUNDIAGS_PASS-unset}\"\n"
           "n=$(wc -l < '" + base + ".passes')\n"
           "if [ \"$n\" -le " + std::to_string(clean) + " ]; then sleep " + std::to_string(seconds) +
           "; exit 0; fi\n"
           "while :; do sleep 0.05; done\n";
}

TEST(BurnInPass, EachHelperCountsItsOwnStarts)
{
    StubDir stubs;
    unlink("/tmp/burnin.log");
    // The disk helper passes three times, the network helper once; an
    // inherited RUNDIAGS_PASS counts for nothing.
    stubs.script("diskburn", noting_helper(stubs, "disk", 3, 0.1));
    stubs.script("netburn", noting_helper(stubs, "net", 1, 0.1));
    PtyRun::Options o;
    o.path = {stubs.path()};
    o.cwd = stubs.path();
    o.env = {{"RUNDIAGS_PASS", "77"}};
    PtyRun run(RUNDIAGS_BIN, o);
    ASSERT_TRUE(wait_menu(run));
    ASSERT_TRUE(open_burnin(run));
    ASSERT_TRUE(run.wait_text("Loop:4", 15000)) << run.dump();
    ASSERT_TRUE(run.wait_text("   Disk: pass 4")) << run.dump();
    EXPECT_EQ(stubs.read("disk.passes"), "1 1\n2 1\n3 1\n4 1\n");
    ASSERT_TRUE(run.wait_until([&] { return stubs.read("net.passes") == "1 1\n2 1\n"; }, 5000))
        << stubs.read("net.passes");
    run.send("q");
    ASSERT_TRUE(run.wait_text("Stop the burn-in test now? (y/n)"));
    run.send("y");
    ASSERT_TRUE(run.wait_text("** PASSED - Press Enter When Done **", 10000)) << run.dump();
    run.send(keys::Enter);
    ASSERT_TRUE(wait_menu(run));
    run.hangup();
    EXPECT_EQ(run.wait_exit(), 0);
    unlink("/tmp/burnin.log");
}

} // namespace
