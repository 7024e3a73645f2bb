// Unattended runs on the simulated helpers: a key on the terminal takes
// over wherever the automation is (a countdown, the probe, the burn-in) and
// no automatic step follows; a timed burn-in stops by itself with its own
// line; settings that are wrong are named before anything runs.
#include <signal.h>

#include <fstream>
#include <sstream>

#include "e2e.h"

namespace {

struct Case {
    const char *name;
    const char *steps;
    const char *before_key;    // on the screen when the key is sent ("" : no key)
    const char *after;         // on the screen after the key and a countdown more
    const char *never;         // never on the screen after the key
};

const Case cases[] = {
    {"countdown", "advanced,copy", "starting the advanced probe", "Main Menu", "Configure Hardware"},
    {"probe", "advanced,copy", "Running: compat.pl", "FINISHED - Press Enter", "Insert Floppy Disk"},
    {"burn-in", "burnin,copy", "Burn-in Test", "[RUNNING]", "Stop Test"},
};

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A termination request: the program ends its helpers and gives the terminal back.
void end(PtyRun &run)
{
    kill(run.pid(), SIGTERM);
    EXPECT_EQ(run.wait_exit(10000), 0);
}

std::unique_ptr<PtyRun> start_unattended(const StubDir &dir, const char *steps, const char *time = "1h")
{
    PtyRun::Options o;
    o.path = {SIM_DIR};
    o.cwd = dir.path();
    o.env = {{"RUNDIAGS_STEPS", steps},        {"RUNDIAGS_BURNIN_TIME", time},
             {"RUNDIAGS_COUNTDOWN", "1"},      {"RUNDIAGS_DESTROY", "every-disk-but-the-boot-device"},
             {"RUNDIAGS_NETBOOT", "1"},        {"RUNDIAGS_STATE_FILE", dir.file("state.json")},
             {"SIM_PASS_SECONDS", "2"},        {"RESULTS_DIR", dir.file("results")}};
    return std::make_unique<PtyRun>(RUNDIAGS_BIN, o);
}

TEST(BurninUnattended, AKeyTakesOverAndNoAutomaticStepFollows)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        StubDir dir;
        auto run = start_unattended(dir, c.steps);
        ASSERT_TRUE(run->wait_text(c.before_key, 20000)) << run->dump();
        run->send("x");
        ASSERT_TRUE(run->wait_gone("Unattended", 3000)) << run->dump();
        EXPECT_TRUE(run->wait_text(c.after, 10000)) << run->dump();
        run->pump(2500);
        EXPECT_FALSE(run->has_text(c.never)) << run->dump();
        EXPECT_NE(slurp(dir.file("state.json")).find("\"automation\":\"taken over\""), std::string::npos);
        end(*run);
    }
}

TEST(BurninUnattended, TheSetTimeStopsTheBurnInWithItsOwnLine)
{
    StubDir dir;
    auto run = start_unattended(dir, "burnin", "3s");
    // The last step: the verdict stays on the screen.
    ASSERT_TRUE(run->wait_text("PASSED - Press Enter When Done", 30000)) << run->dump();
    run->pump(2500);
    EXPECT_TRUE(run->has_text("PASSED - Press Enter When Done")) << run->dump();
    const std::string log = slurp("/tmp/burnin.log");
    EXPECT_NE(log.find("\nTEST STOPPED: SET TIME REACHED.\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("HALTED BY USER"), std::string::npos);
    EXPECT_NE(slurp(dir.file("state.json")).find("\"verdict\":\"PASSED\""), std::string::npos);
    end(*run);
}

TEST(Unattended, WrongSettingsAreNamedBeforeAnythingRuns)
{
    StubDir dir;
    auto run = start_unattended(dir, "advanced,probe,burnin", "soon");
    ASSERT_TRUE(run->wait_text("The unattended run does not start", 5000)) << run->dump();
    EXPECT_TRUE(run->has_text("RUNDIAGS_STEPS: \"probe\" is no step")) << run->dump();
    EXPECT_TRUE(run->has_text("RUNDIAGS_BURNIN_TIME: \"soon\" is not a")) << run->dump();
    run->send("\r");
    ASSERT_TRUE(wait_menu(*run));
    run->pump(2500);
    EXPECT_FALSE(run->has_text("Configure Hardware")) << run->dump();
    end(*run);
}

} // namespace
